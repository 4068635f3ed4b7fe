#pragma once
// The binary interface of the MP3 decoder module "Quillon.ovl", shared by the module and the
// engine that loads it. The engine drives the module one frame at a time through five C entry
// points and reads four 32-bit fields of the handle the module returns.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sorel::quillon {

constexpr const char* kModuleName = "Quillon.ovl";

constexpr const char* kGetDecVer = "__mp3_getdecver";
constexpr const char* kCreate = "__mp3_create";
constexpr const char* kDestroy = "__mp3_destroy";
constexpr const char* kPredecode = "__mp3_predecode";
constexpr const char* kDecode = "__mp3_decode";

/// The module's version (resolved by the engine, never needed).
using GetDecVerFn = int32_t (*)();
/// A decoder for the stream whose first frame starts with the four header bytes given; null
/// when they are not the header of a frame the module can decode.
using CreateFn = void* (*)(const uint8_t* header);
using DestroyFn = void (*)(void* handle);
/// 0 when the four bytes start a frame of the same stream that the module can decode; the
/// handle's frame length and bitrate then describe that frame. Non-zero otherwise.
using PredecodeFn = int32_t (*)(void* handle, const uint8_t* header);
/// Decodes the frame last accepted by predecode from `size` bytes (a frame cut short by the
/// end of the stream decodes to nothing). Writes interleaved 16-bit samples, at most
/// kMaxFrameSamples per channel, and returns the number per channel (0 = nothing decoded).
using DecodeFn = int32_t (*)(void* handle, int16_t* samples, const uint8_t* frame, int32_t size);

/// Most samples per channel one frame decodes to (MPEG-1 Layer II and III).
constexpr int kMaxFrameSamples = 1152;
/// Longest frame the module accepts (MPEG-2 Layer II at 160 kbit/s and 8 kHz, padded).
constexpr int kMaxFrameBytes = 2881;

/// Offsets of the 32-bit handle fields the engine reads.
constexpr size_t kChannelsOffset = 12;     ///< 1 or 2
constexpr size_t kFrameLengthOffset = 48;  ///< bytes of the current frame, header included
constexpr size_t kBitrateOffset = 60;      ///< kbit/s of the current frame
constexpr size_t kRateOffset = 64;         ///< sampling rate in Hz

/// Reads one of the fields above from a handle.
inline int32_t handleField(const void* handle, size_t offset) {
  int32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(handle) + offset, sizeof v);
  return v;
}

}  // namespace sorel::quillon
