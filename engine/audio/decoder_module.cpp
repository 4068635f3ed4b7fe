#include "engine/audio/decoder_module.h"

#include <atomic>
#include <string>

#include "platform/module.h"

namespace sorel {
namespace {
// One per process by design: the module is loaded at start-up, read by the game thread and the
// sound thread, and unloaded at exit. Only the game thread loads and unloads.
platform::Module g_module;
Mp3Decoder g_entries;
std::atomic<const Mp3Decoder*> g_bound{nullptr};
}  // namespace

bool loadDecoderModule(std::string_view programFolder) {
  unloadDecoderModule();
  std::string path = std::string(programFolder) + quillon::kModuleName;
  if (!g_module.load(path)) return false;
  Mp3Decoder e;
  e.getDecVer = reinterpret_cast<quillon::GetDecVerFn>(g_module.entry(quillon::kGetDecVer));
  e.create = reinterpret_cast<quillon::CreateFn>(g_module.entry(quillon::kCreate));
  e.destroy = reinterpret_cast<quillon::DestroyFn>(g_module.entry(quillon::kDestroy));
  e.predecode = reinterpret_cast<quillon::PredecodeFn>(g_module.entry(quillon::kPredecode));
  e.decode = reinterpret_cast<quillon::DecodeFn>(g_module.entry(quillon::kDecode));
  if (!e.getDecVer || !e.create || !e.destroy || !e.predecode || !e.decode) {
    g_module.unload();
    return false;
  }
  g_entries = e;
  g_bound.store(&g_entries);
  return true;
}

void unloadDecoderModule() {
  g_bound.store(nullptr);
  g_module.unload();
  g_entries = {};
}

const Mp3Decoder* decoderModule() { return g_bound.load(); }

}  // namespace sorel
