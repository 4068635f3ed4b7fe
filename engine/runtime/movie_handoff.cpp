// The movie hand-off: a movie of the movie folder takes the display and mixer slot 0 over the
// game, steps once per idle pass (the frame loop ends it on a tap or a fresh C or right), and
// gives the screen back, redrawn whole, when it ends or is stopped.
#include "engine/runtime/app_context.h"

namespace sorel {

bool EngineCore::startMovie(std::string_view name) {
  stopMovie();
  m_movieRefusal = MovieRefusal::NoFile;
  if (!m_display->isOpen() || m_paths.programFolder.empty()) return false;
  auto movie = std::make_unique<MoviePlayer>();
  m_movieRefusal = movie->open(movie::moviePath(m_paths.movieFolder, name), *m_display, &m_mixer,
                               m_sound->volume(SoundOutput::Movie), m_settings.memStream != 0,
                               m_settings.vgaQuality != 0);
  if (m_movieRefusal != MovieRefusal::None) return false;
  m_movie = std::move(movie);
  // Slot 0 is the movie's now: the music settings leave it alone until the movie is gone.
  m_sound->setMoviePlaying(true);
  showDevice();
  return true;
}

bool EngineCore::stepMovie() {
  if (!m_movie) return false;
  if (m_movie->step()) {
    showDevice();
    return true;
  }
  stopMovie();
  return false;
}

void EngineCore::stopMovie() {
  if (!m_movie) return;
  m_movie.reset();
  m_mixer.stop(movie::kTrackSlot);
  m_sound->setMoviePlaying(false);
  // The movie drew past the back buffer: the next frame presents the whole screen again.
  redrawWholeScreen();
}

}  // namespace sorel
