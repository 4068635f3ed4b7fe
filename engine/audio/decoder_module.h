#pragma once
// The binding of the MP3 decoder module Quillon.ovl. The engine loads it once at start-up and
// unloads it at exit, after the mixer is gone; without a complete module every MP3 source
// fails to open and the game runs silently.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/quillon_abi.h"

namespace sorel {

/// The module's five entry points.
struct Mp3Decoder {
  quillon::GetDecVerFn getDecVer = nullptr;
  quillon::CreateFn create = nullptr;
  quillon::DestroyFn destroy = nullptr;
  quillon::PredecodeFn predecode = nullptr;
  quillon::DecodeFn decode = nullptr;
};

/// The places Quillon.ovl is looked for, first to last, for a program in programFolder (a system
/// path ending in '\'; empty: relative paths, which the module loader takes from the real folder
/// of the running program, whatever symbolic link started it): beside the program (a portable
/// folder, the build tree), then ..\lib\sorel\ relative to it (an installed tree, bin\ beside
/// lib\sorel\).
std::vector<std::string> decoderModulePlaces(std::string_view programFolder);

/// Loads Quillon.ovl from the first of decoderModulePlaces(programFolder) that loads, and
/// resolves the five entry points. A module that
/// lacks any of them is unloaded again. Replaces a module loaded before. True when a complete
/// module is bound.
bool loadDecoderModule(std::string_view programFolder = {});
/// The system path of the bound module, or empty.
std::string decoderModulePath();
/// Unbinds the module. It is unloaded once no stream holds a share of it any more.
void unloadDecoderModule();
/// The bound entry points, or null without a complete module. Safe from any thread; valid
/// only while the module stays bound.
const Mp3Decoder* decoderModule();
/// A share of the bound module that keeps its entry points and code alive however long it is
/// held (what a stream keeps while open), or null without a complete module.
std::shared_ptr<const Mp3Decoder> shareDecoderModule();

}  // namespace sorel
