#include "engine/runtime/engine_sound.h"

#include <string>

#include "engine/audio/music_player.h"
#include "engine/audio/sound_mixer.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/sjis_text.h"
#include "engine/state/settings.h"

namespace sorel {

int effectiveVolume(int own, int master) { return own * master / 100; }

EngineSound::EngineSound(SoundMixer& mixer, MusicPlayer& music, MlzArchive& voiceArchive, const DataPaths& paths,
                         const Settings& settings)
    : m_mixer(mixer), m_music(music), m_voiceArchive(voiceArchive), m_paths(paths), m_settings(settings) {}

// ---------------------------------------------------------------------------------------------
// The story's requests

bool EngineSound::playVoice(std::string_view name, int volume) {
  // Voices are stored members of voice.mlz, decoded from memory.
  return m_mixer.play(kVoiceSlot, name, m_paths.voiceArchivePath, &m_voiceArchive, volume, 0, false, true, true);
}

bool EngineSound::playSystemVoice(std::string_view name, int volume, bool startNow) {
  return m_mixer.play(kSystemVoiceSlot, name, m_paths.systemSoundFolder, nullptr, volume, 0, false, startNow, true);
}

void EngineSound::start(int slot) { m_mixer.start(slot, false); }

bool EngineSound::isPlaying(int slot) { return m_mixer.isPlaying(slot); }

void EngineSound::stop(int slot) { m_mixer.stop(slot); }

void EngineSound::fadeOut(int slot, int ms) { m_mixer.fadeOut(slot, ms); }

void EngineSound::stopAll() { m_mixer.stopAll(); }

void EngineSound::playEffect(int slot, std::string_view name, int volume, bool loop) {
  if (slot < kFirstEffectSlot || slot > kLastEffectSlot) return;
  // Effects are small: always read whole.
  m_mixer.play(slot, name, m_paths.soundFolder, nullptr, volume, 0, loop, true, true);
}

void EngineSound::playMusic(std::string_view name, int volume, int fadeInMs) {
  if (sameName(untilNul(name), m_music.name())) return;
  m_music.play(name, volume, fadeInMs, true);
}

void EngineSound::playJingle(std::string_view name, int volume) { m_music.play(name, volume, 0, false); }

bool EngineSound::playSystemVoiceOn(int slot, std::string_view name, int volume, bool startNow) {
  return m_mixer.play(slot, name, m_paths.systemSoundFolder, nullptr, volume, 0, false, startNow, true);
}

void EngineSound::fadeOutMusic(int ms) { m_music.fadeOut(ms); }

void EngineSound::stopMusic() { m_music.stop(); }

std::string_view EngineSound::musicName() { return m_music.name(); }

// ---------------------------------------------------------------------------------------------
// The settings

void EngineSound::applyStartSettings() {
  m_music.setMusicFolder(m_paths.musicFolder);
  m_music.setMode(&m_mixer, m_settings.pcm);
  m_music.setWholeFile(m_settings.memStream != 0);
  // The device keeps its own volume unless the file names a real reduction.
  if (m_settings.deviceVol > 0 && m_settings.deviceVol < 65535)
    m_mixer.setDeviceVolume(static_cast<uint32_t>(m_settings.deviceVol));
}

void EngineSound::applyMusicSwitch() {
  // Telling the player its mode stops what plays: only a real change may do that.
  if (m_settings.pcm == m_music.mode()) return;
  if (m_moviePlaying) {
    // Slot 0 holds the movie's sound track, which the music switch does not govern.
    m_music.setModeOnly(m_settings.pcm);
    return;
  }
  const bool wasOn = m_music.mode() >= MusicPlayer::kModeOn;
  m_music.setMode(&m_mixer, m_settings.pcm);
  const bool nowOn = m_music.mode() >= MusicPlayer::kModeOn;
  if (!wasOn && nowOn && m_music.isPlaying() && !m_music.name().empty() && !m_moviePlaying) {
    // The request survived while music was off: it plays again from its beginning.
    std::string name = m_music.name();
    m_music.play(name, volume(SoundOutput::Music), 0, m_music.looping());
  }
}

void EngineSound::applyVoiceSwitch() {
  if (m_settings.voicePlay >= 2) return;
  m_mixer.stop(kVoiceSlot);
  m_mixer.stop(kSystemVoiceSlot);
}

void EngineSound::applyEffectSwitch() {
  if (m_settings.sePlay >= 2) return;
  for (int slot = kFirstEffectSlot; slot <= kLastEffectSlot; ++slot) m_mixer.stop(slot);
}

int EngineSound::volume(SoundOutput output) const {
  const Settings& s = m_settings;
  switch (output) {
    case SoundOutput::Music: return effectiveVolume(s.musicVol, s.masterVol);
    case SoundOutput::Voice: return effectiveVolume(s.voiceVol, s.masterVol);
    case SoundOutput::Effect: return effectiveVolume(s.seVol, s.masterVol);
    case SoundOutput::Movie: return effectiveVolume(s.movVol, s.masterVol);
  }
  return 0;
}

void EngineSound::applyVolume(SoundOutput output) {
  const int level = volume(output);
  switch (output) {
    case SoundOutput::Music:
      if (!m_moviePlaying) m_music.setVolume(level);
      break;
    case SoundOutput::Voice:
      m_mixer.setVolume(kVoiceSlot, level);
      m_mixer.setVolume(kSystemVoiceSlot, level);
      break;
    case SoundOutput::Effect:
      for (int slot = kFirstEffectSlot; slot <= kLastEffectSlot; ++slot) m_mixer.setVolume(slot, level);
      break;
    case SoundOutput::Movie:
      if (m_moviePlaying) m_mixer.setVolume(kMusicSlot, level);
      break;
  }
}

void EngineSound::applyAllVolumes() {
  for (SoundOutput o : {SoundOutput::Music, SoundOutput::Voice, SoundOutput::Effect, SoundOutput::Movie})
    applyVolume(o);
}

}  // namespace sorel
