#pragma once
// What the story asks of the libraries above it. The dispatcher runs the title and extras
// screens, and story commands start the eye-catch and the staff roll (StoryScreens); the message
// and choice commands take the snapshot a save stores (StorySnapshots). The screens and the saves
// implement these; the application wires them to its Game. Without them the dispatcher's screen
// modes do nothing, the screen commands only move on, and no snapshot is taken.

namespace sorel {

/// The screens around the story, as the story drives them.
class StoryScreens {
 public:
  virtual ~StoryScreens() = default;

  /// One frame of the title screen (game mode 0).
  virtual void titleStep() = 0;
  /// One frame of the gallery (game mode 60).
  virtual void galleryStep() = 0;
  /// One frame of the replay screen (game mode 70).
  virtual void replayStep() = 0;
  /// One frame of the sound mode (game mode 80).
  virtual void soundModeStep() = 0;

  /// EYECATCH, once per frame while it runs: true once the eye-catch is over.
  virtual bool eyeCatchCommand() = 0;
  /// The eye-catch in progress is forgotten (a saved game replaces the story).
  virtual void forgetEyeCatch() = 0;
  /// STAFFROLL_BEGIN: loads the staff roll's sheet and animation table.
  virtual void staffRollBegin() = 0;
  /// ANIM_SHOW: shows a piece of the staff roll, or a scene picture, in an animation slot.
  virtual void animShow() = 0;
  /// ANIM_HIDE: takes an animation slot's piece or picture away.
  virtual void animHide() = 0;
  /// Frees the staff roll's animation table and its sheet and hides its pieces.
  virtual void freeStaffRoll() = 0;
};

/// The snapshot of the story that a save stores.
class StorySnapshots {
 public:
  virtual ~StorySnapshots() = default;

  /// A message or a choice begins: the story's state and backlog are copied for saving.
  virtual void takeSnapshot() = 0;
  /// The story ended: nothing of it may be saved until the next snapshot.
  virtual void dropSnapshot() = 0;
};

}  // namespace sorel
