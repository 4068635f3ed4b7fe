#pragma once
// The engine's own profile store for sorel.cfg: the whole file is read into a list of lines,
// looked up and edited in memory, and written back once at shutdown. One file is cached at a
// time (process-wide by design, like the device's profile functions it replaces); asking for
// another path drops the cached one without writing it.
//
// File: CP932 text, lines ending in CR LF. "[NAME]" opens a section; "KEY=VALUE" inside a
// section is an entry. Section names and keys ignore spaces, tabs and ASCII case; double quotes
// protect what they enclose and are removed. Every other line is kept as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

/// Longest line read, in bytes: a longer line is read only up to the last whole character within
/// the limit, and kept whole for the rewrite. Lines the store writes itself are cut to it.
constexpr size_t kProfileLineMax = 543;
/// Bytes of the file taken in as lines; whatever follows is not looked at but is written back
/// unchanged after the lines.
constexpr size_t kProfileFileMax = 0x20000;

/// Makes `path` (a system path) the cached file, reading it unless it is cached already. A
/// missing or unreadable file gives an empty list. Lines may end in CR LF, CR or LF.
void loadProfile(std::string_view path);
/// The integer of the first matching entry (decimal, or 0x hexadecimal), or `def` when there is
/// none, its value is empty, or it holds no number.
int32_t getProfileInt(std::string_view section, std::string_view key, int32_t def,
                      std::string_view path);
/// out = the value of the first matching entry (quotes removed, spaces kept) unless it is empty
/// or longer than maxLength bytes; otherwise out = def. Returns out's length.
size_t getProfileString(std::string_view section, std::string_view key, std::string_view def,
                        std::string& out, size_t maxLength, std::string_view path);
/// Replaces the first entry `key` of the first section `section` with key=value, or inserts it
/// directly below the section line (appending the section at the end when it is missing).
void writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                        std::string_view path);
/// Writes the cached lines back to their file (each followed by CR LF, then the untouched part
/// past kProfileFileMax, replacing the file atomically), then forgets them. False when nothing was loaded or the write failed.
bool flushProfile();
/// Forgets the cached lines without writing.
void clearProfile();

/// The cached lines and path (tests and diagnostics).
const std::vector<std::string>& profileLines();
const std::string& profilePath();

}  // namespace sorel
