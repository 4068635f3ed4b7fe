#pragma once
// The archive members' LZSS compressor: the stream the engine's decoder reads, produced by the
// classic binary-tree match finder so that the same input always gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sorel {

/// Compresses input into output, which must hold at least 2 × input.size() bytes (the format's
/// worst case is 9/8 of the input plus one byte). Returns the bytes written; 0 for an empty
/// input (the compressor has no output for it).
size_t encodeLzss(uint8_t* output, std::span<const uint8_t> input);

/// Convenience form returning the stream.
std::vector<uint8_t> encodeLzss(std::span<const uint8_t> input);

}  // namespace sorel
