#pragma once
// Shift-JIS aware string helpers. Text inside the system is CP932 bytes; a string_view argument
// ends at its first NUL, as the fixed byte buffers of the data files do.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorel {

/// A byte that starts a double-byte character (0x81..0x9F or 0xE0..0xFC).
constexpr bool isLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

/// The text up to its first NUL.
std::string_view untilNul(std::string_view s);
/// A fixed field of n bytes read as NUL-terminated text.
std::string_view fieldText(const char* field, size_t n);

/// Position of the last single-byte character c, stepping over double-byte characters whole so
/// that a trail byte equal to c is never found; none when absent.
std::optional<size_t> lastCharOf(std::string_view text, char c);
/// True when the text's last character is a backslash of its own, not the trail byte of a
/// double-byte character such as ソ (83 5C).
bool endsInBackslash(std::string_view text);
/// The folder path with one separating backslash behind it; an empty text stays empty.
std::string withBackslash(std::string_view folder);

/// Name equality: ASCII letters match without regard to case, every other single byte must be
/// equal, double-byte characters must match in both bytes, and both texts end together.
bool sameName(std::string_view a, std::string_view b);
/// sameName on at most the first n bytes of each text (the face-to-sprite match uses 5).
bool sameNamePrefix(std::string_view a, std::string_view b, size_t n);

/// The text from its last '.' on (Shift-JIS aware), or an empty view when there is no '.'.
std::string_view extensionOf(std::string_view name);
/// The name with everything from its last '.' on replaced by ext (ext includes the dot); a name
/// without '.' gets ext appended.
std::string replaceExtension(std::string_view name, std::string_view ext);

/// Copies text, replacing every character 0x20..0x7E by its full-width double-byte form;
/// double-byte characters and other bytes are kept. Returns the number of characters converted.
int toFullWidth(std::string& out, std::string_view text);
std::string toFullWidth(std::string_view text);

/// Copies characters from src to out until a NUL or one of the delimiters. Text inside a pair
/// of double quotes is copied without the quotes and without looking for delimiters; with
/// squeeze, spaces, tabs and CR LF pairs outside quotes are dropped. Returns the position in
/// src where copying stopped (at the delimiter, or the end).
size_t copyToken(std::string_view src, std::string& out, std::string_view delimiters, bool squeeze);

/// "0x" followed by hexadecimal digits, or an optional sign followed by decimal digits, after
/// optional leading blanks. Reading stops at the first other character; values wrap to 32 bits.
/// False (and out = 0) when no digit was found.
bool parseInt(std::string_view text, int32_t& out);
int32_t parseInt(std::string_view text);

}  // namespace sorel
