#pragma once
// The logical screen size, process-wide by design: pocketplayer sets 640 × 480 before anything
// else and nothing changes it afterwards; handheldplayer keeps 320 × 240. Every drawing and
// file-choice decision reads it.
namespace sorel {

inline int screenWidth = 320;
inline int screenHeight = 240;
constexpr int fullWidth = 640;
constexpr int fullHeight = 480;

/// VGA mode: the "_vga" picture archives and full-size layouts.
inline bool isVga() { return screenWidth >= 640; }

}  // namespace sorel
