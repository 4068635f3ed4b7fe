#pragma once
// The music player: background music on mixer slot 0, always from the music folder
// (data\bgm\). It remembers the current music's name even while music is switched off, so that
// saving, loading and switching music on again know what should be playing.
#include <cstdint>
#include <string>
#include <string_view>

namespace sorel {

class SoundMixer;

class MusicPlayer {
 public:
  static constexpr int kSlot = 0;
  /// Music plays only at this mode or above (the "PCM" setting: 0 unavailable, 1 off, 2 on).
  static constexpr int kModeOn = 2;
  /// The folder every request plays from (a system path ending in '\', normally
  /// DataPaths::musicFolder).
  void setMusicFolder(std::string_view folder);
  const std::string& musicFolder() const { return m_folder; }

  /// Remembers the mixer; when music is playing through it, stops slot 0; then takes the new
  /// mode. The current name survives.
  void setMode(SoundMixer* mixer, int mode);
  /// Takes the new mode without touching slot 0 (a movie's sound track plays there).
  void setModeOnly(int mode) { m_mode = mode; }
  int mode() const { return m_mode; }
  /// Whole-file mode (the MEM_STREAM setting): read each music file into memory instead of
  /// mapping it.
  void setWholeFile(bool wholeFile) { m_wholeFile = wholeFile; }
  bool wholeFile() const { return m_wholeFile; }

  /// Stops the current music and requests `name` from the music folder at volume 0..100,
  /// fading in over fadeInMs when positive. Below kModeOn only the request is recorded. Returns
  /// true: a missing file leaves silence, not an error. A name longer than the mixer takes is
  /// refused (false, nothing changes). Neither the name nor the folder is ever shortened.
  bool play(std::string_view name, int volume, int fadeInMs, bool loop);
  /// Forgets the request; stops slot 0 when music is on.
  void stop();
  /// Sets slot 0's level when music is on.
  void setVolume(int level);
  /// Forgets the request; when music is on, fades slot 0 out over ms (it stops at the end).
  void fadeOut(int ms);

  /// The requested music's name and folder; empty when none is requested.
  const std::string& name() const { return m_name; }
  const std::string& location() const { return m_location; }
  /// True from play() until stop() or fadeOut().
  bool isPlaying() const { return m_playing; }
  /// The loop flag of the last request (switching music on again plays it the same way).
  bool looping() const { return m_loop; }
  /// Engine time (ms) of the last request.
  uint32_t requestTime() const { return m_requestTime; }

 private:
  bool soundOn() const { return m_mixer && m_mode >= kModeOn; }

  SoundMixer* m_mixer = nullptr;
  std::string m_folder;
  std::string m_name;
  std::string m_location;
  int m_mode = 0;
  bool m_wholeFile = false;
  bool m_playing = false;
  bool m_loop = false;
  uint32_t m_requestTime = 0;
};

}  // namespace sorel
