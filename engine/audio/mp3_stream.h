#pragma once
// An MP3 sound source: the bytes of an MP3 file (a memory block or a read-only mapping of the
// file), decoded one frame at a time through the decoder module as far as the mixer asks.
// ID3v2 tags at the start and an ID3v1 "TAG" block at the end are skipped; a looping stream
// restarts at the first frame after the ID3v2 tag.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mapped_file.h"

namespace sorel {

class MlzArchive;
struct Mp3Decoder;

class Mp3Stream {
 public:
  /// Decoded samples of one frame that a read did not take (at most one frame less one byte).
  static constexpr size_t kCarryBytes = 40960;

  Mp3Stream();
  ~Mp3Stream();  ///< closes
  Mp3Stream(const Mp3Stream&) = delete;
  Mp3Stream& operator=(const Mp3Stream&) = delete;

  /// Decodes from a memory block, which the stream keeps until closed. False (and closed) when
  /// no decoder module is bound, the bytes after the ID3v2 tag do not start a frame the module
  /// accepts, or the stream's format is not 1 or 2 channels.
  bool openMemory(std::vector<uint8_t> bytes);
  /// Decodes from a read-only mapping of the whole file at a system path; each frame is copied
  /// from the mapping just before it is decoded. Fails as openMemory, or when the file cannot
  /// be mapped.
  bool openFile(std::string_view path);

  /// Delivers up to `wanted` bytes of 16-bit PCM in the stream's format into out: first what
  /// the last read left over, then newly decoded frames. Returns the count, short only at the
  /// end of a stream that does not loop. With loop the stream restarts after its ID3v2 tag; a
  /// frame that decodes to nothing is skipped, and a whole pass that decodes to nothing ends
  /// the stream even when looping. Never allocates.
  size_t read(uint8_t* out, size_t wanted, bool loop);
  /// True once a stream without loop has reached its end (or cannot go on).
  bool ended() const { return m_ended; }
  /// Destroys the decoder handle and releases the bytes or the mapping.
  void close();
  bool isOpen() const { return m_handle != nullptr; }

  /// Sets the duration estimate (stream bytes × 8 / bitrate) and returns an estimate of the
  /// whole stream's PCM size in bytes.
  uint64_t estimate();
  uint32_t durationMs() const { return m_durationMs; }

  int channels() const { return m_channels; }
  int rate() const { return m_rate; }
  int blockAlign() const { return m_channels * 2; }
  int bytesPerSecond() const { return m_rate * blockAlign(); }
  /// Bytes one decoded frame gives (known after the first frame; 0 before).
  size_t frameBytes() const { return m_frameBytes; }

  /// Where the frames lie in the stream's bytes: after the ID3v2 tag, before the ID3v1 block.
  size_t startOffset() const { return m_start; }
  size_t endOffset() const { return m_end; }
  /// Decoded bytes waiting in the carry-over buffer.
  size_t carryBytes() const { return m_carryLen; }

 private:
  bool openBytes();

  std::shared_ptr<const Mp3Decoder> m_decoder;  // keeps the module loaded while open
  void* m_handle = nullptr;
  std::vector<uint8_t> m_memory;
  platform::MappedFile m_file;
  std::span<const uint8_t> m_bytes;
  std::string m_fileName;
  size_t m_start = 0;
  size_t m_end = 0;
  size_t m_read = 0;
  bool m_ended = false;
  bool m_passHadSamples = false;
  int m_channels = 0;
  int m_rate = 0;
  size_t m_frameBytes = 0;
  uint32_t m_durationMs = 0;
  std::unique_ptr<uint8_t[]> m_carry;
  size_t m_carryPos = 0;
  size_t m_carryLen = 0;
  std::unique_ptr<uint8_t[]> m_frame;
  std::unique_ptr<int16_t[]> m_samples;
};

/// Opens the sound `name` for the mixer. When location is not empty and does not end with '\'
/// it is the path of an .mlz archive and name is a member of it (read through `archive`, or a
/// temporary reader when none is given) decoded from memory. Otherwise the file location + name
/// is read whole into memory (wholeFile) or mapped. False when the member or file cannot be
/// read or the stream does not open.
bool openSoundSource(Mp3Stream& stream, std::string_view name, std::string_view location,
                     MlzArchive* archive, bool wholeFile);

}  // namespace sorel
