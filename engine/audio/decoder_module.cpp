#include "engine/audio/decoder_module.h"

#include <atomic>
#include <mutex>
#include <string>

#include "platform/module.h"

namespace sorel {
namespace {
// One per process by design: the module is loaded at start-up, read by the game thread and the
// sound thread, and unloaded at exit. Only the game thread loads and unloads. Each open stream
// holds a share of the loaded module, so the code its handle needs stays mapped until the
// stream is closed even when the module was unloaded first.
struct LoadedDecoder {
  platform::Module module;
  std::string path;
  Mp3Decoder entries;
};
std::mutex g_lock;
std::shared_ptr<LoadedDecoder> g_loaded;  // guarded by g_lock
std::atomic<const Mp3Decoder*> g_bound{nullptr};
}  // namespace

std::vector<std::string> decoderModulePlaces(std::string_view programFolder) {
  const std::string folder(programFolder);
  return {folder + quillon::kModuleName, folder + "..\\lib\\sorel\\" + quillon::kModuleName};
}

bool loadDecoderModule(std::string_view programFolder) {
  unloadDecoderModule();
  auto loaded = std::make_shared<LoadedDecoder>();
  for (const std::string& place : decoderModulePlaces(programFolder)) {
    if (loaded->module.load(place)) {
      loaded->path = place;
      break;
    }
  }
  if (!loaded->module.isLoaded()) return false;
  Mp3Decoder& e = loaded->entries;
  const platform::Module& m = loaded->module;
  e.getDecVer = reinterpret_cast<quillon::GetDecVerFn>(m.entry(quillon::kGetDecVer));
  e.create = reinterpret_cast<quillon::CreateFn>(m.entry(quillon::kCreate));
  e.destroy = reinterpret_cast<quillon::DestroyFn>(m.entry(quillon::kDestroy));
  e.predecode = reinterpret_cast<quillon::PredecodeFn>(m.entry(quillon::kPredecode));
  e.decode = reinterpret_cast<quillon::DecodeFn>(m.entry(quillon::kDecode));
  if (!e.getDecVer || !e.create || !e.destroy || !e.predecode || !e.decode) return false;
  std::lock_guard<std::mutex> hold(g_lock);
  g_loaded = std::move(loaded);
  g_bound.store(&g_loaded->entries);
  return true;
}

void unloadDecoderModule() {
  std::shared_ptr<LoadedDecoder> last;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_bound.store(nullptr);
    last = std::move(g_loaded);
  }
  // The module itself goes when `last` and every stream's share are gone.
}

const Mp3Decoder* decoderModule() { return g_bound.load(); }

std::string decoderModulePath() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_loaded ? g_loaded->path : std::string();
}

std::shared_ptr<const Mp3Decoder> shareDecoderModule() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (!g_loaded) return nullptr;
  return std::shared_ptr<const Mp3Decoder>(g_loaded, &g_loaded->entries);
}

}  // namespace sorel
