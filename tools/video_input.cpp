#include "tools/video_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

namespace sorel::jmvtool {

namespace {

/// FFmpeg's words for an error code.
std::string errorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

/// One stream of a file opened for decoding; everything is released with the object.
struct Decoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;

  ~Decoder() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  /// Opens the file and its best stream of that type. False with `problem` set; for a missing
  /// stream, `missing` is set too.
  bool open(const std::string& path, AVMediaType type, std::string& problem, bool* missing = nullptr) {
    if (int r = avformat_open_input(&format, path.c_str(), nullptr, nullptr); r < 0) {
      problem = "not a video file FFmpeg can read (" + errorText(r) + ")";
      return false;
    }
    if (int r = avformat_find_stream_info(format, nullptr); r < 0) {
      problem = "its streams cannot be read (" + errorText(r) + ")";
      return false;
    }
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format, type, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
      if (missing) *missing = index == AVERROR_STREAM_NOT_FOUND;
      problem = index == AVERROR_STREAM_NOT_FOUND
                    ? std::string(type == AVMEDIA_TYPE_VIDEO ? "no video stream in it" : "no sound in it")
                    : "no decoder for its " + std::string(type == AVMEDIA_TYPE_VIDEO ? "pictures" : "sound");
      return false;
    }
    stream = format->streams[index];
    codec = avcodec_alloc_context3(decoder);
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!codec || !packet || !frame || avcodec_parameters_to_context(codec, stream->codecpar) < 0) {
      problem = "out of memory";
      return false;
    }
    // One thread: the same pictures whatever the machine, and the encoder has the cores.
    codec->thread_count = 1;
    if (int r = avcodec_open2(codec, decoder, nullptr); r < 0) {
      problem = "its decoder does not start (" + errorText(r) + ")";
      return false;
    }
    return true;
  }

  /// Decodes the whole stream, handing every frame to take (which returns false to stop). False
  /// when take stopped; a packet the decoder refuses is skipped, as players do.
  template <class Take>
  bool decode(Take take) {
    auto drain = [&] {
      while (avcodec_receive_frame(codec, frame) >= 0) {
        const bool more = take(*frame);
        av_frame_unref(frame);
        if (!more) return false;
      }
      return true;
    };
    while (av_read_frame(format, packet) >= 0) {
      bool more = true;
      if (packet->stream_index == stream->index && avcodec_send_packet(codec, packet) >= 0) more = drain();
      av_packet_unref(packet);
      if (!more) return false;
    }
    avcodec_send_packet(codec, nullptr);
    return drain();
  }
};

/// The place of a picture of the shown size sw × sh scaled into w × h: size and corner.
struct Fit {
  int width, height, x, y;
};

Fit fitInto(double shownWidth, double shownHeight, uint32_t w, uint32_t h) {
  Fit f{int(w), int(h), 0, 0};
  if (shownWidth <= 0 || shownHeight <= 0) return f;
  if (shownWidth * h > shownHeight * w) f.height = int(std::lround(shownHeight * w / shownWidth));
  else f.width = int(std::lround(shownWidth * h / shownHeight));
  f.width = std::clamp(f.width, 1, int(w));
  f.height = std::clamp(f.height, 1, int(h));
  f.x = (int(w) - f.width) / 2;
  f.y = (int(h) - f.height) / 2;
  return f;
}

/// Scales pictures of one source into frames of a fixed size with black bars.
class Scaler {
 public:
  Scaler(uint32_t width, uint32_t height) : m_width(width), m_height(height) {}
  ~Scaler() { sws_freeContext(m_context); }

  /// The picture (planes and line sizes of a source of that size and pixel format, shown with
  /// that pixel aspect) as a frame; an empty frame when the scaler cannot take it.
  Frame scale(const uint8_t* const planes[], const int lineSizes[], int srcW, int srcH, AVPixelFormat srcFormat,
              AVRational pixelAspect) {
    Frame out{m_width, m_height, std::vector<uint8_t>(size_t(m_width) * m_height * 3, 0)};
    const double aspect = pixelAspect.num > 0 && pixelAspect.den > 0 ? av_q2d(pixelAspect) : 1.0;
    const Fit fit = fitInto(srcW * aspect, srcH, m_width, m_height);
    m_context = sws_getCachedContext(m_context, srcW, srcH, srcFormat, fit.width, fit.height, AV_PIX_FMT_BGR24,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!m_context) return Frame{};
    uint8_t* dst[4] = {out.bgr.data() + (size_t(fit.y) * m_width + size_t(fit.x)) * 3, nullptr, nullptr, nullptr};
    const int dstLines[4] = {int(m_width) * 3, 0, 0, 0};
    if (sws_scale(m_context, planes, lineSizes, 0, srcH, dst, dstLines) != fit.height) return Frame{};
    return out;
  }

 private:
  uint32_t m_width, m_height;
  SwsContext* m_context = nullptr;
};

/// The duration of one picture of the stream in its time base, from its frame rate; 0 when the
/// file does not say.
int64_t pictureDuration(const AVStream& s) {
  for (AVRational rate : {s.avg_frame_rate, s.r_frame_rate})
    if (rate.num > 0 && rate.den > 0) return std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), s.time_base));
  return 0;
}

}  // namespace

std::optional<VideoInfo> probeVideo(const std::string& hostPath, std::string& problem) {
  Decoder d;
  if (!d.open(hostPath, AVMEDIA_TYPE_VIDEO, problem)) return std::nullopt;
  VideoInfo info;
  const AVRational aspect = av_guess_sample_aspect_ratio(d.format, d.stream, nullptr);
  const double shown = aspect.num > 0 && aspect.den > 0 ? d.codec->width * av_q2d(aspect) : d.codec->width;
  info.width = uint32_t(std::max(0L, std::lround(shown)));
  info.height = uint32_t(std::max(0, d.codec->height));
  if (d.stream->duration > 0) info.seconds = double(d.stream->duration) * av_q2d(d.stream->time_base);
  else if (d.format->duration > 0) info.seconds = double(d.format->duration) / AV_TIME_BASE;
  info.sound = av_find_best_stream(d.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
  if (info.width == 0 || info.height == 0) {
    problem = "its pictures have no size";
    return std::nullopt;
  }
  return info;
}

bool readVideoFrames(const std::string& hostPath, uint32_t fps, uint32_t width, uint32_t height,
                     const std::function<bool(const Frame&)>& sink, std::string& problem) {
  Decoder d;
  if (!d.open(hostPath, AVMEDIA_TYPE_VIDEO, problem)) return false;
  const AVRational tb = d.stream->time_base;
  const AVRational frameTime{1, int(fps)};
  Scaler scaler(width, height);
  const int64_t duration = pictureDuration(*d.stream);
  // Output frame `next` shows at next / fps; it is the last picture that began at or before then.
  // The first picture is shown from the start whatever its time stamp.
  std::optional<Frame> shown;
  int64_t start = d.stream->start_time, last = AV_NOPTS_VALUE, gap = 0;
  uint64_t next = 0;
  bool sinkStopped = false;
  auto emitUntil = [&](int64_t t) {
    while (av_compare_ts(int64_t(next), frameTime, t, tb) < 0) {
      if (!sink(*shown)) {
        sinkStopped = true;
        return false;
      }
      ++next;
    }
    return true;
  };
  const bool whole = d.decode([&](AVFrame& f) {
    int64_t ts = f.best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = last == AV_NOPTS_VALUE ? 0 : last + std::max<int64_t>(1, duration ? duration : gap);
    if (start == AV_NOPTS_VALUE) start = ts;
    if (last != AV_NOPTS_VALUE && ts <= last) return true;  // a picture out of order is dropped
    if (shown && !emitUntil(ts - start)) return false;
    if (last != AV_NOPTS_VALUE) gap = ts - last;
    last = ts;
    Frame scaled = scaler.scale(f.data, f.linesize, f.width, f.height, AVPixelFormat(f.format),
                                av_guess_sample_aspect_ratio(d.format, d.stream, &f));
    if (scaled.bgr.empty()) {
      problem = "a picture cannot be scaled";
      return false;
    }
    shown = std::move(scaled);
    return true;
  });
  if (!whole) {
    if (problem.empty() && !sinkStopped) problem = "cannot be decoded";
    return false;
  }
  if (!shown) {
    problem = "no picture could be decoded";
    return false;
  }
  // The last picture lasts its own duration; a movie has at least one frame.
  const int64_t end = last - start + std::max<int64_t>(1, duration ? duration : gap ? gap : av_rescale_q(1, frameTime, tb));
  if (!emitUntil(end)) return false;
  if (next == 0 && !sink(*shown)) return false;
  return true;
}

std::optional<PcmSound> readVideoSound(const std::string& hostPath, const PcmFormat& format, std::string& problem) {
  problem.clear();
  Decoder d;
  bool missing = false;
  if (!d.open(hostPath, AVMEDIA_TYPE_AUDIO, problem, &missing)) {
    if (missing) problem.clear();
    return std::nullopt;
  }
  AVChannelLayout in{}, out{};
  if (d.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&in, d.codec->ch_layout.nb_channels);
  else av_channel_layout_copy(&in, &d.codec->ch_layout);
  av_channel_layout_default(&out, format.channels);
  SwrContext* swr = nullptr;
  const bool ready = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, format.rate, &in, d.codec->sample_fmt,
                                         d.codec->sample_rate, 0, nullptr) >= 0 &&
                     swr_init(swr) >= 0;
  av_channel_layout_uninit(&in);
  av_channel_layout_uninit(&out);
  struct Release {
    SwrContext*& s;
    ~Release() { swr_free(&s); }
  } release{swr};
  if (!ready) {
    problem = "its sound cannot be converted to " + std::to_string(format.rate) + " Hz";
    return std::nullopt;
  }

  // The sound is placed against the first picture: the video stream's start is time 0.
  int64_t videoStartUs = 0;
  if (int v = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0); v >= 0) {
    const AVStream* vs = d.format->streams[v];
    if (vs->start_time != AV_NOPTS_VALUE) videoStartUs = av_rescale_q(vs->start_time, vs->time_base, AV_TIME_BASE_Q);
  }
  const size_t channels = size_t(format.channels);
  const size_t maxSamples = size_t(kMaxPcmBytes / 2);
  PcmSound pcm{format, {}};
  bool first = true, tooLong = false;
  size_t early = 0;  // sample frames heard before the first picture
  auto convert = [&](const uint8_t** data, int count) {
    const int room = swr_get_out_samples(swr, count);
    if (room <= 0) return true;
    const size_t at = pcm.samples.size();
    if (at + size_t(room) * channels > maxSamples) {
      tooLong = true;
      return false;
    }
    pcm.samples.resize(at + size_t(room) * channels);
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(pcm.samples.data() + at)};
    const int got = swr_convert(swr, dst, room, data, count);
    pcm.samples.resize(at + size_t(std::max(0, got)) * channels);
    return got >= 0;
  };
  const bool whole = d.decode([&](AVFrame& f) {
    if (first) {
      first = false;
      if (f.best_effort_timestamp != AV_NOPTS_VALUE) {
        const int64_t us = av_rescale_q(f.best_effort_timestamp, d.stream->time_base, AV_TIME_BASE_Q) - videoStartUs;
        // A sound that starts after the first picture begins with silence; what comes before the
        // first picture is left out.
        if (us > 0) pcm.samples.resize(size_t(av_rescale(us, format.rate, AV_TIME_BASE)) * channels, 0);
        else early = size_t(av_rescale(-us, format.rate, AV_TIME_BASE));
      }
    }
    return convert(const_cast<const uint8_t**>(f.extended_data), f.nb_samples);
  });
  if (whole) convert(nullptr, 0);  // what the resampler still holds
  if (!whole || tooLong) {
    problem = tooLong ? "its sound is longer than " + std::to_string(kMaxPcmBytes >> 20) + " MiB of samples"
                      : "its sound cannot be decoded";
    return std::nullopt;
  }
  pcm.samples.erase(pcm.samples.begin(), pcm.samples.begin() + long(std::min(pcm.samples.size(), early * channels)));
  if (pcm.samples.empty()) {
    problem = "its sound has no samples";
    return std::nullopt;
  }
  return pcm;
}

Frame fitFrame(const Frame& frame, uint32_t width, uint32_t height) {
  if (frame.width == width && frame.height == height) return frame;
  Scaler scaler(width, height);
  const uint8_t* planes[4] = {frame.bgr.data(), nullptr, nullptr, nullptr};
  const int lines[4] = {int(frame.width) * 3, 0, 0, 0};
  return scaler.scale(planes, lines, int(frame.width), int(frame.height), AV_PIX_FMT_BGR24, AVRational{1, 1});
}

}  // namespace sorel::jmvtool
