#pragma once
// Text conversion at the platform boundary. Inside the system text is CP932 (Shift-JIS with the
// Windows extensions); the desktop speaks UTF-8, FreeType UTF-32.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// CP932 bytes to UTF-8; none when the bytes are not valid CP932.
std::optional<std::string> cp932ToUtf8(std::string_view cp932);
/// The same, but every byte that cannot be converted becomes U+FFFD: for showing names.
std::string cp932ToUtf8Lossy(std::string_view cp932);
/// UTF-8 to CP932; none when the text holds a character CP932 cannot represent.
std::optional<std::string> utf8ToCp932(std::string_view utf8);
/// CP932 bytes to UTF-32 code points (for the glyph rasteriser); none when invalid.
std::optional<std::u32string> cp932ToUtf32(std::string_view cp932);
/// CP932 bytes to UTF-16 (the Windows wide form); none when invalid.
std::optional<std::u16string> cp932ToUtf16(std::string_view cp932);

/// True when the two UTF-8 names differ at most in the case of their ASCII letters (bytes below
/// 0x80 are only ever ASCII characters in UTF-8, so folding them cannot make two names meet).
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace platform
