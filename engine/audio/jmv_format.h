#pragma once
// Layout of the .jmv movie file, shared by the engine's movie reader and the sorel-movie writer.
// All integers are unsigned 32-bit little-endian.
//
//   header   48 bytes (fields below)
//   index    N entries of 24 bytes, entry i at 48 + 24 i
//   frames   each a complete JBP1 stream, back to back in index order; frame i starts at
//            48 + 24 N + (entry i's offset)
//
// The player reads only the frame count, the rate, the frame size and, per entry, the size and
// the offset. The other words are this system's writer's own choice, kept for tools ("sorel-movie
// info") and ignored by the player, so files from any writer that fills the read words play.
#include <cstdint>

namespace sorel::jmv {

constexpr uint32_t kHeaderSize = 48;
constexpr uint32_t kEntrySize = 24;

// Header words.
constexpr uint32_t kMagicOffset = 0;       // writer: "JMV1" (not read)
constexpr uint32_t kHeaderSizeOffset = 4;  // writer: 48 (not read)
constexpr uint32_t kFrameCountOffset = 8;  // N
constexpr uint32_t kFpsOffset = 12;        // frames per second
constexpr uint32_t kQualityOffset = 16;    // writer: JPEG quality of the frames (not read)
constexpr uint32_t kWidthOffset = 20;      // w
constexpr uint32_t kHeightOffset = 24;     // h
constexpr uint32_t kDataBytesOffset = 28;  // writer: bytes of all frames together (not read)
constexpr uint32_t kEntrySizeOffset = 32;  // writer: 24 (not read)
constexpr uint32_t kDurationOffset = 36;   // writer: N × 1000 / fps, milliseconds (not read)
constexpr uint32_t kFlagsOffset = 40;      // writer: kFlagSoundTrack when an .mp3 was made (not read)
constexpr uint32_t kReservedOffset = 44;   // writer: 0

constexpr uint32_t kFlagSoundTrack = 1;

// Index entry words.
constexpr uint32_t kEntryNumberOffset = 0;  // writer: i (not read)
constexpr uint32_t kEntryBytesOffset = 4;   // size of frame i in bytes
constexpr uint32_t kEntryTimeOffset = 8;    // writer: i × 1000 / fps, milliseconds (not read)
constexpr uint32_t kEntryFlagsOffset = 12;  // writer: kEntryTables when the frame carries its
                                            // quantisation tables (not read)
constexpr uint32_t kEntryOffsetOffset = 16; // offset of frame i from the end of the index
constexpr uint32_t kEntryReservedOffset = 20;

constexpr uint32_t kEntryTables = 1;

constexpr char kMagic[4] = {'J', 'M', 'V', '1'};

/// The reader's frame buffers: this size each, four times as large for frames 640 wide or more.
constexpr uint32_t kBufferBytes = 65536;
constexpr uint32_t kWideBufferBytes = 4 * kBufferBytes;
constexpr uint32_t kWideFrame = 640;

/// Largest frame in 16 × 16 macroblocks (the movie decoder's fixed DC area).
constexpr uint32_t kMaxMacroblocks = 600;

}  // namespace sorel::jmv
