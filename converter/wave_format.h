#pragma once
// RIFF/WAVE files as the PC game stores its sounds: a "RIFF" header naming "WAVE", then chunks
// (four-character id, 32-bit length, data padded to an even length). The converter needs the
// first "fmt " chunk and the first non-empty "data" chunk; a "fact" chunk met before them gives
// the true length of a compressed sound. The reader and the small writer that hands a sound to
// the decoding library share this header.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sorel::wave {

constexpr size_t kRiffHeaderSize = 12;     ///< "RIFF", length, "WAVE"
constexpr size_t kChunkHeaderSize = 8;     ///< id, length
constexpr size_t kMinFormatSize = 14;      ///< WAVEFORMAT: tag, channels, rate, bytes/s, block align
constexpr size_t kFormatBufferSize = 1024; ///< the largest format chunk the converter keeps

// Offsets inside the format chunk (WAVEFORMATEX).
constexpr size_t kFormatTag = 0;
constexpr size_t kChannels = 2;
constexpr size_t kSamplesPerSec = 4;
constexpr size_t kAvgBytesPerSec = 8;
constexpr size_t kBlockAlign = 12;
constexpr size_t kBitsPerSample = 14;  ///< present when the chunk has at least 16 bytes

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagMsAdpcm = 2;
constexpr uint16_t kTagImaAdpcm = 0x11;

}  // namespace sorel::wave

namespace sorel {

/// The fields of a format chunk the conversion looks at.
struct WaveFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t bytesPerSecond = 0;
  uint16_t blockAlign = 0;
  uint16_t bits = 0;  ///< 0 when a 14-byte chunk leaves it out (then derived for PCM)
};

/// One WAVE member as the converter takes it. `data` points into the bytes given to parseWave.
struct WaveSound {
  std::vector<uint8_t> format;            ///< the whole first "fmt " chunk (14..1024 bytes)
  std::span<const uint8_t> data;          ///< the first non-empty "data" chunk
  std::optional<uint32_t> factFrames;     ///< sample frames named by a "fact" chunk before it
  WaveFormat fields() const;
};

/// Why a file is not accepted.
enum class WaveError { None, NotRiff, NotWave, ShortFormat, LongFormat, NoFormat, NoData };
std::string_view waveErrorText(WaveError e);

/// Parses a RIFF/WAVE file: the chunks from offset 12 up to 8 + the RIFF length (never past the
/// end of the bytes), each starting at the previous one's length rounded up to even. The first
/// "fmt " chunk must hold 14..1024 bytes; the first "data" chunk with a non-zero length is taken,
/// and when it claims more bytes than the file holds, what the file holds. The walk stops as
/// soon as both are found. None (and the reason in error) when the file is not accepted.
std::optional<WaveSound> parseWave(std::span<const uint8_t> bytes, WaveError* error = nullptr);

/// A minimal WAVE file of a format chunk, an optional fact chunk and a data chunk, for handing a
/// sound to a decoder that reads files. Empty when the sizes do not fit a RIFF file.
std::vector<uint8_t> buildWave(std::span<const uint8_t> format, std::span<const uint8_t> data,
                               std::optional<uint32_t> factFrames);

}  // namespace sorel
