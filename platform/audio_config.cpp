#include "platform/audio_config.h"

namespace platform {
namespace {
// Process-wide: set once by the shell before any sound is opened, read by the wave output.
AudioConfig g_config;
}  // namespace

void setAudioConfig(const AudioConfig& config) { g_config = config; }
const AudioConfig& audioConfig() { return g_config; }

}  // namespace platform
