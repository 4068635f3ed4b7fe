#pragma once
// Small pieces every command-line tool shares: turning command-line paths (UTF-8) into system
// paths, one-line errors, and safe output file names for archive members.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sorel::tool {

/// Prints "<program>: <message>" on stderr.
void error(std::string_view program, std::string_view message);

/// The system path (CP932, '\') of a command-line path; none (and an error printed) when the
/// path has a character without a CP932 form.
std::optional<std::string> systemPathArg(std::string_view program, std::string_view hostPath);

/// A member name (CP932) shown to a person, as UTF-8.
std::string displayName(std::string_view cp932);

/// Columns a UTF-8 text takes on a terminal: East Asian wide and full-width characters take two,
/// everything else (half-width katakana included) one.
size_t displayWidth(std::string_view utf8);

/// A file name for writing a member below a folder: UTF-8, with separators and other characters
/// that could leave the folder replaced by '_'. Never empty, never "." or "..".
std::string safeFileName(std::string_view cp932);

/// The last path component of a host path.
std::string baseName(std::string_view hostPath);

/// Writes bytes to a host path atomically; false and an error printed on failure.
bool writeOutput(std::string_view program, std::string_view hostPath, std::span<const uint8_t> bytes);

}  // namespace sorel::tool
