#pragma once
// Looks inside an archive member the way its reader will: pictures decode, scenarios parse,
// tables hold whole records, MP3 streams are whole frames. The kind is told by the member's name.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sorel::tool {

/// Why the member (CP932 name, unpacked bytes) would fail its reader; empty when it is sound or
/// is of a kind not looked into. `archive` is the archive's file name: ".bin" members are
/// scenarios only in the scenario archives (Script.mlz, Script.pac, Update.pac). An empty member
/// is sound: the converter writes one for a source it could not convert, and the engine treats
/// it as absent.
std::string checkMemberContent(std::string_view archive, std::string_view name, std::span<const uint8_t> bytes);

/// Why an MP3 stream is not a run of valid Layer III frames (an ID3v2 tag before and an ID3v1
/// block after them are allowed); empty when it is.
std::string checkMp3Frames(std::span<const uint8_t> bytes);

}  // namespace sorel::tool
