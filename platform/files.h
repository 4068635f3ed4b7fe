#pragma once
// Files as the system sees them: paths are CP932 text with '\' separators (the handheld's
// form). Each call converts the path to the host form (UTF-8, '/') itself. Files are opened,
// used and closed within one call, as on the device.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Host path (UTF-8, '/') of a system path (CP932, '\'). A CP932 trail byte 0x5C is never taken
/// for a separator. Empty when the path is not valid CP932.
std::string hostPath(std::string_view systemPath);
/// System path (CP932, '\') of a host path; none when a character has no CP932 form.
std::optional<std::string> systemPath(std::string_view hostPath);

/// The path of the file or folder that `path` names, found as the PC the game came from finds it:
/// a part of the path that does not exist as written is matched against its folder's entries
/// with ASCII letters compared without regard to case ("OPENING.JMV" for "opening.jmv"; the
/// first match in byte order when several differ only in case). `path` itself when it exists
/// as written, or when nothing matches. One folder listing for each part that had to be
/// matched; a path that exists as written costs one status call.
std::string existingPath(std::string_view path);

/// Size of the file in bytes, or -1 when there is no such file.
int64_t fileSize(std::string_view path);
/// True when a file or folder of that name exists.
bool fileExists(std::string_view path);
bool isFolder(std::string_view path);

enum SeekOrigin : int { kSeekStart = 0, kSeekCurrent = 1, kSeekEnd = 2 };

/// Opens, moves by offset from origin (any other origin: no move), reads up to length bytes,
/// closes. Returns the bytes read; 0 when the file cannot be opened.
size_t readAt(std::string_view path, void* buffer, int origin, int64_t offset, size_t length);
/// The writing twin: with createNew the file is replaced, else opened or created.
size_t writeAt(std::string_view path, const void* buffer, int origin, int64_t offset,
               size_t length, bool createNew);

/// The whole file plus `extra` zero bytes behind it; none when absent or unreadable.
std::optional<std::vector<uint8_t>> readWholeFile(std::string_view path, size_t extra = 0);

/// Writes the whole file under a temporary name and renames it over the old one, so a reader
/// never sees a half-written file; with `durable` the bytes reach the disk before the rename.
/// False (and no file touched) on any failure.
bool writeWholeFile(std::string_view path, std::span<const uint8_t> bytes, bool durable = true);

/// Creates one folder (the parent must exist). True when it exists afterwards.
bool createFolder(std::string_view path);
/// Creates a folder and every missing parent.
bool createFolders(std::string_view path);

/// Names (CP932) of the entries of a folder, sorted bytewise; empty when unreadable.
std::vector<std::string> listFolder(std::string_view path);

/// The per-user folder that holds a converted game when no other place was named (host form,
/// UTF-8): "$XDG_DATA_HOME/sorel", with ~/.local/share when the variable is unset or empty.
/// Both the players (last place they look) and the converter's desktop entry (where it writes)
/// use it, so that a game converted from a launcher is found by a player started from one.
std::string userDataFolder();

/// Removes a file; true when it is gone afterwards.
bool removeFile(std::string_view path);

/// A file written in pieces that appears under its real name only when committed: the bytes go
/// to "<name>.part" and commit() renames it into place. Destroying an uncommitted file removes
/// the temporary, so an interrupted writer leaves nothing behind.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool create(std::string_view path);
  bool write(const void* bytes, size_t length);
  bool writeAt(uint64_t offset, const void* bytes, size_t length);
  uint64_t size() const { return m_size; }
  bool ok() const { return m_fd >= 0 && !m_failed; }
  /// Closes and renames into place; with `durable` the bytes are flushed to the disk first.
  /// False when any write failed (nothing renamed).
  bool commit(bool durable = false);
  /// Closes and removes the temporary.
  void abandon();

 private:
  int m_fd = -1;
  bool m_failed = false;
  uint64_t m_size = 0;
  std::string m_final, m_temp;
};

}  // namespace platform
