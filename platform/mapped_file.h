#pragma once
// A read-only mapping of a whole file, so that a long sound can be decoded from the card
// without reading it into memory first.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();  ///< unmaps
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;

  /// Maps the file at a system path (CP932, '\'). False (nothing mapped) when it cannot be
  /// opened, is not a regular file or is empty. Unmaps any earlier file first.
  bool open(std::string_view path);
  void close();
  bool isOpen() const { return m_data != nullptr; }
  std::span<const uint8_t> bytes() const { return {m_data, m_size}; }

 private:
  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
};

}  // namespace platform
