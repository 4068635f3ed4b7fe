#pragma once
// Layout of the .mlz archive, shared by the engine's reader and the converter's writer.
//
//   header     16 bytes: "RLZ" + format digit '2' or '3', member count N, total file size,
//              reserved 0
//   directory  N entries of 84 bytes
//   data       the members' stored bytes back to back; an entry's offset counts from the end
//              of the directory
#include <cstdint>

namespace sorel::mlz {

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kEntrySize = 84;
constexpr uint32_t kNameSize = 64;

// Header fields.
constexpr uint32_t kMagicOffset = 0;       // 'R' 'L' 'Z' and the format digit
constexpr uint32_t kCountOffset = 4;       // member count N
constexpr uint32_t kTotalSizeOffset = 8;   // 16 + 84·N + sum of stored sizes (not trusted)
constexpr uint32_t kReservedOffset = 12;   // 0
constexpr uint8_t kWrittenDigit = '2';

// Entry fields, relative to the entry.
constexpr uint32_t kEntryName = 0;          // NUL-terminated Shift-JIS, zero-filled
constexpr uint32_t kEntryPackedSize = 64;   // stored bytes
constexpr uint32_t kEntryUnpackedSize = 68;
constexpr uint32_t kEntryMethod = 72;       // 1 = LZSS, anything else = stored
constexpr uint32_t kEntryOffset = 76;       // from the end of the directory
constexpr uint32_t kEntryReserved = 80;

constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodLzss = 1;

// The member compressor's window: a 2048-byte ring whose first 2031 bytes start as zeros, the
// write position starting at 2031, references of 2..17 bytes to absolute ring positions.
constexpr uint32_t kRingSize = 2048;
constexpr uint32_t kLookAhead = 17;
constexpr uint32_t kRingStart = kRingSize - kLookAhead;  // 2031
constexpr uint32_t kMinMatch = 2;

/// True for the four magic bytes the reader accepts: "RLZ2" or "RLZ3".
constexpr bool isMagic(const uint8_t* p) {
  return p[0] == 'R' && p[1] == 'L' && p[2] == 'Z' && (p[3] == '2' || p[3] == '3');
}

}  // namespace sorel::mlz
