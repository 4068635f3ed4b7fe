#pragma once
// The current user's registry hive, as far as the system uses it: string values under key
// paths such as "Software\ORBA\Lumenwish". Kept in one text file per user,
// $XDG_CONFIG_HOME/sorel/registry (default ~/.config/sorel/registry), UTF-8, one
// "[key path]" line per key followed by "name=value" lines.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// The value as CP932 text, or none when the key or value does not exist. Key paths and value
/// names are compared without regard to ASCII case, as the registry does.
std::optional<std::string> registryGetString(std::string_view keyPath, std::string_view name);
/// Creates the key if needed and stores the value (CP932). False when the file cannot be
/// written; the old file then stays as it was.
bool registrySetString(std::string_view keyPath, std::string_view name, std::string_view value);
/// Host path of the file that holds the hive (for messages and tests).
std::string registryFilePath();

}  // namespace platform
