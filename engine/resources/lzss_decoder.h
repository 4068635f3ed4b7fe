#pragma once
// Decoder of the archive members' LZSS stream (2048-byte ring, references to absolute ring
// positions, flag bits least significant first).
#include <cstddef>
#include <cstdint>
#include <span>

namespace sorel {

struct UnpackResult {
  size_t produced = 0;  ///< bytes written to dst
  size_t consumed = 0;  ///< bytes read from src
  /// The stream went on past the end of dst; dst holds its first dst.size() bytes.
  bool overran = false;
  /// True when the stream ended cleanly: all input used and dst exactly filled.
  bool complete = false;
};

/// Unpacks src into dst until the packed bytes are used up (a last byte that cannot make a whole
/// reference is ignored). Never writes past dst nor reads past src: a stream that goes on past
/// the end of dst is cut there (a reference crossing the end copies the bytes that fit). Bytes
/// of dst not produced are left as they were.
UnpackResult unpackMember(std::span<uint8_t> dst, std::span<const uint8_t> src);

}  // namespace sorel
