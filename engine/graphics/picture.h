#pragma once
// The pixel containers every drawing routine shares: the 24-bit back buffer (Surface) and the
// 32-bit source pictures (Picture) in their table of 133 slots.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sorel {

/// 0x00RRGGBB: blue in bits 0-7, green 8-15, red 16-23; bits 24-31 ignored. Stored into pixel
/// bytes as blue, green, red.
using ColourWord = uint32_t;

/// The back buffer: 3 bytes per pixel (blue, green, red), rows top-down, pitch = width × 3.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  void resize(int w, int h) {
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
  }
  int pitchBytes() const { return width * 3; }
  uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
  const uint8_t* row(int y) const {
    return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
  }
};

/// A source image: 4 bytes per pixel (blue, green, red, alpha; alpha 0 transparent, 255
/// opaque), rows top-down, stride = width × 4. Owns its pixels.
struct Picture {
  static constexpr uint32_t kFlagMarked = 0x80000000u;  ///< blank pictures and marked loads

  uint32_t width = 0;
  uint32_t height = 0;
  int32_t designWidth = 0;   ///< size in the 640 × 480 design space
  int32_t designHeight = 0;
  std::string name;          ///< member name it was loaded from, extension ".rbp"
  std::string archiveName;   ///< base name of the archive it came from
  uint32_t flags = 0;
  ColourWord tint = 0;       ///< tint applied at load time, 0 for none
  std::vector<uint8_t> pixels;

  bool empty() const { return pixels.empty(); }
  uint8_t* pixel(uint32_t x, uint32_t y) { return pixels.data() + (size_t(y) * width + x) * 4; }
  const uint8_t* pixel(uint32_t x, uint32_t y) const { return pixels.data() + (size_t(y) * width + x) * 4; }
  /// Frees the pixels (the record stays).
  void release() {
    pixels.clear();
    pixels.shrink_to_fit();
    width = height = 0;
  }
};

/// The 133 picture slots held by the application object; each empty or owning one Picture.
class PictureTable {
 public:
  static constexpr int kSlots = 133;

  /// The picture in slot, or null for an empty slot or a slot number outside 0..132.
  Picture* get(int slot) {
    return slot >= 0 && slot < kSlots ? m_slots[static_cast<size_t>(slot)].get() : nullptr;
  }
  const Picture* get(int slot) const {
    return slot >= 0 && slot < kSlots ? m_slots[static_cast<size_t>(slot)].get() : nullptr;
  }
  /// The slot's picture, created empty if the slot had none; null outside 0..132.
  Picture* ensure(int slot) {
    if (slot < 0 || slot >= kSlots) return nullptr;
    auto& p = m_slots[static_cast<size_t>(slot)];
    if (!p) p = std::make_unique<Picture>();
    return p.get();
  }
  /// Puts a picture into the slot, releasing the old one; false outside 0..132.
  bool put(int slot, std::unique_ptr<Picture> picture) {
    if (slot < 0 || slot >= kSlots) return false;
    m_slots[static_cast<size_t>(slot)] = std::move(picture);
    return true;
  }
  void free(int slot) {
    if (slot >= 0 && slot < kSlots) m_slots[static_cast<size_t>(slot)].reset();
  }
  void freeAll() {
    for (auto& p : m_slots) p.reset();
  }

 private:
  std::array<std::unique_ptr<Picture>, kSlots> m_slots;
};

}  // namespace sorel
