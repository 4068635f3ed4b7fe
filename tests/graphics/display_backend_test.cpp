// The two back-ends: opening and its failure messages, the logical-to-device mapping on the
// portrait panel and on the bottom-up bitmap, RGB565 conversion, dirty-only presenting and the
// shake offset.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/graphics/backends/display_backend.h"
#include "platform/text.h"

namespace sorel {
namespace {

uint16_t at(const uint8_t* p, size_t byte) {
  uint16_t v;
  std::memcpy(&v, p + byte, 2);
  return v;
}

uint16_t expected565(const Surface& s, int x, int y) {
  const uint8_t* p = s.row(y) + x * 3;
  return uint16_t(((p[2] & 0xF8) << 8) | ((p[1] & 0xFC) << 3) | (p[0] >> 3));
}

Surface randomSurface(int w, int h, uint32_t seed) {
  Surface s;
  s.resize(w, h);
  for (auto& b : s.pixels) {
    seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
    b = uint8_t(seed);
  }
  return s;
}

void setPixel(Surface& s, int x, int y, uint8_t b, uint8_t g, uint8_t r) {
  uint8_t* p = s.row(y) + x * 3;
  p[0] = b, p[1] = g, p[2] = r;
}

TEST(DisplayBackend, FailureMessagesAreTheCp932Texts) {
  EXPECT_EQ(displayErrorMessage(DisplayOpenError::DisplayLibrary),
            *platform::utf8ToCp932("GAPIライブラリのロードに失敗しました"));
  EXPECT_EQ(displayErrorMessage(DisplayOpenError::WindowCreation),
            *platform::utf8ToCp932("ウィンドウの作成に失敗しました。"));
  EXPECT_EQ(displayErrorMessage(DisplayOpenError::FullScreen),
            *platform::utf8ToCp932("ウィンドウのフルスクリーン化に失敗しました"));
  EXPECT_TRUE(displayErrorMessage(DisplayOpenError::None).empty());
}

TEST(DisplayBackend, RawDeviceMustExistAndHoldTheTurnedScreen) {
  platform::RawFrameBuffer device;
  RawFrameBufferBackend display(device);
  EXPECT_EQ(display.open(640, 480), DisplayOpenError::DisplayLibrary);  // no device
  ASSERT_TRUE(device.open(480, 600));
  EXPECT_EQ(display.open(640, 480), DisplayOpenError::DisplayLibrary);  // cyHeight < width
  ASSERT_TRUE(device.open(400, 640));
  EXPECT_EQ(display.open(640, 480), DisplayOpenError::DisplayLibrary);  // cxWidth < height
  EXPECT_FALSE(display.isOpen());
  EXPECT_EQ(display.beginDraw(), nullptr);
  ASSERT_TRUE(device.open(480, 640));
  EXPECT_EQ(display.open(640, 480), DisplayOpenError::None);
  EXPECT_EQ(display.displayProperties().cbyPitch, 960);
  EXPECT_EQ(display.beginDraw(), device.framePointer());
  // A 320 × 240 screen also fits a larger panel.
  EXPECT_EQ(display.open(320, 240), DisplayOpenError::None);
}

TEST(DisplayBackend, RawMappingOfTheCornersAndTheConversion) {
  platform::RawFrameBuffer device;
  ASSERT_TRUE(device.open(480, 640));
  RawFrameBufferBackend display(device);
  ASSERT_EQ(display.open(640, 480), DisplayOpenError::None);
  Surface s;
  s.resize(640, 480);
  setPixel(s, 0, 0, 0xFF, 0xFF, 0xFF);      // white
  setPixel(s, 639, 479, 0x07, 0x03, 0x07);  // below every kept bit
  setPixel(s, 1, 0, 0x00, 0x00, 0xFF);      // pure red
  DirtyRectList dirty;
  dirty.setBounds(640, 480);
  // Logical (0, 0) lands at byte 639 × 960, (639, 479) at byte 958.
  std::memset(device.framePointer(), 0xAB, 480 * 640 * 2);
  present(display, s, dirty, PresentArea::WholeScreen);
  EXPECT_EQ(at(device.framePointer(), 639 * 960), 0xFFFF);
  EXPECT_EQ(at(device.framePointer(), 958), 0x0000);
  EXPECT_EQ(at(device.framePointer(), 638 * 960), 0xF800);  // (1, 0): one device row up
}

TEST(DisplayBackend, WholeScreenMatchesTheConversionOnBothDevices) {
  const Surface s = randomSurface(640, 480, 1234);
  DirtyRectList none;
  platform::RawFrameBuffer device;
  ASSERT_TRUE(device.open(480, 640));
  RawFrameBufferBackend raw(device);
  ASSERT_EQ(raw.open(640, 480), DisplayOpenError::None);
  present(raw, s, none, PresentArea::WholeScreen);
  GdiBackend gdi;
  ASSERT_EQ(gdi.open(640, 480), DisplayOpenError::None);
  present(gdi, s, none, PresentArea::WholeScreen);

  std::vector<uint16_t> want(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) want[size_t(y) * 640 + x] = expected565(s, x, y);
  std::vector<uint16_t> got;
  platform::readLogicalRgb565(raw.displayProperties(), device.framePointer(), 640, 480, got);
  EXPECT_TRUE(got == want);
  platform::readLogicalRgb565(gdi.displayProperties(), gdi.beginDraw(), 640, 480, got);
  EXPECT_TRUE(got == want);
  // The bitmap is bottom-up: logical row 0 is its last row in memory.
  EXPECT_EQ(at(gdi.bitmap().bits().data(), size_t(479) * 640 * 2), want[0]);
}

TEST(DisplayBackend, OnlyDirtyRectanglesArePresented) {
  const Surface s = randomSurface(320, 240, 99);
  GdiBackend gdi;
  ASSERT_EQ(gdi.open(320, 240), DisplayOpenError::None);
  std::vector<Rect> copies;
  gdi.setWindowCopy([&](const Rect& r) { copies.push_back(r); });
  DirtyRectList dirty;
  present(gdi, s, dirty, PresentArea::DirtyRects);  // empty list: nothing at all
  EXPECT_TRUE(copies.empty());
  addDirtyRect(dirty, {10, 20, 30, 25}, false);
  addDirtyRect(dirty, {300, 230, 400, 400}, false);  // clamped to the screen
  present(gdi, s, dirty, PresentArea::DirtyRects);
  EXPECT_EQ(copies, (std::vector<Rect>{{10, 20, 30, 25}, {300, 230, 320, 240}}));
  std::vector<uint16_t> got;
  platform::readLogicalRgb565(gdi.displayProperties(), gdi.beginDraw(), 320, 240, got);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      const bool inside = (x >= 10 && x < 30 && y >= 20 && y < 25) || (x >= 300 && y >= 230);
      ASSERT_EQ(got[size_t(y) * 320 + x], inside ? expected565(s, x, y) : 0) << x << "," << y;
    }
  copies.clear();
  present(gdi, s, dirty, PresentArea::WholeScreen);
  EXPECT_EQ(copies, (std::vector<Rect>{{0, 0, 320, 240}}));
}

TEST(DisplayBackend, BothDevicesReportWhatChangedForTheWindow) {
  platform::RawFrameBuffer device;
  ASSERT_TRUE(device.open(480, 640));
  RawFrameBufferBackend raw(device);
  GdiBackend gdi;
  for (DisplayBackend* d : {static_cast<DisplayBackend*>(&raw), static_cast<DisplayBackend*>(&gdi)}) {
    ASSERT_EQ(d->open(640, 480), DisplayOpenError::None);
    const auto& p = d->displayProperties();
    DirtyRectList dirty;
    dirty.setBounds(640, 480);
    present(*d, randomSurface(640, 480, 5), dirty, PresentArea::WholeScreen);
    EXPECT_EQ(d->takeChanged(), (std::vector<Rect>{{0, 0, 640, 480}}));
    EXPECT_TRUE(d->takeChanged().empty()) << "taken once";
    present(*d, randomSurface(640, 480, 6), dirty, PresentArea::DirtyRects);
    EXPECT_TRUE(d->takeChanged().empty()) << "an empty list changes nothing";

    // The window keeps the picture it was shown and reads only the changed rectangles again.
    std::vector<uint16_t> shown, fresh;
    platform::readLogicalRgb565(p, d->beginDraw(), 640, 480, shown);
    addDirtyRect(dirty, {10, 20, 30, 25}, false);
    addDirtyRect(dirty, {600, 470, 700, 700}, false);
    addDirtyRect(dirty, {12, 21, 20, 24}, false);  // inside the first: not reported twice
    present(*d, randomSurface(640, 480, 7), dirty, PresentArea::DirtyRects);
    const std::vector<Rect> changed = d->takeChanged();
    EXPECT_EQ(changed, (std::vector<Rect>{{10, 20, 30, 25}, {600, 470, 640, 480}}));
    for (const Rect& r : changed)
      platform::readLogicalRgb565(p, d->beginDraw(), 640, 480, {r.left, r.top, r.right, r.bottom}, shown);
    platform::readLogicalRgb565(p, d->beginDraw(), 640, 480, fresh);
    EXPECT_TRUE(shown == fresh);

    // Other writers: a movie frame ends its draw without a rectangle (the whole screen), the
    // pop-up menu names its box. A long list collapses into one rectangle around it.
    d->beginDraw();
    d->endDraw();
    EXPECT_EQ(d->takeChanged(), (std::vector<Rect>{{0, 0, 640, 480}}));
    d->beginDraw();
    d->endDrawRect({100, 100, 200, 150});
    d->endDraw();
    EXPECT_EQ(d->takeChanged(), (std::vector<Rect>{{100, 100, 200, 150}}));
    for (int i = 0; i < 33; ++i) {
      d->beginDraw();
      d->endDrawRect({i * 10, i * 5, i * 10 + 3, i * 5 + 2});
      d->endDraw();
    }
    EXPECT_EQ(d->takeChanged(), (std::vector<Rect>{{0, 0, 323, 162}}));
    d->close();
  }
}

TEST(DisplayBackend, ShakeDisplacesThePictureAndLeavesTheUncoveredStrip) {
  const Surface s = randomSurface(320, 240, 7);
  platform::RawFrameBuffer device;
  ASSERT_TRUE(device.open(240, 320));
  RawFrameBufferBackend raw(device);
  ASSERT_EQ(raw.open(320, 240), DisplayOpenError::None);
  DirtyRectList dirty;
  dirty.setBounds(320, 240);
  for (auto [dx, dy] : {std::pair{3, -2}, std::pair{-5, 4}}) {
    std::memset(device.framePointer(), 0xAB, 240 * 320 * 2);
    present(raw, s, dirty, PresentArea::WholeScreen, dx, dy);
    std::vector<uint16_t> got;
    platform::readLogicalRgb565(raw.displayProperties(), device.framePointer(), 320, 240, got);
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) {
        const int sx = x - dx, sy = y - dy;
        const bool covered = sx >= 0 && sx < 320 && sy >= 0 && sy < 240;
        ASSERT_EQ(got[size_t(y) * 320 + x], covered ? expected565(s, sx, sy) : 0xABAB) << dx << " " << x << "," << y;
      }
  }
  // A dirty rectangle moves with the picture and stays on the screen.
  std::memset(device.framePointer(), 0, 240 * 320 * 2);
  addDirtyRect(dirty, {0, 0, 10, 10}, false);
  present(raw, s, dirty, PresentArea::DirtyRects, -4, 0);
  std::vector<uint16_t> got;
  platform::readLogicalRgb565(raw.displayProperties(), device.framePointer(), 320, 240, got);
  EXPECT_EQ(got[0], expected565(s, 4, 0));
  EXPECT_EQ(got[5], expected565(s, 9, 0));
  EXPECT_EQ(got[6], 0);
}

TEST(DisplayBackend, BlockConversionGivesThePortableBytesForAnyRectangle) {
  // The fast loops convert 8 × 8 blocks on the panel and runs of 8 on the bitmap and leave the
  // rest to the portable loop: odd rectangles and shakes must give its bytes exactly.
  const Surface s = randomSurface(320, 240, 4321);
  platform::RawFrameBuffer device;
  ASSERT_TRUE(device.open(240, 320));
  RawFrameBufferBackend raw(device);
  ASSERT_EQ(raw.open(320, 240), DisplayOpenError::None);
  GdiBackend gdi;
  ASSERT_EQ(gdi.open(320, 240), DisplayOpenError::None);
  uint32_t seed = 17;
  auto next = [&](int n) {
    seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
    return int(seed % uint32_t(n));
  };
  for (DisplayBackend* display : {static_cast<DisplayBackend*>(&raw), static_cast<DisplayBackend*>(&gdi)})
    for (int trial = 0; trial < 40; ++trial) {
      const int x = next(320), y = next(240);
      const Rect r{x, y, x + 1 + next(60), y + 1 + next(50)};
      const int dx = next(9) - 4, dy = next(9) - 4;
      DirtyRectList dirty;
      dirty.setBounds(320, 240);
      addDirtyRect(dirty, r, false);
      uint8_t* frame = display->beginDraw();
      std::memset(display == &raw ? device.framePointer() : frame - (320 * 240 * 2 - 2), 0, 320 * 240 * 2);
      present(*display, s, dirty, PresentArea::DirtyRects, dx, dy);
      std::vector<uint16_t> got;
      platform::readLogicalRgb565(display->displayProperties(), display->beginDraw(), 320, 240, got);
      const Rect clamped = intersect(r, Rect{0, 0, 320, 240});
      for (int py = 0; py < 240; ++py)
        for (int px = 0; px < 320; ++px) {
          const int sx = px - dx, sy = py - dy;
          const bool written = sx >= clamped.left && sx < clamped.right && sy >= clamped.top && sy < clamped.bottom;
          ASSERT_EQ(got[size_t(py) * 320 + px], written ? expected565(s, sx, sy) : 0)
              << "trial " << trial << " at " << px << "," << py;
        }
    }
}

TEST(DisplayBackend, SurfaceOfAnotherSizeIsNotPresented) {
  platform::RawFrameBuffer device;
  ASSERT_TRUE(device.open(480, 640));
  RawFrameBufferBackend raw(device);
  ASSERT_EQ(raw.open(640, 480), DisplayOpenError::None);
  const Surface small = randomSurface(320, 240, 3);
  DirtyRectList none;
  present(raw, small, none, PresentArea::WholeScreen);
  for (size_t i = 0; i < 480 * 640 * 2; ++i) ASSERT_EQ(device.framePointer()[i], 0);
}

}  // namespace
}  // namespace sorel
