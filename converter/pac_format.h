#pragma once
// Layout of the PC game's .pac archives, shared by the converter's reader and the test kit's
// writer.
//
//   header     12 bytes: a word the converter does not read, member count N, method of every
//              member (0 stored, 1 LZSS, anything else Huffman)
//   directory  N entries of 76 bytes: name[64], absolute offset, unpacked size, packed size
#include <cstdint>

namespace sorel::pac {

constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kEntrySize = 76;
constexpr uint32_t kNameSize = 64;

// What the kit's writer puts in the first header word; the converter does not read it.
constexpr uint8_t kWriterSignature[4] = {'P', 'A', 'C', 0};

constexpr uint32_t kCountOffset = 4;
constexpr uint32_t kMethodOffset = 8;

constexpr uint32_t kEntryName = 0;
constexpr uint32_t kEntryOffset = 64;        // absolute file offset of the packed bytes
constexpr uint32_t kEntryUnpackedSize = 68;
constexpr uint32_t kEntryPackedSize = 72;

constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodLzss = 1;
constexpr uint32_t kMethodHuffman = 2;  // any value other than 0 and 1

// LZSS of the PC archives: a 4096-byte zeroed ring, first write position 4078, references of
// 3..18 bytes, flag bits least significant first.
constexpr uint32_t kRingSize = 4096;
constexpr uint32_t kRingStart = 4078;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 18;
// The game's decoder writes into a buffer this much larger than the unpacked size and stops only
// when the packed bytes run out, so a last group may overrun the size by up to this much; the
// member is that buffer cut to its unpacked size.
constexpr uint32_t kLzssSpare = 256;

// Huffman trees: inner nodes are numbered from 256 upwards, at most 255 of them.
constexpr uint32_t kFirstInnerNode = 256;
constexpr uint32_t kMaxInnerNodes = 255;

}  // namespace sorel::pac
