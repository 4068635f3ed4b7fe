#pragma once
// The engine's sound as the game and the settings see it: the story's requests (voices from
// voice.mlz on slot 2, effects from data\se\ on slots 4 to 7, companion voices from data\sys\ on
// slot 10, music through the music player on slot 0) played through the mixer, and the sound
// settings put into effect: the music switch and streaming mode, the device volume, and the
// five volumes, each output at its own volume × MASTER_VOL / 100.
#include <string_view>

#include "engine/story/story_sound.h"

namespace sorel {

class MlzArchive;
class MusicPlayer;
class SoundMixer;
struct DataPaths;
struct Settings;

/// The outputs whose level the volume settings set.
enum class SoundOutput { Music, Voice, Effect, Movie };

/// An output's level: its own volume × MASTER_VOL / 100 (integer division), 0..100.
int effectiveVolume(int own, int master);

class EngineSound : public StorySound {
 public:
  static constexpr int kMusicSlot = 0;
  static constexpr int kVoiceSlot = 2;
  static constexpr int kSystemVoiceSlot = 10;
  static constexpr int kFirstEffectSlot = 4;
  static constexpr int kLastEffectSlot = 7;

  /// Every reference must outlive this object; paths and settings are read at each call.
  EngineSound(SoundMixer& mixer, MusicPlayer& music, MlzArchive& voiceArchive, const DataPaths& paths,
              const Settings& settings);

  // The story's requests ------------------------------------------------------------------------
  bool playVoice(std::string_view name, int volume) override;
  bool playSystemVoice(std::string_view name, int volume, bool startNow) override;
  void start(int slot) override;
  bool isPlaying(int slot) override;
  void stop(int slot) override;
  void fadeOut(int slot, int ms) override;
  void stopAll() override;
  void playEffect(int slot, std::string_view name, int volume, bool loop) override;
  /// Looping music from the music folder. The music already requested is not started again.
  void playMusic(std::string_view name, int volume, int fadeInMs) override;
  void fadeOutMusic(int ms) override;
  void stopMusic() override;
  std::string_view musicName() override;
  void playJingle(std::string_view name, int volume) override;
  bool playSystemVoiceOn(int slot, std::string_view name, int volume, bool startNow) override;

  // The settings --------------------------------------------------------------------------------
  /// Start-up: the music folder, the music switch (PCM) with the mixer, the whole-file mode
  /// (MEM_STREAM) and the device volume (DEVICE_VOL, only when strictly between 0 and 65535).
  void applyStartSettings();
  /// PCM changed: the music player takes the new mode; switching music on plays the music last
  /// requested again from its beginning, switching it off stops slot 0.
  void applyMusicSwitch();
  /// VOICE_PLAY changed: switching voices off silences slots 2 and 10.
  void applyVoiceSwitch();
  /// SE_PLAY changed: switching effects off silences slots 4 to 7. (Looping effects come back
  /// through the game, which knows their names.)
  void applyEffectSwitch();
  /// Re-applies one output's volume: music to the music player (not while a movie plays),
  /// voices to slots 2 and 10, effects to slots 4 to 7, the movie to slot 0 (only while a movie
  /// plays).
  void applyVolume(SoundOutput output);
  /// MASTER_VOL changed: every output again.
  void applyAllVolumes();
  /// The current level of an output from the settings.
  int volume(SoundOutput output) const;

  /// Whether a movie owns slot 0 (set by the movie player while it plays).
  void setMoviePlaying(bool playing) { m_moviePlaying = playing; }
  bool moviePlaying() const { return m_moviePlaying; }

 private:
  SoundMixer& m_mixer;
  MusicPlayer& m_music;
  MlzArchive& m_voiceArchive;
  const DataPaths& m_paths;
  const Settings& m_settings;
  bool m_moviePlaying = false;
};

}  // namespace sorel
