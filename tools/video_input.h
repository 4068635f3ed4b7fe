#pragma once
// Video files for sorel-movie, read through FFmpeg's libraries (any container and codec they
// know): the pictures at the movie's rate, scaled to fit the movie's size, and the sound track as
// PCM. The scaler also fits picture frames that are larger than the players show. This is the
// only place that uses FFmpeg.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "converter/pcm_convert.h"
#include "tools/jmv_writer.h"

namespace sorel::jmvtool {

/// What a video file holds.
struct VideoInfo {
  uint32_t width = 0;   ///< the picture as shown (its pixel aspect applied)
  uint32_t height = 0;
  double seconds = 0;   ///< length of the video stream (0 when the file does not say)
  bool sound = false;   ///< the file has a sound track
};

/// Opens a video file (host path) and tells what it holds; none with `problem` set (not a file
/// FFmpeg reads, no video stream, no decoder for it).
std::optional<VideoInfo> probeVideo(const std::string& hostPath, std::string& problem);

/// The video's pictures sampled at fps, from its first picture to its end (the last picture lasts
/// its own duration), each scaled to fit width × height keeping its aspect ratio on black bars,
/// handed to sink in order. sink returns false to stop (with its own problem set). False with
/// `problem` set when the video cannot be decoded or sink stopped.
bool readVideoFrames(const std::string& hostPath, uint32_t fps, uint32_t width, uint32_t height,
                     const std::function<bool(const Frame&)>& sink, std::string& problem);

/// The file's sound track as PCM of that format, aligned with the first picture (silence before
/// a sound that starts later). None with `problem` empty when the file has no sound track; none
/// with `problem` set when it cannot be decoded.
std::optional<PcmSound> readVideoSound(const std::string& hostPath, const PcmFormat& format, std::string& problem);

/// The frame scaled to fit width × height keeping its aspect ratio, centred on black. A frame of
/// that size is returned as it is.
Frame fitFrame(const Frame& frame, uint32_t width, uint32_t height);

}  // namespace sorel::jmvtool
