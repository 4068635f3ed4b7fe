#include "engine/story/layers.h"

#include <algorithm>

#include "engine/story/game_random.h"
#include "engine/resources/screen.h"

namespace sorel {

int32_t toScreenX(int64_t v) { return static_cast<int32_t>(v * screenWidth / fullWidth); }
int32_t toScreenY(int64_t v) { return static_cast<int32_t>(v * screenHeight / fullHeight); }

namespace {
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }
int64_t roundDiv(int64_t a, int64_t b) { return floorDiv(2 * a + b, 2 * b); }
}  // namespace

Rect toScreenRect(int x, int y, int width, int height) {
  return {static_cast<int32_t>(floorDiv(int64_t(x) * screenWidth, fullWidth)),
          static_cast<int32_t>(floorDiv(int64_t(y) * screenHeight, fullHeight)),
          static_cast<int32_t>(ceilDiv((int64_t(x) + width) * screenWidth, fullWidth)),
          static_cast<int32_t>(ceilDiv((int64_t(y) + height) * screenHeight, fullHeight))};
}

Rect Sprite::screenRect() const {
  if (!visible) return {};
  int64_t w = src.width(), h = src.height();
  if (w <= 0 || h <= 0) return {};
  // The anchor is the pivot of scaling: the box shrinks or grows about it.
  int64_t left = x - int64_t(anchorX) * scaleX / 1000;
  int64_t top = y - int64_t(anchorY) * scaleY / 1000;
  int64_t right = left + w * scaleX / 1000 + (scaleX != 1000 ? 1 : 0);
  int64_t bottom = top + h * scaleY / 1000 + (scaleY != 1000 ? 1 : 0);
  return {int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
}

DrawItem Sprite::drawItem() const {
  DrawItem item;
  item.kind = kind == Kind::Colour ? kItemColour : kItemPicture;
  item.flags = flags;
  item.colour = colour;
  item.mode = mode;
  item.brightness = brightness;
  item.opacity = opacity;
  item.pivotX = anchorX;
  item.pivotY = anchorY;
  item.slot = kind == Kind::Colour ? -1 : slot;
  item.setSource(src);
  item.x = x - anchorX;
  item.y = y - anchorY;
  item.scaleX = scaleX;
  item.scaleY = scaleY;
  return item;
}

Rect LayerTable::pictureRect(int slot, DesignRect src) const {
  const Picture* p = m_pictures.get(slot);
  int64_t pw = p ? p->width : 0, ph = p ? p->height : 0;
  int64_t dw = p && p->designWidth > 0 ? p->designWidth : pw;
  int64_t dh = p && p->designHeight > 0 ? p->designHeight : ph;
  if (src.w < 0 || src.h < 0) {
    // The picture's own size from the given corner.
    Rect r{0, 0, int32_t(pw), int32_t(ph)};
    if (dw > 0 && dh > 0) {
      r.left = int32_t(floorDiv(int64_t(src.x) * pw, dw));
      r.top = int32_t(floorDiv(int64_t(src.y) * ph, dh));
    }
    if (src.w >= 0 && dw > 0) r.right = int32_t(roundDiv((int64_t(src.x) + src.w) * pw, dw));
    if (src.h >= 0 && dh > 0) r.bottom = int32_t(roundDiv((int64_t(src.y) + src.h) * ph, dh));
    return r;
  }
  if (dw <= 0 || dh <= 0) return {src.x, src.y, src.x + src.w, src.y + src.h};
  return {int32_t(floorDiv(int64_t(src.x) * pw, dw)), int32_t(floorDiv(int64_t(src.y) * ph, dh)),
          int32_t(roundDiv((int64_t(src.x) + src.w) * pw, dw)),
          int32_t(roundDiv((int64_t(src.y) + src.h) * ph, dh))};
}

bool LayerTable::checkSlot(int layer) {
  if (layer >= 0 && layer < kSlots) return true;
  m_errorWord |= kErrorElementSlot;
  return false;
}

Sprite* LayerTable::get(int layer) {
  return layer >= 0 && layer < kSlots ? m_sprites[size_t(layer)].get() : nullptr;
}
const Sprite* LayerTable::get(int layer) const {
  return layer >= 0 && layer < kSlots ? m_sprites[size_t(layer)].get() : nullptr;
}

void LayerTable::changed(Sprite& s, const Rect& before) {
  mark(before);
  mark(s.screenRect());
}

bool LayerTable::place(int layer, int slot, DesignRect src, int x, int y, int anchorX, int anchorY, int order) {
  if (!checkSlot(layer)) return false;
  remove(layer, true);
  auto s = std::make_unique<Sprite>();
  s->kind = Sprite::Kind::Picture;
  s->slot = slot;
  s->src = pictureRect(slot, src);
  s->x = toScreenX(x);
  s->y = toScreenY(y);
  s->anchorX = toScreenX(anchorX);
  s->anchorY = toScreenY(anchorY);
  s->order = order >= 0 && order < 128 ? order : 0;
  mark(s->screenRect());
  m_sprites[size_t(layer)] = std::move(s);
  return true;
}

bool LayerTable::colour(int layer, int x, int y, int width, int height, ColourWord colour, int order) {
  if (!checkSlot(layer)) return false;
  remove(layer, true);
  auto s = std::make_unique<Sprite>();
  s->kind = Sprite::Kind::Colour;
  s->colour = colour;
  Rect r = toScreenRect(x, y, width, height);
  s->src = {0, 0, r.width(), r.height()};
  s->x = r.left;
  s->y = r.top;
  s->order = order >= 0 && order < 128 ? order : 0;
  mark(s->screenRect());
  m_sprites[size_t(layer)] = std::move(s);
  return true;
}

void LayerTable::remove(int layer, bool redraw) {
  if (!checkSlot(layer)) return;
  auto& s = m_sprites[size_t(layer)];
  if (!s) return;
  if (redraw) {
    // The effect's tiles may lie outside the sprite's own rectangle (a slide): finishing it
    // marks them.
    if (s->effect.active) endEffect(*s);
    mark(s->screenRect());
  }
  s.reset();
}

void LayerTable::removeAllScene() {
  for (int i = 0; i < kSceneLayers; ++i) remove(i, true);
}

void LayerTable::clear() {
  for (auto& s : m_sprites) s.reset();
}

void LayerTable::setVisible(int layer, bool visible) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s || s->visible == visible) return;
  Rect before = s->screenRect();
  s->visible = visible;
  changed(*s, before);
}

void LayerTable::setOpacity(int layer, int opacity) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  opacity = std::clamp(opacity, 0, 256);
  if (s->opacity == opacity) return;
  s->opacity = opacity;
  changed(*s, s->screenRect());
}

void LayerTable::setBrightness(int layer, int value, bool white) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  value = std::clamp(value + (white ? 256 : 0), 0, 512);
  if (s->brightness == value) return;
  s->brightness = value;
  changed(*s, s->screenRect());
}

void LayerTable::setOrder(int layer, int order) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s || order < 0 || order >= 128) return;
  s->order = order;
  changed(*s, s->screenRect());
}

void LayerTable::setPosition(int layer, int x, int y) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  Rect before = s->screenRect();
  s->x = toScreenX(x);
  s->y = toScreenY(y);
  changed(*s, before);
}

void LayerTable::setAnchor(int layer, int x, int y) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  Rect before = s->screenRect();
  s->anchorX = toScreenX(x);
  s->anchorY = toScreenY(y);
  changed(*s, before);
}

void LayerTable::setFlags(int layer, uint32_t flags) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  s->flags = flags;
  changed(*s, s->screenRect());
}

void LayerTable::setScale(int layer, int scaleX, int scaleY) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  Rect before = s->screenRect();
  s->scaleX = scaleX;
  s->scaleY = scaleY;
  changed(*s, before);
}

void LayerTable::setMode(int layer, int mode) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s) return;
  s->mode = mode;
  changed(*s, s->screenRect());
}

void LayerTable::defineFrame(int layer, int frame, int next, uint32_t durationMs, int slot, DesignRect src,
                             int anchorX, int anchorY) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s || frame < 0 || frame >= 64) return;
  if (s->frames.size() <= size_t(frame)) s->frames.resize(size_t(frame) + 1);
  SpriteFrame& f = s->frames[size_t(frame)];
  f.slot = slot;
  f.src = pictureRect(slot, src);
  f.anchorX = toScreenX(anchorX);
  f.anchorY = toScreenY(anchorY);
  f.durationMs = durationMs;
  f.next = next;
  f.defined = true;
}

namespace {
void showFrame(Sprite& s, int frame) {
  const SpriteFrame& f = s.frames[size_t(frame)];
  s.frame = frame;
  s.slot = f.slot;
  s.src = f.src;
  s.anchorX = f.anchorX;
  s.anchorY = f.anchorY;
}
bool validFrame(const Sprite& s, int frame) {
  return frame >= 0 && size_t(frame) < s.frames.size() && s.frames[size_t(frame)].defined;
}
}  // namespace

void LayerTable::startFrames(int layer, int frame, uint32_t now) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s || !validFrame(*s, frame)) return;
  Rect before = s->screenRect();
  showFrame(*s, frame);
  s->frameStart = now;
  changed(*s, before);
}

namespace {
// The effect's view of a sprite: its own item, its anchor point in 1/1000 pixel and the anchor.
EffectSprite effectView(const Sprite& s, const DrawItem& item) {
  return {item, int64_t(s.x) * 1000, int64_t(s.y) * 1000, s.anchorX, s.anchorY};
}
}  // namespace

EffectContext LayerTable::effectContext(uint32_t now) {
  EffectContext context;
  context.now = now;
  context.random = gameRandom;
  // Effects mark into a list of their own; its rectangles go on to the marker after each call.
  m_effectDirty.setBounds(screenWidth, screenHeight);
  context.dirty = &m_effectDirty;
  context.screenWidth = screenWidth;
  context.screenHeight = screenHeight;
  return context;
}

void LayerTable::flushEffectMarks() {
  for (const auto& node : m_effectDirty.nodes()) mark(node.rect);
  clearDirtyRects(m_effectDirty);
}

bool LayerTable::startEffect(int layer, int type, uint32_t durationMs, int p3, int p4, int p5, uint32_t now) {
  Sprite* s = get(layer);
  if (!checkSlot(layer) || !s || type < kFirstEffectType || type > kLastEffectType) return false;
  const DrawItem item = s->drawItem();
  EffectContext context = effectContext(now);
  const int started = sorel::startEffect(s->effect, effectView(*s, item), context, type, durationMs, p3, p4, p5);
  flushEffectMarks();
  return started != 0;
}

bool LayerTable::effectRunning(int layer, uint32_t now) const {
  const Sprite* s = get(layer);
  return s && s->effect.active && now - s->effect.start < s->effect.durationMs;
}

bool LayerTable::endEffect(Sprite& s) {
  const DrawItem item = s.drawItem();
  EffectContext context = effectContext(m_now);
  const EffectFinish f = sorel::finishEffect(s.effect, effectView(s, item), context);
  flushEffectMarks();
  if (f.result == 0) return false;
  if (f.opacityTo256) s.opacity = 256;
  s.x = static_cast<int32_t>(f.positionX / 1000);
  s.y = static_cast<int32_t>(f.positionY / 1000);
  mark(s.screenRect());
  return f.removeSprite;
}

void LayerTable::finishEffect(int layer) {
  Sprite* s = get(layer);
  if (!s || !s->effect.active) return;
  if (endEffect(*s)) remove(layer, true);
}

void LayerTable::update(uint32_t now) {
  m_now = now;
  for (int i = 0; i < kSlots; ++i) {
    Sprite* s = m_sprites[size_t(i)].get();
    if (!s) continue;
    if (s->frame >= 0 && validFrame(*s, s->frame)) {
      // Move on through every frame whose time is up; the walk is bounded so that frames of
      // zero duration cannot hold the frame loop.
      Rect before = s->screenRect();
      bool moved = false;
      for (size_t guard = 0; guard < s->frames.size(); ++guard) {
        const SpriteFrame& f = s->frames[size_t(s->frame)];
        if (f.next < 0 || !validFrame(*s, f.next) || now - s->frameStart < f.durationMs) break;
        s->frameStart += f.durationMs;
        showFrame(*s, f.next);
        moved = true;
      }
      if (now - s->frameStart > 0x7FFFFFFFu) s->frameStart = now;
      if (moved) changed(*s, before);
    }
    if (s->effect.active) {
      const DrawItem item = s->drawItem();
      EffectContext context = effectContext(now);
      const int done = stepEffect(s->effect, effectView(*s, item), context);
      flushEffectMarks();
      if (done) finishEffect(i);
    }
  }
}

std::vector<const Sprite*> LayerTable::drawSequence() const {
  std::array<std::vector<const Sprite*>, 128> buckets;
  for (const auto& s : m_sprites)
    if (s && s->visible) buckets[size_t(s->order)].push_back(s.get());
  std::vector<const Sprite*> out;
  for (int order = 127; order >= 0; --order)
    out.insert(out.end(), buckets[size_t(order)].begin(), buckets[size_t(order)].end());
  return out;
}

const DrawItem* LayerTable::displayList() {
  auto sequence = drawSequence();
  m_items.clear();
  size_t count = 0;
  for (const Sprite* s : sequence) count += s->effect.active ? s->effect.tiles.size() : 1;
  m_items.reserve(count);
  for (const Sprite* s : sequence) {
    if (s->effect.active)
      m_items.insert(m_items.end(), s->effect.tiles.begin(), s->effect.tiles.end());
    else
      m_items.push_back(s->drawItem());
  }
  for (size_t i = 0; i + 1 < m_items.size(); ++i) m_items[i].next = &m_items[i + 1];
  if (!m_items.empty()) m_items.back().next = nullptr;
  return m_items.empty() ? nullptr : m_items.data();
}

}  // namespace sorel
