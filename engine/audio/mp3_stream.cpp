#include "engine/audio/mp3_stream.h"

#include <cstring>

#include "engine/audio/decoder_module.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {
namespace {

constexpr size_t kId3v1Bytes = 128;
constexpr size_t kId3v2HeaderBytes = 10;
// The sample buffer holds one frame as the module's interface allows; the spare frame guards
// against a module that writes more than it may.
constexpr size_t kSampleBufferSamples = 2 * quillon::kMaxFrameSamples * 2;

}  // namespace

Mp3Stream::Mp3Stream() = default;

Mp3Stream::~Mp3Stream() { close(); }

void Mp3Stream::close() {
  if (m_handle && m_decoder) m_decoder->destroy(m_handle);
  m_handle = nullptr;
  m_decoder = nullptr;
  m_memory = {};
  m_file.close();
  m_bytes = {};
  m_fileName.clear();
  m_start = m_end = m_read = 0;
  m_ended = false;
  m_passHadSamples = false;
  m_channels = m_rate = 0;
  m_frameBytes = 0;
  m_durationMs = 0;
  m_carryPos = m_carryLen = 0;
}

bool Mp3Stream::openMemory(std::vector<uint8_t> bytes) {
  close();
  m_memory = std::move(bytes);
  m_bytes = m_memory;
  if (openBytes()) return true;
  close();
  return false;
}

bool Mp3Stream::openFile(std::string_view path) {
  close();
  if (!m_file.open(path)) return false;
  m_bytes = m_file.bytes();
  m_fileName = std::string(path);
  if (openBytes()) return true;
  close();
  return false;
}

bool Mp3Stream::openBytes() {
  m_decoder = shareDecoderModule();
  if (!m_decoder) return false;
  const uint8_t* b = m_bytes.data();
  const size_t length = m_bytes.size();
  m_end = length;
  if (length >= kId3v1Bytes && std::memcmp(b + length - kId3v1Bytes, "TAG", 3) == 0)
    m_end = length - kId3v1Bytes;
  m_start = 0;
  if (length >= kId3v2HeaderBytes && std::memcmp(b, "ID3", 3) == 0) {
    // The tag size is stored in four bytes of seven bits each, most significant first.
    size_t size = (static_cast<size_t>(b[6] & 0x7F) << 21) | (static_cast<size_t>(b[7] & 0x7F) << 14) |
                  (static_cast<size_t>(b[8] & 0x7F) << 7) | static_cast<size_t>(b[9] & 0x7F);
    m_start = kId3v2HeaderBytes + size;
    // An ID3v2.4 tag may carry a 10-byte footer behind its frames (flag bit 4).
    if (b[3] >= 4 && (b[5] & 0x10)) m_start += kId3v2HeaderBytes;
  }
  // A tag that claims more than the file holds leaves no frame to decode.
  if (m_start > m_end || m_end - m_start < 4) return false;
  m_read = m_start;
  m_ended = false;
  m_passHadSamples = false;
  m_carryPos = m_carryLen = 0;
  m_frameBytes = 0;
  if (!m_carry) m_carry = std::make_unique<uint8_t[]>(kCarryBytes);
  if (!m_frame) m_frame = std::make_unique<uint8_t[]>(quillon::kMaxFrameBytes);
  if (!m_samples) m_samples = std::make_unique<int16_t[]>(kSampleBufferSamples);
  m_handle = m_decoder->create(b + m_start);
  if (!m_handle) return false;
  m_channels = quillon::handleField(m_handle, quillon::kChannelsOffset);
  m_rate = quillon::handleField(m_handle, quillon::kRateOffset);
  return (m_channels == 1 || m_channels == 2) && m_rate > 0;
}

size_t Mp3Stream::read(uint8_t* out, size_t wanted, bool loop) {
  if (!m_handle || wanted == 0) return 0;
  size_t produced = 0;
  if (m_carryLen > 0) {
    size_t take = m_carryLen < wanted ? m_carryLen : wanted;
    std::memcpy(out, m_carry.get() + m_carryPos, take);
    m_carryPos += take;
    m_carryLen -= take;
    produced = take;
    if (produced == wanted) return produced;
  }
  m_carryPos = 0;
  const uint8_t* bytes = m_bytes.data();
  const size_t align = static_cast<size_t>(blockAlign());
  for (;;) {
    if (m_end - m_read >= 4 && m_decoder->predecode(m_handle, bytes + m_read) == 0) {
      int32_t frameLength = quillon::handleField(m_handle, quillon::kFrameLengthOffset);
      if (frameLength >= 4 && frameLength <= quillon::kMaxFrameBytes) {
        size_t take = static_cast<size_t>(frameLength);
        if (take > m_end - m_read) take = m_end - m_read;
        std::memcpy(m_frame.get(), bytes + m_read, take);
        int32_t samples = m_decoder->decode(m_handle, m_samples.get(), m_frame.get(), static_cast<int32_t>(take));
        m_read += take;
        if (samples <= 0) continue;  // nothing decoded: skip the frame
        if (samples > quillon::kMaxFrameSamples) samples = quillon::kMaxFrameSamples;
        size_t got = static_cast<size_t>(samples) * align;
        if (m_frameBytes == 0) m_frameBytes = got;
        m_passHadSamples = true;
        const uint8_t* decoded = reinterpret_cast<const uint8_t*>(m_samples.get());
        size_t need = wanted - produced;
        if (got >= need) {
          std::memcpy(out + produced, decoded, need);
          m_carryLen = got - need;
          std::memcpy(m_carry.get(), decoded + need, m_carryLen);
          return wanted;
        }
        std::memcpy(out + produced, decoded, got);
        produced += got;
        continue;
      }
    }
    // The end of the frames, or a frame that cannot be decoded. A pass that gave nothing would
    // give nothing again: end rather than spin.
    if (!loop || !m_passHadSamples) {
      m_ended = true;
      return produced;
    }
    m_read = m_start;
    m_ended = false;
    m_passHadSamples = false;
  }
}

uint64_t Mp3Stream::estimate() {
  int32_t bitrate = m_handle ? quillon::handleField(m_handle, quillon::kBitrateOffset) : 0;
  uint64_t duration = bitrate > 0 ? static_cast<uint64_t>(m_end) * 8 / static_cast<uint64_t>(bitrate) : 0;
  m_durationMs = duration > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(duration);
  return (duration / 1000 + 1) * static_cast<uint64_t>(bytesPerSecond());
}

bool openSoundSource(Mp3Stream& stream, std::string_view name, std::string_view location,
                     MlzArchive* archive, bool wholeFile) {
  name = untilNul(name);
  location = untilNul(location);
  auto slash = lastCharOf(location, '\\');
  bool isFolder = location.empty() || (slash && *slash + 1 == location.size());
  if (!isFolder) {
    MlzArchive local;
    MlzArchive& reader = archive ? *archive : local;
    auto member = reader.extract(location, name);
    return member && stream.openMemory(std::move(*member));
  }
  // Loose sound files may have come from a system that ignores letter case ("BGM01.MP3").
  const std::string path = platform::existingPath(std::string(location) + std::string(name));
  if (wholeFile) {
    auto bytes = platform::readWholeFile(path);
    return bytes && stream.openMemory(std::move(*bytes));
  }
  return platform::fileExists(path) && stream.openFile(path);
}

}  // namespace sorel
