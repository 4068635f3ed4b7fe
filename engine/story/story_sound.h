#pragma once
// What the story asks of the sound system: voices on slot 2, looping and one-shot effects on
// slots 4 to 7, the companion voice on slot 10, and music. The commands and the message window
// call only this interface; the engine plugs in its mixer-backed implementation (EngineSound),
// and tests and tools the silent one, in which nothing ever plays.
#include <cstdint>
#include <string>
#include <string_view>

namespace sorel {

class StorySound {
 public:
  virtual ~StorySound() = default;

  /// Plays a voice member of the voice archive on slot 2, once, at volume 0..100. False when it
  /// cannot be played.
  virtual bool playVoice(std::string_view name, int volume) = 0;
  /// A companion voice from the system-sound folder (name already ending in ".mp3") on slot 10,
  /// once, at volume 0..100; started at once, or only prepared when startNow is false (start()
  /// plays it later). False when it cannot be opened.
  virtual bool playSystemVoice(std::string_view name, int volume, bool startNow) = 0;
  /// Starts what was prepared on the slot (once, no loop); nothing when the slot is empty.
  virtual void start(int slot) = 0;
  /// True while something plays on the slot.
  virtual bool isPlaying(int slot) = 0;
  virtual void stop(int slot) = 0;
  virtual void fadeOut(int slot, int ms) = 0;
  virtual void stopAll() = 0;

  /// A sound effect from the effect folder (name already ending in ".mp3") on slot 4..7.
  virtual void playEffect(int slot, std::string_view name, int volume, bool loop) = 0;

  /// Music from the music folder (name already ending in ".mp3"), looping, fading in over
  /// fadeInMs when positive. Asking for the music already playing does nothing.
  virtual void playMusic(std::string_view name, int volume, int fadeInMs) = 0;
  virtual void fadeOutMusic(int ms) = 0;
  virtual void stopMusic() = 0;
  /// The name of the music requested, empty when none.
  virtual std::string_view musicName() = 0;

  /// A jingle through the music player (music folder, name already ending in ".mp3"): played
  /// once, not looping, replacing the music.
  virtual void playJingle(std::string_view name, int volume) { playMusic(name, volume, 0); }
  /// A voice from the system-sound folder on any slot (the eye-catch puts its voice on slot 2),
  /// started now or prepared for start(). False when it cannot be opened.
  virtual bool playSystemVoiceOn(int slot, std::string_view name, int volume, bool startNow) {
    return slot == 10 && playSystemVoice(name, volume, startNow);
  }
};

/// The stand-in: accepts every request, plays nothing; music names are remembered so that the
/// story's state stays what it would be.
class SilentStorySound : public StorySound {
 public:
  bool playVoice(std::string_view, int) override { return false; }
  bool playSystemVoice(std::string_view, int, bool) override { return false; }
  void start(int) override {}
  bool isPlaying(int) override { return false; }
  void stop(int) override {}
  void fadeOut(int, int) override {}
  void stopAll() override {}
  void playEffect(int, std::string_view, int, bool) override {}
  void playMusic(std::string_view name, int, int) override { m_music.assign(name); }
  void fadeOutMusic(int) override { m_music.clear(); }
  void stopMusic() override { m_music.clear(); }
  std::string_view musicName() override { return m_music; }

 private:
  std::string m_music;
};

}  // namespace sorel
