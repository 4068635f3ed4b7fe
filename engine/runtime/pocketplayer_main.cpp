// pocketplayer: the engine for Pocket PCs — a 640 × 480 landscape screen drawn through the raw
// frame buffer of a portrait panel, pen messages at half resolution.
#include "engine/runtime/player.h"

int main(int argc, char** argv) { return sorel::runPlayer(sorel::PlayerKind::Pocket, argc, argv); }
