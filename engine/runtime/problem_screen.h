#pragma once
// The screen that says what is wrong with the player's data, drawn by the engine into its own
// back buffer, so that whoever starts the player from a launcher (and sees no terminal) reads it
// in the window: a heading, each problem on its own lines with what to do about it, and how to go
// on. A blocking problem keeps the screen up until the player is closed; a silence problem (a
// sound folder or the decoder module missing) keeps it up until a read-on input, and the game
// then plays on without that sound.
#include <string>
#include <vector>

#include "engine/graphics/picture.h"
#include "engine/graphics/text.h"
#include "engine/resources/data_locations.h"

namespace sorel {

/// One line of the screen: CP932 text at (x, y) in the message font at size pixels.
struct ProblemScreenLine {
  std::string text;
  int x = 0, y = 0, size = 0;
  ColourRef colour = 0;
};

/// True when one of the problems keeps the game from being shown.
bool blocksTheGame(const std::vector<DataProblem>& problems);
/// True when the problems are worth a screen: a blocking or a silence problem (a note alone, such
/// as voices left out, is said on the terminal only).
bool worthAScreen(const std::vector<DataProblem>& problems);

/// Lays the screen out for a width × height screen: every problem's text (UTF-8, shown in CP932
/// with '?' for what it cannot hold) wrapped to the width, what to do below it; lines that do not
/// fit above the footer give way to one "…".
std::vector<ProblemScreenLine> layoutProblemScreen(const std::vector<DataProblem>& problems, int width, int height);

/// Fills the surface with the screen's background and draws the lines.
void drawProblemScreen(Surface& surface, TextRenderer& renderer, const std::vector<ProblemScreenLine>& lines);

}  // namespace sorel
