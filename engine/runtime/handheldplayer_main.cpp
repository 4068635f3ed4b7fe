// handheldplayer: the engine for the handheld PC — a 320 × 240 window drawn through a GDI-style
// bitmap, pen messages as they are.
#include "engine/runtime/player.h"

int main(int argc, char** argv) {
  return sorel::runPlayer(sorel::PlayerKind::Handheld, argc, argv);
}
