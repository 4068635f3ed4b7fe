#pragma once
// Where the logical screen sits in a window of any size: as large as fits with its aspect ratio
// kept, centred, black bars on the two free sides; optionally only in whole-pixel steps. Pen
// positions go back through the same placement, so a tap lands on the logical pixel under it.
namespace platform {

/// The picture's rectangle in window pixels.
struct ViewRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const ViewRect&) const = default;
};

enum class ScaleSteps {
  Any,    ///< any size that fits (the largest)
  Whole,  ///< a whole multiple of the logical size when one fits (else as Any: never cropped)
};

/// The placement of a logical screen of lw × lh in a window of ww × wh pixels. Sizes below 1
/// give an empty rectangle.
ViewRect letterbox(int ww, int wh, int lw, int lh, ScaleSteps steps);

/// The logical pixel under window pixel (px, py): false when the point lies on a bar (lx, ly
/// then hold the nearest logical pixel, clamped to the screen).
bool windowToLogical(const ViewRect& view, int lw, int lh, int px, int py, int& lx, int& ly);

/// The middle window pixel of those showing logical pixel (lx, ly): windowToLogical gives (lx, ly)
/// back whenever the picture is at least the logical size.
void logicalToWindow(const ViewRect& view, int lw, int lh, int lx, int ly, int& px, int& py);

}  // namespace platform
