// The scene built from layers: the scene picture, the three character sprites, the face, the
// dimming overlay, manner mode's display filter, and the picture and scene transitions.
#include "engine/story/game.h"
#include "engine/content/game_content.h"
#include "engine/story/script_opcodes.h"
#include "engine/graphics/blit.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kStandLayer = 24;
constexpr int kFaceLayer = 21;
constexpr int kDimLayer = 20;
constexpr int kSceneLayer = 28;
constexpr int kCaptureLayer = 0;
constexpr int kStandCentre[3] = {320, 160, 480};

}  // namespace

void Game::showStand(int p, int index) {
  if (p < 0 || p > 2) return;
  if (script.stand[size_t(p)] == index) return;
  const int layer = kStandLayer + p;
  m_layers.remove(layer, true);
  freePicture(layer);
  script.stand[size_t(p)] = index;
  script.standName[size_t(p)] = {};
  auto rec = m_tables.stand(index);
  if (!rec) return;
  std::string_view file = rec->alternateName.empty() ? rec->spriteName : rec->alternateName;
  int x = 0, y = 0;
  // A sprite that cannot be loaded leaves its layer empty; the index is still recorded.
  if (loadPicture(layer, "Stand", file, &x, &y)) m_layers.place(layer, layer, kWholePicture, kStandCentre[p] - x, y, 0, 0, 25);
  copyField(script.standName[size_t(p)], rec->spriteName);
}

void Game::hideStand(int p) {
  if (p < 0 || p > 2) return;
  m_layers.remove(kStandLayer + p, true);
  freePicture(kStandLayer + p);
  script.stand[size_t(p)] = -1;
  script.standName[size_t(p)] = {};
}

void Game::showFace(int index) {
  m_layers.remove(kFaceLayer, true);
  freePicture(kFaceLayer);
  bool withFace = false;
  if (index != -1 && index != -11) {
    if (auto rec = m_tables.stand(index)) {
      withFace = true;
      if (loadPicture(kFaceLayer, "Face", rec->faceName)) {
        const Picture* p = m_host.pictures.get(kFaceLayer);
        int h = p->designHeight > 0 ? p->designHeight : int(p->height);
        int y = 480 - h;
        y += y & 1;  // rounded up to an even line
        m_layers.place(kFaceLayer, kFaceLayer, kWholePicture, 0, y, 0, 0, 3);
        m_layers.setFlags(kFaceLayer, kSpriteIgnoreTone);
        if (!script.windowShown) m_layers.setVisible(kFaceLayer, false);
      }
      // The sprite on screen follows the face's expression. A face without a sprite name
      // follows nothing (an empty name would match every empty position).
      std::string sprite(rec->spriteName);
      for (int p = 0; p < 3 && !sprite.empty(); ++p)
        if (sameNamePrefix(fieldView(script.standName[size_t(p)]), sprite, 5)) showStand(p, index);
    }
  }
  // Text origin and wrap for a message with or without a face.
  m_box.originX = withFace ? 168 : 64;
  m_box.originY = 52;
  m_box.charsPerLine = withFace ? 20 : 25;
  m_box.wrap2 = 4;
}

void Game::showScenePicture(int index) {
  if (script.visual == index) return;
  script.visual = index;
  m_layers.remove(kSceneLayer, true);
  freePicture(kSceneLayer);
  scenePictureName.clear();
  auto rec = m_tables.visual(index);
  if (!rec) return;
  static constexpr std::string_view kPlain[] = {"bg", "Visual", "System"};
  static constexpr std::string_view kAlternate[] = {"bg", "Visual"};
  std::string_view file = rec->alternateName.empty() ? rec->fileName : rec->alternateName;
  std::span<const std::string_view> archives = rec->alternateName.empty() ? std::span<const std::string_view>(kPlain)
                                                                          : std::span<const std::string_view>(kAlternate);
  scenePictureName.assign(file);
  bool seen = false;
  for (const auto& v : visitedPictures)
    if (sameName(v, file)) seen = true;
  if (!seen && !file.empty()) visitedPictures.emplace_back(file);
  for (std::string_view a : archives) {
    if (loadPicture(kSceneLayer, a, file, nullptr, nullptr, true)) {
      m_layers.place(kSceneLayer, kSceneLayer, kWholePicture, 0, 0, 0, 0, 56);
      return;
    }
  }
}

void Game::hideScenePicture() {
  m_layers.remove(kSceneLayer, true);
  freePicture(kSceneLayer);
  script.visual = -1;
  scenePictureName.clear();
}

void Game::applyDisplayFilter(bool reset) {
  if (m_host.gameMode != kModeStory) return;
  const int mode = m_host.settings.dispFreeMode;
  if (reset && mode == 0) {
    m_layers.setBrightness(kSceneLayer, 256);
    displayFiltered = false;
    return;
  }
  displayFiltered = false;
  if (mode == 0) return;
  if (isDisplayFiltered(scenePictureName)) {
    m_layers.setBrightness(kSceneLayer, mode == 1 ? 64 : 0);
    displayFiltered = true;
  }
}

void Game::setDim(bool on) {
  m_layers.remove(kDimLayer, true);
  script.dimmed = on ? 1 : 0;
  if (on) {
    m_layers.colour(kDimLayer, 0, 0, 640, 480, 0x000000, 20);
    m_layers.setOpacity(kDimLayer, 128);
  }
}

bool Game::transitionStep(int kind) {
  InputState& in = m_host.input;
  const bool effectsOn = m_host.settings.effectUse != 0;
  const bool skipKey = in.count(Key::Left) > 0;
  if (effect.step == 0) {
    freePicture(0);
    const Surface* surface = m_host.surface ? m_host.surface() : nullptr;
    if (!skipping() && effectsOn && surface && surface->width > 0) {
      auto capture = std::make_unique<Picture>();
      pictureFromSurface(*capture, *surface);
      m_host.pictures.put(0, std::move(capture));
      m_layers.place(kCaptureLayer, 0, kWholePicture, 0, 0, 0, 0, 0);
      if (kind == 0) {
        m_layers.startEffect(kCaptureLayer, 129, 1000, 0, 0, 0, ticks());
      } else {
        m_layers.setFlags(kCaptureLayer, kSpriteIgnoreTone);
        m_layers.startEffect(kCaptureLayer, 134, 1000, isVga() ? 24 : 12, 1, 1, ticks());
        brightness = m_transitionOpcode == op::kSceneTransition + 2 || m_transitionOpcode == op::kSceneTransition + 3 ? 0 : 256;
      }
      return false;
    }
    return true;
  }
  if (m_layers.effectRunning(kCaptureLayer, ticks())) {
    bool click = in.tapNow || in.count(Key::Right) == 1 || in.count(Key::C) == 1;
    if (effectsOn && !skipKey && !click) return false;
    in.consume(Key::Right);
    in.consume(Key::C);
    in.tapNow = 0;
    m_layers.finishEffect(kCaptureLayer);
  }
  m_layers.remove(kCaptureLayer, true);
  freePicture(0);
  return true;
}

}  // namespace sorel
