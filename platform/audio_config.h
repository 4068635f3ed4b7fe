#pragma once
// How the wave output should behave in this run, set by the players' shell from its options
// before the sound mixer opens the device.
#include <string>

namespace platform {

struct AudioConfig {
  /// No audio device: a thread paced by the clock consumes the queued buffers.
  bool headless = false;
  /// When not empty, every byte given to the wave output is also written to this WAV file
  /// (host path).
  std::string captureHostPath;
  /// Fault injection for tests: when positive, the output accepts this many buffers after
  /// open and refuses every later one, as a failing device would.
  int acceptBuffers = 0;
};

void setAudioConfig(const AudioConfig& config);
const AudioConfig& audioConfig();

}  // namespace platform
