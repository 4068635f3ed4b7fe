#include "engine/audio/music_player.h"

#include "engine/audio/sound_mixer.h"
#include "engine/resources/sjis_text.h"
#include "platform/clock.h"

namespace sorel {

void MusicPlayer::setMusicFolder(std::string_view folder) { m_folder = std::string(untilNul(folder)); }

void MusicPlayer::setMode(SoundMixer* mixer, int mode) {
  m_mixer = mixer;
  if (soundOn() && m_playing) m_mixer->stop(kSlot);
  m_mode = mode;
}

bool MusicPlayer::play(std::string_view name, int volume, int fadeInMs, bool loop) {
  std::string requested(untilNul(name));  // name may be our own m_name, which stop() clears
  // A name the mixer cannot take would never play: refuse it rather than report success.
  if (requested.size() > SoundMixer::kMaxNameLength) return false;
  stop();
  m_playing = true;
  m_name = std::move(requested);
  m_location = m_folder;
  m_loop = loop;
  m_requestTime = platform::tickCount();
  if (!soundOn()) return true;
  m_mixer->play(kSlot, m_name, m_location, nullptr, volume, fadeInMs, loop, true, m_wholeFile);
  m_mixer->setVolume(kSlot, volume);
  return true;
}

void MusicPlayer::stop() {
  m_name.clear();
  m_location.clear();
  m_playing = false;
  if (soundOn()) m_mixer->stop(kSlot);
}

void MusicPlayer::setVolume(int level) {
  if (soundOn()) m_mixer->setVolume(kSlot, level);
}

void MusicPlayer::fadeOut(int ms) {
  m_name.clear();
  m_location.clear();
  m_playing = false;
  if (soundOn()) m_mixer->fadeOut(kSlot, ms);
}

}  // namespace sorel
