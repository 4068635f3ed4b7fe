#include "tools/mkgame/game_builder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "converter/pac_format.h"
#include "engine/content/game_content.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/format.h"
#include "engine/resources/sjis_text.h"
#include "platform/text.h"
#include "tools/mkgame/canvas.h"
#include "tools/mkgame/embedded_scenarios.h"
#include "tools/mkgame/sound.h"
#include "tools/script_asm.h"

// What the sample game holds, and why it looks the way it does:
//
// Every picture is drawn as the game would draw it (scenes, figures, faces, windows, menus),
// never with its file name painted on; tests tell pictures apart through the state dump and the
// colours of pixel regions. Pictures that need a key or alpha
// (sprites, faces, the mark strip, window pictures, logos) are 24-bit; 16-bit is used only for
// opaque pictures, as in the PC game. Deliberate oddities that exercise the converter's bitmap
// reader: "BG_Field.bmp" is 16-bit with BI_BITFIELDS masks (pixels behind a 66-byte header) and
// "BG_Kyoto.bmp" is stored top-down (negative height). 24-bit backgrounds avoid near-black
// colours, which the converter would key out.
//
// Pictures the engine loads by name (System archive unless noted), with their sizes:
//   MessageWindow.bmp        640 x 162  window style 0; magenta inside (made translucent blue)
//   MessageWindow2/3.bmp     640 x 111  window styles 1 and 2; magenta inside
//   MessageWindowButton.bmp  192 x 32   loaded with the window, not shown
//   Cursor.bmp               136 x 36   click marker, frames 30 x 36 at x 0, 35, 68, 101
//   Mark.bmp                 126 x 22   7 cells of 18 x 22: the glyphs of the six mark characters
//   MiniChar01..12.bmp       320 x 120 (12: 324 x 120)  mascot, 4 frames (open, half, shut, half)
//   SelectMenu.bmp           80 x 70    bar caps and middle (48 high), arrows at y 48 (24 x 22)
//   Title_BG.bmp             640 x 911  title background (16-bit)
//   Title.bmp                440 x 192  title logo
//   TitleMenu.bmp            216 x 360  9 strips of 216 x 40: 5 main menu items, 4 extras items
//   Star.bmp                 216 x 84   9 star frames of 36 x 36 at the title's sources
//   SpotLight.bmp            160 x 160
//   ORBA2003.bmp             144 x 32   maker logo
//   ScrollBar.bmp            76 x 40    up, down and track pieces of 24 x 40 at x 0, 28, 52
//   BackLog.bmp              616 x 48   frame edges and the speaker icon (two frames)
//   CGModeBG.bmp             640 x 480  gallery and replay background (16-bit)
//   CGModeButton.bmp         512 x 64   page buttons 32 x 32, back at (416, 0), replay pages
//   SoundModeBG.bmp          640 x 480  (16-bit)
//   SoundModeButton.bmp      640 x 504  track buttons 242 x 34, title strips, three buttons
//   EyeCatchBg.bmp           100 x 100  eye-catch tile (16-bit)
//   EyeCatchLogo.bmp         200 x 93
//   StaffRoll.bmp            512 x 448  staff-roll sheet, pieces listed in STAFFROLL.ANI
//   EndCard.bmp              640 x 480  a scene picture found only in the System archive
//   Thumbnail: thum_cursor.bmp 132 x 100, thum_nodata.bmp 128 x 96, Thum_NNN.bmp 128 x 96
//   Visual: EyeCatch01..16.bmp 640 x 480 (16-bit)
// Scene pictures (VisualInfo.DAT) are listed in buildTables below.

namespace sorel::mkgame {
namespace {

// ---------------------------------------------------------------------------------------------
// Content tables

struct HeroineLook {
  Rgb colour;
  const char* reading;  // kana, for speech
  int pitch;
  int speed;
};

constexpr HeroineLook kLooks[kHeroineCount] = {
    {{255, 170, 60}, "ひな", 62, 170},   {{80, 150, 255}, "あおい", 50, 160},
    {{150, 110, 200}, "しおり", 45, 150}, {{60, 190, 200}, "みお", 70, 175},
    {{120, 200, 90}, "ちひろ", 58, 185},  {{240, 120, 160}, "ことね", 66, 155},
    {{230, 70, 60}, "あかり", 54, 190},   {{200, 170, 110}, "つむぎ", 48, 165},
    {{90, 100, 170}, "りん", 40, 160},    {{140, 210, 240}, "しずく", 74, 150},
    {{250, 220, 80}, "ゆい", 78, 180},    {{250, 180, 200}, "こはる", 82, 170},
};

// Companion voice numbers the title, menus, saves and choices ask for, and what is said.
struct CompanionLine {
  int number;
  const char* text;  // "%s" = the heroine's reading
};
constexpr CompanionLine kCompanionLines[] = {
    {1, "%sです"},   {2, "いくよ"},     {7, "もどるね"}, {10, "はじめよう"}, {11, "つづきから"},
    {12, "おまけ"},  {15, "またね"},    {16, "どうする"}, {17, "おもいで"},  {18, "おんがく"},
    {19, "アルバム"}, {21, "セーブ"},   {22, "ロード"},  {23, "よろしく"},
};

// Music table (BgmInfo.DAT): record index, file, rate, channels, root note, seconds.
struct Track {
  const char* file;  // UTF-8
  const char* title;
  int rate;
  int channels;
  int root;
  int bpm;
  int seconds;
};
const Track kTracks[14] = {
    {"オープニング.wav", "Opening", 44100, 2, 60, 112, 4},
    {"BGM_Morning.wav", "Morning", 22050, 1, 62, 120, 3},
    {"BGM_School.wav", "School", 22050, 1, 64, 128, 3},
    {"BGM_Festival.wav", "Festival", 22050, 2, 65, 140, 3},
    {"BGM_Race.wav", "Race", 22050, 1, 67, 160, 3},
    {"BGM_Journey.wav", "Journey", 44100, 1, 57, 100, 3},
    {"BGM_Night.wav", "Night", 22050, 1, 55, 80, 3},
    {"BGM_Tender.wav", "Tender", 22050, 1, 60, 90, 3},
    {"BGM_Lively.wav", "Lively", 22050, 1, 69, 150, 3},
    {"BGM_Sad.wav", "Sad", 22050, 1, 57, 70, 3},
    {"BGM_Wish.wav", "Wish", 44100, 2, 62, 96, 3},
    {"BGM_Ending.wav", "Ending", 22050, 2, 60, 88, 4},
    {"BGM_Mystery.wav", "Mystery", 22050, 1, 58, 76, 3},
    {"BGM_Calm.wav", "Calm", 22050, 1, 64, 84, 3},
};

// Scene picture indices (VisualInfo.DAT); events of heroine h (1..12) at 10 + 3 (h - 1) + k.
constexpr int kFirstEvent = 10;
int eventIndex(int h, int k) { return kFirstEvent + 3 * (h - 1) + k; }

std::string cp932(std::string_view utf8) {
  auto s = platform::utf8ToCp932(utf8);
  return s ? *s : std::string(utf8);
}

std::string twoDigits(int n) { return format("%z2", {n}); }

Rgb mixColour(Rgb a, Rgb b, int t) {
  return {static_cast<uint8_t>((a.r * (256 - t) + b.r * t) >> 8), static_cast<uint8_t>((a.g * (256 - t) + b.g * t) >> 8),
          static_cast<uint8_t>((a.b * (256 - t) + b.b * t) >> 8)};
}
Rgb lift(Rgb c) { return mixColour(c, kWhite, 110); }
Rgb deepen(Rgb c) { return mixColour(c, Rgb{16, 16, 40}, 110); }
constexpr Rgb kInk{24, 24, 40};       // text on light plates; bright enough to survive the key
constexpr Rgb kSkin{250, 222, 196};

// ---------------------------------------------------------------------------------------------
// Pictures

Canvas backgroundCanvas(std::string_view name, Rgb top, Rgb bottom, Rgb accent, int pattern) {
  Canvas c(640, 480);
  c.gradient(0, 0, 640, 480, top, bottom);
  switch (pattern) {
    case 0:
      c.fillRect(120, 120, 40, 300, accent);
      c.fillRect(480, 120, 40, 300, accent);
      c.fillRect(100, 110, 440, 24, accent);
      c.gradient(0, 380, 640, 100, Rgb{170, 150, 120}, Rgb{120, 100, 80});
      break;
    case 1:
      c.fillRect(40, 60, 300, 150, Rgb{40, 80, 60});
      c.fillRect(380, 60, 200, 160, Rgb{170, 220, 250});
      c.frameRect(380, 60, 200, 160, 6, Rgb{230, 230, 220});
      for (int i = 0; i < 4; ++i) c.fillRect(40 + 150 * i, 330, 110, 40, Rgb{190, 150, 100});
      break;
    case 2:
      for (int i = 0; i < 5; ++i) {
        c.fillRect(20 + 125 * i, 260, 100, 140, mixColour(accent, kWhite, 40 * i));
        c.fillEllipse(70 + 125 * i, 120, 26, 34, Rgb{255, 120, 60});
      }
      break;
    case 3:
      c.fillEllipse(320, 330, 300, 120, Rgb{200, 110, 80});
      c.fillEllipse(320, 330, 240, 80, Rgb{110, 180, 90});
      break;
    case 4:
      c.fillRect(160, 200, 320, 200, Rgb{180, 60, 50});
      c.fillRect(120, 170, 400, 34, Rgb{70, 60, 60});
      c.fillRect(220, 300, 200, 100, Rgb{240, 220, 180});
      break;
    case 5:
      for (int x = 0; x < 640; x += 32) c.fillRect(x, 250, 8, 180, accent);
      c.fillRect(0, 250, 640, 8, accent);
      break;
    case 6:
      for (int i = 0; i < 90; ++i) {
        int x = (i * 397) % 640, y = (i * 211) % 300;
        c.fillRect(x, y, 2 + i % 3, 2 + i % 3, Rgb{255, 250, 200});
      }
      c.fillEllipse(520, 90, 40, 40, Rgb{250, 245, 210});
      break;
    default:
      c.fillRect(60, 280, 260, 120, Rgb{120, 150, 210});
      c.fillRect(420, 240, 160, 160, Rgb{170, 130, 90});
      break;
  }
  c.stripes(0, 440, 640, 40, 24, lift(accent));
  (void)name;
  return c;
}

// A figure: hair, head, body in the heroine's colour, on black (the key of sprites and faces).
void drawFigure(Canvas& c, int cx, int headY, int scale256, Rgb colour, int eyes) {
  auto s = [&](int v) { return v * scale256 / 256; };
  c.fillEllipse(cx, headY + s(170) + s(160), s(100), s(200), colour);            // body
  c.fillRect(cx - s(60), headY + s(60), s(120), s(60), kSkin);                    // neck
  c.fillEllipse(cx, headY - s(5), s(72), s(80), deepen(colour));                  // hair
  c.fillEllipse(cx, headY + s(10), s(58), s(66), kSkin);                          // face
  Rgb eye{50, 40, 70};
  for (int side : {-1, 1}) {
    int ex = cx + side * s(22), ey = headY + s(10);
    if (eyes == 0) c.fillEllipse(ex, ey, s(7), s(11), eye);
    else if (eyes == 1) c.fillEllipse(ex, ey + s(3), s(8), s(5), eye);
    else if (eyes == 2) c.fillRect(ex - s(8), ey + s(4), s(16), std::max(1, s(3)), eye);
    else c.fillRect(ex - s(9), ey, s(18), std::max(2, s(4)), eye), c.fillRect(ex - s(9), ey - s(4), s(4), s(4), eye);
  }
  c.fillRect(cx - s(10), headY + s(45), s(20), std::max(1, s(3)), Rgb{200, 90, 100});  // mouth
}

std::vector<uint8_t> spriteBase(int h, const std::string& name) {
  Canvas c(280, 440);
  drawFigure(c, 140, 100, 256, kLooks[h - 1].colour, 0);
  (void)name;
  return c.bmp24();
}

// The smiling face patch of a sprite: drawn over the base's face at (80, 70), covering its eyes
// and mouth; the black around it is keyed out.
std::vector<uint8_t> spriteOverlay(const std::string& name) {
  Canvas c(120, 90);
  c.fillEllipse(60, 45, 56, 42, kSkin);
  Rgb eye{50, 40, 70};
  for (int side : {-1, 1}) {
    int ex = 60 + side * 22;
    c.fillRect(ex - 9, 40, 18, 4, eye);
    c.fillRect(ex - 9, 36, 4, 4, eye);
    c.fillRect(ex + 5, 36, 4, 4, eye);
    c.fillEllipse(ex + side * 8, 56, 9, 5, Rgb{255, 160, 170});
  }
  c.fillEllipse(60, 72, 10, 5, Rgb{200, 90, 100});
  (void)name;
  return c.bmp24();
}

std::vector<uint8_t> facePicture(int h, int expression, const std::string& name) {
  Canvas c(160, 160);
  drawFigure(c, 80, 60, 180, kLooks[h - 1].colour, expression == 0 ? 0 : 3);
  (void)name;
  return c.bmp24();
}

Canvas eventCanvas(int h, const std::string& name, int variant) {
  Rgb col = kLooks[h - 1].colour;
  Canvas c(640, 480, lift(col));
  if (variant == 0) {
    c.gradient(0, 0, 640, 480, lift(col), col);
    c.stripes(0, 0, 640, 480, 40, lift(lift(col)));
  } else {
    c.gradient(0, 0, 640, 480, Rgb{255, 230, 200}, lift(col));
    c.checker(0, 380, 640, 100, 20, col);
  }
  drawFigure(c, 320, 150, 330, col, variant == 0 ? 0 : 3);
  (void)name;
  return c;
}

std::vector<uint8_t> eventPatch(const std::string& name, Rgb col) {
  // A differential: black around the changed part, which the converter keys out before blending.
  Canvas c(240, 180);
  c.fillEllipse(120, 90, 110, 80, lift(col));
  c.fillEllipse(120, 80, 40, 36, Rgb{255, 110, 140});
  (void)name;
  return c.bmp24();
}

// The end card: a scene picture found only in the System archive.
Canvas endCard() {
  Canvas end(640, 480, {40, 30, 60});
  end.gradient(0, 0, 640, 480, {50, 40, 80}, {20, 20, 40});
  end.text(200, 180, "END", 12, {250, 240, 230});
  return end;
}

// The picture behind picture-table index i, as the thumbnails show it.
Canvas sceneCanvasFor(int i) {
  struct Bg {
    Rgb top, bottom, accent;
    int pattern;
  };
  static const Bg kBgs[9] = {{{150, 200, 250}, {230, 240, 250}, {200, 80, 70}, 0},  {{240, 230, 200}, {220, 200, 170}, {150, 110, 80}, 1},
                             {{240, 230, 200}, {220, 200, 170}, {150, 110, 80}, 1},  {{60, 40, 110}, {150, 70, 120}, {240, 190, 90}, 2},
                             {{140, 200, 250}, {200, 230, 250}, {250, 250, 250}, 3}, {{250, 200, 160}, {250, 230, 210}, {120, 90, 70}, 4},
                             {{110, 170, 240}, {200, 220, 240}, {90, 140, 100}, 5},  {{12, 16, 52}, {44, 44, 96}, {80, 80, 140}, 6},
                             {{240, 225, 210}, {210, 190, 170}, {140, 120, 200}, 7}};
  if (i >= 0 && i < 9) {
    Canvas c = backgroundCanvas("", kBgs[i].top, kBgs[i].bottom, kBgs[i].accent, kBgs[i].pattern);
    if (i == 2) c.gradient(386, 66, 188, 148, {250, 150, 90}, {140, 80, 130});  // the evening window
    return c;
  }
  if (i == 9) return endCard();
  const int h = (i - kFirstEvent) / 3 + 1, k = (i - kFirstEvent) % 3;
  if (h < 1 || h > kHeroineCount) return Canvas(640, 480, {90, 90, 160});
  Canvas c = eventCanvas(h, "", k == 2 ? 1 : 0);
  if (k == 1) c.fillEllipse(320, 230, 110, 80, lift(kLooks[h - 1].colour));
  return c;
}

/// A fifth-size copy (640 × 480 → 128 × 96), each pixel the mean of its 5 × 5 block.
Canvas thumbnailOf(const Canvas& picture) {
  Canvas t(128, 96);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; ++x) {
      int r = 0, g = 0, b = 0;
      for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
          Rgb p = picture.at(5 * x + i, 5 * y + j);
          r += p.r, g += p.g, b += p.b;
        }
      t.set(x, y, Rgb{static_cast<uint8_t>(r / 25), static_cast<uint8_t>(g / 25), static_cast<uint8_t>(b / 25)});
    }
  return t;
}

std::vector<uint8_t> windowPicture(int height, Rgb border, const std::string& name) {
  Canvas c(640, height);
  c.fillRect(6, 6, 628, height - 12, kMagenta);
  c.frameRect(2, 2, 636, height - 4, 4, border);
  c.frameRect(8, 8, 624, height - 16, 2, lift(border));
  (void)name;
  return c.bmp24();
}

std::vector<uint8_t> markStrip() {
  // Glyphs of the mark characters in the order ￥ ＄ ＊ ＃ ； ’, then a spare cell; drawn white on
  // black because only their alpha (the key) is used.
  Canvas c(7 * 18, 22);
  const char glyphs[] = {'Y', '$', '*', '#', ';', '\'', 'M'};
  for (int i = 0; i < 7; ++i) {
    c.text(18 * i + 4, 4, std::string_view(&glyphs[i], 1), 2, kWhite);
    if (i == 0) c.fillRect(18 * i + 3, 13, 12, 2, kWhite), c.fillRect(18 * i + 3, 16, 12, 2, kWhite);
  }
  return c.bmp24();
}

std::vector<uint8_t> cursorPicture() {
  Canvas c(136, 36);
  const int xs[4] = {0, 35, 68, 101};
  for (int f = 0; f < 4; ++f) {
    int dy = (f == 1 || f == 3) ? 2 : (f == 2 ? 4 : 0);
    for (int row = 0; row < 14; ++row) c.fillRect(xs[f] + 1 + row, 4 + dy + row, 28 - 2 * row, 1, Rgb{255, 230, 90});
  }
  return c.bmp24();
}

std::vector<uint8_t> miniChar(int m) {
  int w = m == 12 ? 81 : 80;
  Canvas c(4 * w, 120);
  const int eyes[4] = {0, 1, 2, 1};
  for (int f = 0; f < 4; ++f) {
    drawFigure(c, f * w + w / 2, 36, 96, kLooks[m - 1].colour, eyes[f]);
  }
  return c.bmp24();
}

std::vector<uint8_t> selectMenu() {
  Canvas c(80, 70);
  c.fillRect(0, 0, 80, 48, Rgb{220, 200, 255});
  c.fillRect(4, 4, 72, 40, kMagenta);
  c.fillRect(32, 0, 16, 48, Rgb{220, 200, 255});
  c.fillRect(32, 4, 16, 40, kMagenta);
  const int xs[3] = {0, 29, 53};
  for (int f = 0; f < 3; ++f)
    for (int row = 0; row < 11; ++row) c.fillRect(xs[f] + 2 + f, 48 + row, 2 + 2 * row - f, 1, Rgb{255, 240, 120}),
                                       c.fillRect(xs[f] + 2 + f, 69 - row, 2 + 2 * row - f, 1, Rgb{255, 240, 120});
  return c.bmp24();
}

// ---------------------------------------------------------------------------------------------
// Sounds

Pcm musicPiece(const Track& t, int seed) {
  uint32_t frames = static_cast<uint32_t>(t.rate * t.seconds);
  uint32_t beat = static_cast<uint32_t>(t.rate * 60 / t.bpm);
  std::vector<Note> notes;
  static constexpr int kChords[4][3] = {{0, 4, 7}, {7, 11, 14}, {9, 12, 16}, {5, 9, 12}};
  uint32_t x = 12345u + static_cast<uint32_t>(seed) * 7919u;
  for (uint32_t bar = 0; bar * 4 * beat < frames; ++bar) {
    const int* chord = kChords[bar % 4];
    for (int k = 0; k < 3; ++k)
      notes.push_back({bar * 4 * beat, 4 * beat, noteHz(t.root - 12 + chord[k]), 5000, (k - 1) * 150, 0});
    for (uint32_t b = 0; b < 4; ++b) {
      x = x * 1103515245u + 12345u;
      int pick = chord[(x >> 16) % 3] + 12 * ((x >> 20) % 2);
      notes.push_back({(bar * 4 + b) * beat, beat, noteHz(t.root + pick), 7000, static_cast<int>((x >> 8) % 200) - 100, 1 + (seed % 2)});
    }
  }
  return renderNotes(t.rate, t.channels, frames, notes);
}

Pcm jingle(int k) {
  std::vector<Note> notes;
  int rate = 22050;
  uint32_t step = static_cast<uint32_t>(rate) / 8;
  for (int i = 0; i < 8; ++i)
    notes.push_back({static_cast<uint32_t>(i) * step, step * 3, noteHz(60 + 2 * k + (i * 5) % 12 + 12 * (i / 4)), 9000, (i % 2) ? 120 : -120, 1});
  notes.push_back({8 * step, step * 10, noteHz(72 + 2 * k), 8000, 0, 0});
  return renderNotes(rate, 2, static_cast<uint32_t>(rate) * 5 / 2, notes);
}

Pcm concat(Pcm a, const Pcm& b) {
  a.samples.insert(a.samples.end(), b.samples.begin(), b.samples.end());
  return a;
}

struct Effect {
  const char* name;
  bool adpcm;
  Pcm pcm;
};

std::vector<Effect> soundEffects() {
  std::vector<Effect> e;
  e.push_back({"se_bell.wav", false,
               renderNotes(22050, 1, 26000, {{0, 26000, noteHz(88), 12000, 0, 0}, {0, 20000, noteHz(95), 6000, 0, 0}})});
  Pcm door = renderNoise(22050, 1, 9000, 3, 14000, 6, 100, 6000);
  e.push_back({"se_door.wav", false, door});
  e.push_back({"se_cheer.wav", false, renderNoise(22050, 2, 44100, 5, 9000, 3, 0, 0)});
  e.push_back({"se_wind.wav", false, renderNoise(22050, 1, 44100, 7, 16000, 40, 0, 0)});
  Pcm step = renderNoise(22050, 1, 3000, 9, 15000, 10, 50, 2500);
  Pcm gap{22050, 1, std::vector<int16_t>(4000, 0)};
  e.push_back({"se_step.wav", false, concat(concat(step, gap), step)});
  e.push_back({"se_chime.wav", false,
               renderNotes(44100, 1, 66150, {{0, 30000, noteHz(76), 11000, 0, 0}, {14000, 30000, noteHz(72), 11000, 0, 0},
                                             {28000, 38000, noteHz(79), 11000, 0, 0}})});
  std::vector<Note> pop;
  for (int i = 0; i < 6; ++i) pop.push_back({static_cast<uint32_t>(i) * 1200, 2400, noteHz(72 + 3 * i), 12000, 0, 2});
  e.push_back({"se_pop.wav", true, renderNotes(22050, 1, 11000, pop)});
  Pcm boom = renderNoise(22050, 2, 30000, 11, 20000, 20, 200, 26000);
  e.push_back({"se_firework.wav", false, boom});
  return e;
}

// ---------------------------------------------------------------------------------------------
// Scenarios

struct VoiceLine {
  std::string code;     // digits
  int heroine = 0;      // 1..12
  std::string text;     // UTF-8 kana
  std::string where;    // file:line
};

// "; voice 01001 hina: おはよう" lines give the speech of each voice code.
bool collectVoiceLines(const ScenarioSource& s, std::map<std::string, VoiceLine>& out, std::string& error) {
  int lineNo = 0;
  size_t pos = 0;
  while (pos < s.text.size()) {
    size_t end = s.text.find('\n', pos);
    if (end == std::string::npos) end = s.text.size();
    std::string_view line(s.text.data() + pos, end - pos);
    ++lineNo;
    pos = end + 1;
    size_t at = line.find("; voice ");
    if (at == std::string_view::npos) continue;
    std::string_view rest = line.substr(at + 8);
    size_t sp = rest.find(' '), colon = rest.find(':');
    if (sp == std::string_view::npos || colon == std::string_view::npos || colon < sp) {
      error = s.fileName + ":" + std::to_string(lineNo) + ": voice line needs \"; voice DIGITS name: text\"";
      return false;
    }
    VoiceLine v;
    v.code = std::string(rest.substr(0, sp));
    std::string_view who = rest.substr(sp + 1, colon - sp - 1);
    for (int h = 1; h <= kHeroineCount; ++h)
      if (heroines()[h - 1].voicePrefix == who) v.heroine = h;
    if (v.heroine == 0 || v.code.empty() || !std::all_of(v.code.begin(), v.code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      error = s.fileName + ":" + std::to_string(lineNo) + ": unknown speaker or bad voice number in voice line";
      return false;
    }
    v.text = std::string(rest.substr(colon + 1));
    v.where = s.fileName + ":" + std::to_string(lineNo);
    out[v.code] = v;
  }
  return true;
}

// Voice codes ("@v" and digits) used by the strings of a script.
void collectVoiceCodes(std::span<const uint8_t> script, std::set<std::string>& codes) {
  script::ScriptImage img = script::parseScript(script);
  for (const auto& ins : img.code) {
    std::string_view t(reinterpret_cast<const char*>(ins.data.data()), ins.data.size());
    for (size_t i = 0; i + 2 < t.size(); ++i) {
      if (isLeadByte(static_cast<uint8_t>(t[i]))) {
        ++i;
        continue;
      }
      if (t[i] != '@' || (t[i + 1] != 'v' && t[i + 1] != 'V')) continue;
      size_t j = i + 2;
      if (j < t.size() && t[j] == 'v') ++j;
      std::string digits;
      while (j < t.size() && t[j] >= '0' && t[j] <= '9') digits.push_back(t[j++]);
      if (!digits.empty()) codes.insert(digits);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Work spread over two threads; results land by index, so the output does not depend on timing.

template <class F>
void parallelFor(size_t count, F&& body) {
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i; (i = next.fetch_add(1)) < count;) body(i);
  };
  unsigned n = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < n; ++t) threads.emplace_back(worker);
  worker();
  for (auto& t : threads) t.join();
}

void putName(std::vector<uint8_t>& record, size_t offset, std::string_view name) {
  std::copy(name.begin(), name.end(), record.begin() + static_cast<long>(offset));
}

// The extra sets of a scaled game (set k = 2..scale): backgrounds, event pictures, stands and
// faces drawn afresh under names of their own, the music composed again from other seeds, and
// every voice once more (speaking them again would only repeat the same bytes slowly).
void addScaledSet(int k, PacFile& bg, PacFile& visual, PacFile& stand, PacFile& face, PacFile& bgm,
                  PacFile& voice, const std::vector<PacMember>& voices) {
  const std::string set = "x" + twoDigits(k) + "_";
  for (int i = 0; i < 9; ++i) {
    const Rgb& a = kLooks[(i + k) % kHeroineCount].colour;
    const Rgb& b = kLooks[(i + 2 * k) % kHeroineCount].colour;
    const std::string name = "BG_" + set + twoDigits(i) + ".bmp";
    Canvas c = backgroundCanvas(name, a, lift(b), b, (i + k) % 8);
    bg.members.push_back({name, i % 2 ? c.bmp16() : c.bmp24()});
  }
  for (int h = 1; h <= kHeroineCount; ++h) {
    const std::string name = "VISUAL_" + set + twoDigits(h) + ".bmp";
    Canvas c = eventCanvas(h, name, (h + k) % 2);
    visual.members.push_back({name, h % 3 ? c.bmp24() : c.bmp16()});
    const std::string standName = "ST" + twoDigits(h) + "_" + set + "A.bmp";
    stand.members.push_back({standName, spriteBase(h, standName)});
    const std::string faceName = "FC" + twoDigits(h) + "_" + set + "A.bmp";
    face.members.push_back({faceName, facePicture(h, k % 2, faceName)});
  }
  for (size_t i = 0; i < 14; ++i)
    bgm.members.push_back({set + cp932(kTracks[i].file),
                           wavePcm16(musicPiece(kTracks[i], static_cast<int>(i) + 14 * (k - 1)))});
  for (const PacMember& v : voices) voice.members.push_back({set + v.name, v.bytes});
}

}  // namespace

std::vector<ScenarioSource> scenarioSources() {
  // File name below tools/mkgame/scenarios, then the member it becomes.
  struct Map {
    const char* file;
    std::string member;
    const char* archive;
  };
  std::vector<Map> maps = {{"01-01_intro.txt", std::string(scenarios()[0].member), "Script.pac"},
                           {"02-01_festival.txt", std::string(scenarios()[1].member), "Script.pac"},
                           {"02-02_sports.txt", std::string(scenarios()[2].member), "Script.pac"},
                           {"02-03_trip.txt", std::string(scenarios()[3].member), "Script.pac"}};
  for (int h = 1; h <= kHeroineCount; ++h)
    maps.push_back({nullptr, std::string(scenarios()[3 + h].member), "Script.pac"});
  maps.push_back({"03-13_badend_old.txt", std::string(scenarios()[16].member), "Script.pac"});
  maps.push_back({"replay01.txt", "Replay01.bin", "Script.pac"});
  maps.push_back({"replay13.txt", "Replay13.bin", "Script.pac"});
  // The newer bad end; its name differs from the Script.pac member only in letter case, which
  // the converter's name comparison ignores.
  maps.push_back({"03-13_badend.txt", "03-13(BadEnd).bin", "Update.pac"});

  std::vector<ScenarioSource> out;
  for (size_t i = 0; i < maps.size(); ++i) {
    std::string file = maps[i].file ? maps[i].file : "03-" + twoDigits(static_cast<int>(i) - 3) + "_" +
                                                         std::string(heroines()[i - 4].voicePrefix) + ".txt";
    ScenarioSource s{file, maps[i].member, maps[i].archive, {}};
    for (const EmbeddedFile& f : embeddedScenarios())
      if (file == f.name) s.text.assign(f.text, f.size);
    out.push_back(std::move(s));
  }
  return out;
}

std::optional<GameImage> buildGame(const std::function<void(std::string_view)>& progress, std::string& error,
                                   int scale) {
  GameImage game;
  const auto& hs = heroines();
  auto heroineName = [&](int h) { return std::string(hs[h - 1].capitals); };

  // Voices need espeak-ng; find out before doing anything else.
  if (!speak("a", "en", 50, 175, error)) return std::nullopt;

  // --- scenarios
  progress("assembling scenarios");
  PacFile scriptPac{"Script.pac", pac::kMethodStored, {}};
  PacFile updatePac{"Update.pac", pac::kMethodHuffman, {}};
  std::map<std::string, VoiceLine> voiceLines;
  std::set<std::string> voiceCodes;
  for (const ScenarioSource& s : scenarioSources()) {
    if (s.text.empty()) {
      error = "scenario " + s.fileName + " is missing from the program";
      return std::nullopt;
    }
    script::AsmResult r = script::assemble(s.text);
    if (!r.ok()) {
      error = s.fileName + ":" + std::to_string(r.errors[0].line) + ": " + r.errors[0].message;
      return std::nullopt;
    }
    if (!collectVoiceLines(s, voiceLines, error)) return std::nullopt;
    collectVoiceCodes(r.bytes, voiceCodes);
    (s.archive == "Update.pac" ? updatePac : scriptPac).members.push_back({s.member, std::move(r.bytes)});
  }
  for (const std::string& code : voiceCodes)
    if (!voiceLines.count(code)) {
      error = "voice @v" + code + " is used by a scenario but no \"; voice " + code + "\" line says what is spoken";
      return std::nullopt;
    }

  // --- tables
  progress("writing tables");
  PacFile tablePac{"Table.pac", pac::kMethodHuffman, {}};
  {
    struct Scene {
      std::string name, alt;
      int x, y;
    };
    auto plain = [](std::string n) { return Scene{std::move(n), {}, 0, 0}; };
    std::vector<Scene> scenes = {plain("BG_Gate.bmp"),     plain("BG_Classroom.bmp"),
                                 {"BG_Classroom.bmp", "BG_Classroom_Eve.bmp", 380, 60},
                                 plain("BG_Festival.bmp"), plain("BG_Field.bmp"),     plain("BG_Kyoto.bmp"),
                                 plain("BG_Rooftop.bmp"),  plain("BG_NightSky.bmp"),  plain("BG_Room.bmp"),
                                 plain("EndCard.bmp")};
    for (int h = 1; h <= kHeroineCount; ++h) {
      std::string base = "VISUAL_" + heroineName(h);
      scenes.push_back(plain(base + "001.bmp"));
      scenes.push_back({base + "001.bmp", base + "001a.bmp", 200, 150});
      scenes.push_back(plain(base + "002.bmp"));
    }
    std::vector<uint8_t> visualInfo;
    for (size_t i = 0; i < scenes.size(); ++i) {
      std::vector<uint8_t> rec(196, 0);
      storeU32(rec.data(), static_cast<uint32_t>(i));
      putName(rec, 4, scenes[i].name);
      putName(rec, 36, scenes[i].alt);
      storeU32(rec.data() + 68, static_cast<uint32_t>(scenes[i].x));
      storeU32(rec.data() + 72, static_cast<uint32_t>(scenes[i].y));
      visualInfo.insert(visualInfo.end(), rec.begin(), rec.end());
    }
    std::vector<uint8_t> bgmInfo;
    for (const Track& t : kTracks) {
      std::vector<uint8_t> rec(36, 0);
      putName(rec, 0, cp932(t.file));
      storeU32(rec.data() + 32, static_cast<uint32_t>(t.seconds));
      bgmInfo.insert(bgmInfo.end(), rec.begin(), rec.end());
    }
    // Sprite table: per heroine a plain record and a smiling one whose alternate sprite is the
    // overlay, composited by the converter over the base the descriptor names.
    std::vector<uint8_t> standInfo;
    for (int h = 1; h <= kHeroineCount; ++h) {
      for (int e = 0; e < 2; ++e) {
        std::vector<uint8_t> rec(224, 0);
        putName(rec, 0, "FC" + twoDigits(h) + (e ? "_B.bmp" : "_A.bmp"));
        putName(rec, 32, "ST" + twoDigits(h) + "_A.std");
        if (e) {
          putName(rec, 64, "ST" + twoDigits(h) + "_B.bmp");
          storeU32(rec.data() + 96, 80 + 320 - 140);   // overlay at (80, 70) of the 280 x 440 base
          storeU32(rec.data() + 100, 70 + 480 - 440);  // whose descriptor says X 140, N 440
        }
        standInfo.insert(standInfo.end(), rec.begin(), rec.end());
      }
    }
    std::vector<uint8_t> cgInfo(13 * 1280, 0xFF);
    auto cgEntry = [&](int page, int entry, std::initializer_list<int> indices) {
      int k = 0;
      for (int v : indices) storeU32(cgInfo.data() + 1280 * page + 80 * entry + 4 * k++, static_cast<uint32_t>(v));
    };
    for (int h = 1; h <= kHeroineCount; ++h) {
      cgEntry(h - 1, 0, {eventIndex(h, 0), eventIndex(h, 1)});
      cgEntry(h - 1, 1, {eventIndex(h, 2)});
    }
    cgEntry(12, 0, {9});
    std::vector<uint8_t> sceneInfo(2 * 960, 0xFF);
    auto sceneEntry = [&](int page, int entry, std::initializer_list<int> indices) {
      int k = 0;
      for (int v : indices) storeU32(sceneInfo.data() + 960 * page + 80 * entry + 4 * k++, static_cast<uint32_t>(v));
    };
    sceneEntry(0, 0, {eventIndex(1, 0), eventIndex(1, 1), eventIndex(1, 2)});  // Replay01.bin
    sceneEntry(1, 0, {7, 9});                                                  // Replay13.bin
    tablePac.members = {{"VisualInfo.DAT", visualInfo}, {"BgmInfo.DAT", bgmInfo}, {"StandInfo.DAT", standInfo},
                        {"CGInfo.DAT", cgInfo},         {"SceneInfo.DAT", sceneInfo}};
  }

  // --- pictures
  progress("drawing pictures");
  PacFile bgPac{"BG.pac", pac::kMethodLzss, {}};
  bgPac.members.push_back({"BG_Gate.bmp", backgroundCanvas("BG_Gate.bmp", {150, 200, 250}, {230, 240, 250}, {200, 80, 70}, 0).bmp24()});
  bgPac.members.push_back({"BG_Classroom.bmp", backgroundCanvas("BG_Classroom.bmp", {240, 230, 200}, {220, 200, 170}, {150, 110, 80}, 1).bmp16()});
  {
    // The evening window, pasted by the converter over BG_Classroom at (380, 60).
    Canvas eve(200, 160);
    eve.gradient(6, 6, 188, 148, {250, 150, 90}, {140, 80, 130});
    eve.fillEllipse(100, 110, 30, 30, {255, 210, 120});
    bgPac.members.push_back({"BG_Classroom_Eve.bmp", eve.bmp24()});
  }
  bgPac.members.push_back({"BG_Festival.bmp", backgroundCanvas("BG_Festival.bmp", {60, 40, 110}, {150, 70, 120}, {240, 190, 90}, 2).bmp24()});
  bgPac.members.push_back({"BG_Field.bmp", backgroundCanvas("BG_Field.bmp", {140, 200, 250}, {200, 230, 250}, {250, 250, 250}, 3).bmp16(Canvas::Masks::BitFields)});
  bgPac.members.push_back({"BG_Kyoto.bmp", backgroundCanvas("BG_Kyoto.bmp", {250, 200, 160}, {250, 230, 210}, {120, 90, 70}, 4).bmp24(Canvas::Rows::TopDown)});
  bgPac.members.push_back({"BG_Rooftop.bmp", backgroundCanvas("BG_Rooftop.bmp", {110, 170, 240}, {200, 220, 240}, {90, 140, 100}, 5).bmp16()});
  bgPac.members.push_back({"BG_NightSky.bmp", backgroundCanvas("BG_NightSky.bmp", {12, 16, 52}, {44, 44, 96}, {80, 80, 140}, 6).bmp24()});
  bgPac.members.push_back({"BG_Room.bmp", backgroundCanvas("BG_Room.bmp", {240, 225, 210}, {210, 190, 170}, {140, 120, 200}, 7).bmp16()});

  PacFile visualPac{"Visual.pac", pac::kMethodLzss, {}};
  std::vector<std::string> opaqueList;
  for (int h = 1; h <= kHeroineCount; ++h) {
    std::string base = "VISUAL_" + heroineName(h);
    Canvas first = eventCanvas(h, base + "001.bmp", 0);
    if (h % 2 == 0) {
      // Opaque-listed: a night sky of pure black that must stay black.
      first.fillRect(0, 0, 640, 90, kBlack);
      for (int i = 0; i < 30; ++i) first.fillRect((i * 151) % 640, 4 + (i * 37) % 80, 3, 3, kWhite);
      opaqueList.push_back(base + "001.bmp");
    } else {
      // Black-keyed: a black frame that the converter makes transparent.
      first.frameRect(0, 0, 640, 480, 24, kBlack);
    }
    visualPac.members.push_back({base + "001.bmp", first.bmp24()});
    visualPac.members.push_back({base + "001a.bmp", eventPatch(base + "001a", kLooks[h - 1].colour)});
    Canvas ending = eventCanvas(h, base + "002.bmp", 1);
    visualPac.members.push_back({base + "002.bmp", h <= 6 ? ending.bmp16() : ending.bmp24()});
  }
  for (int e = 1; e <= 16; ++e) {
    Rgb col = e <= 12 ? kLooks[e - 1].colour : Rgb{static_cast<uint8_t>(120 + 30 * (e - 12)), 200, 230};
    Canvas c(640, 480, lift(col));
    for (int i = 0; i < 48; ++i)
      c.fillRect(80 * (i % 8) + 4, 80 * (i / 8) + 4, 72, 72, (i + e) % 3 ? col : lift(lift(col)));
    if (e <= 12) {
      drawFigure(c, 320, 140, 300, col, 3);
    } else {
      // Everyone together: three small figures in the colours of three heroines.
      for (int k = 0; k < 3; ++k) drawFigure(c, 180 + 140 * k, 170, 170, kLooks[size_t((e - 13) * 3 + k) % 12].colour, 3);
    }
    visualPac.members.push_back({"EyeCatch" + twoDigits(e) + ".bmp", c.bmp16()});
  }

  PacFile standPac{"Stand.pac", pac::kMethodLzss, {}};
  for (int h = 1; h <= kHeroineCount; ++h) {
    std::string id = "ST" + twoDigits(h);
    // Stand descriptor: the base picture's name at offset 8, height N at 60, centre X at 64.
    std::vector<uint8_t> desc(68, 0);
    std::copy_n("STAND01", 7, desc.begin());
    putName(desc, 8, id + "_A.bmp");
    storeU32(desc.data() + 60, 440);
    storeU32(desc.data() + 64, 140);
    standPac.members.push_back({id + "_A.std", desc});
    standPac.members.push_back({id + "_A.bmp", spriteBase(h, id + "_A.bmp " + heroineName(h))});
    standPac.members.push_back({id + "_B.bmp", spriteOverlay(id + "_B")});
  }

  PacFile facePac{"Face.pac", pac::kMethodHuffman, {}};
  for (int h = 1; h <= kHeroineCount; ++h)
    for (int e = 0; e < 2; ++e) {
      std::string name = "FC" + twoDigits(h) + (e ? "_B.bmp" : "_A.bmp");
      facePac.members.push_back({name, facePicture(h, e, name)});
    }

  PacFile thumbPac{"Thumbnail.pac", pac::kMethodLzss, {}};
  {
    Canvas cursor(132, 100);
    cursor.frameRect(0, 0, 132, 100, 4, {255, 230, 90});
    thumbPac.members.push_back({"thum_cursor.bmp", cursor.bmp24()});
    Canvas none(128, 96, {120, 120, 130});
    none.checker(0, 0, 128, 96, 8, {140, 140, 150});
    none.fillEllipse(64, 48, 18, 18, {100, 100, 110});
    none.fillRect(60, 60, 8, 4, {100, 100, 110});
    thumbPac.members.push_back({"thum_nodata.bmp", none.bmp24()});
    // One thumbnail per picture-table index: the picture itself at a fifth of its size.
    for (int i = 0; i <= eventIndex(kHeroineCount, 2); ++i) {
      Canvas t = thumbnailOf(sceneCanvasFor(i));
      thumbPac.members.push_back({"Thum_" + format("%z3", {i}) + ".bmp", t.bmp16()});
    }
  }

  PacFile systemPac{"System.pac", pac::kMethodLzss, {}};
  {
    auto& m = systemPac.members;
    m.push_back({"MessageWindow.bmp", windowPicture(162, {200, 200, 240}, "MessageWindow.bmp")});
    m.push_back({"MessageWindow2.bmp", windowPicture(111, {240, 200, 160}, "MessageWindow2.bmp")});
    m.push_back({"MessageWindow3.bmp", windowPicture(111, {170, 230, 190}, "MessageWindow3.bmp")});
    {
      Canvas b(192, 32, {90, 90, 140});
      for (int i = 0; i < 3; ++i) b.frameRect(64 * i, 0, 64, 32, 2, {200, 200, 240});
      m.push_back({"MessageWindowButton.bmp", b.bmp24()});
    }
    m.push_back({"Cursor.bmp", cursorPicture()});
    m.push_back({"Mark.bmp", markStrip()});
    for (int k = 1; k <= kHeroineCount; ++k) m.push_back({"MiniChar" + twoDigits(k) + ".bmp", miniChar(k)});
    m.push_back({"SelectMenu.bmp", selectMenu()});
    {
      Canvas bg(640, 911);
      bg.gradient(0, 0, 640, 911, {20, 24, 70}, {250, 190, 170});
      for (int i = 0; i < 120; ++i) bg.fillRect((i * 331) % 640, (i * 173) % 600, 2 + i % 2, 2 + i % 2, {255, 250, 220});
      // The hill of wishing stars under the evening sky, a town's lights below.
      bg.fillEllipse(320, 1010, 520, 260, {60, 50, 90});
      bg.fillEllipse(120, 930, 260, 120, {80, 60, 100});
      for (int i = 0; i < 40; ++i) bg.fillRect(20 + (i * 157) % 600, 820 + (i * 41) % 70, 4, 3, {255, 220, 140});
      bg.fillEllipse(500, 680, 36, 36, {255, 245, 210});
      m.push_back({"Title_BG.bmp", bg.bmp16()});
    }
    {
      Canvas logo(440, 192);
      logo.text(4, 40, "LUMENWISH", 8, {255, 236, 150});
      for (int i = 0; i < 5; ++i) logo.fillEllipse(120 + 50 * i, 150 + (i % 2) * 10, 5, 5, {200, 220, 255});
      m.push_back({"Title.bmp", logo.bmp24()});
    }
    {
      const char* items[9] = {"NEW GAME", "LOAD", "VOICE", "EXTRAS", "QUIT", "GALLERY", "REPLAY", "SOUND", "BACK"};
      Canvas menu(216, 360);
      for (int i = 0; i < 9; ++i) {
        Rgb plate = i < 5 ? Rgb{90, 110, 200} : Rgb{170, 90, 160};
        menu.fillRect(0, 40 * i, 216, 40, plate);
        menu.frameRect(0, 40 * i, 216, 40, 2, lift(plate));
        menu.text((216 - Canvas::textWidth(items[i], 3)) / 2, 40 * i + 6, items[i], 3, kWhite);
      }
      m.push_back({"TitleMenu.bmp", menu.bmp24()});
    }
    {
      Canvas star(216, 84);
      const int src[9][2] = {{5, 1}, {48, 2}, {89, 4}, {130, 4}, {174, 6}, {4, 48}, {45, 45}, {87, 45}, {131, 46}};
      for (int f = 0; f < 9; ++f) {
        int cx = src[f][0] + 18, cy = src[f][1] + 18, r = 6 + (f % 5) * 3;
        for (int d = 0; d <= r; ++d) {
          star.fillRect(cx - d, cy - (r - d) / 3, 2 * d + 1, 2 * ((r - d) / 3) + 1, {255, 250, 200});
          star.fillRect(cx - (r - d) / 3, cy - d, 2 * ((r - d) / 3) + 1, 2 * d + 1, {255, 250, 200});
        }
      }
      m.push_back({"Star.bmp", star.bmp24()});
    }
    {
      Canvas spot(160, 160);
      for (int r = 80; r > 0; --r) {
        uint8_t v = static_cast<uint8_t>(255 - r * 3);
        spot.fillEllipse(80, 80, r, r, {v, v, static_cast<uint8_t>(std::min(255, v + 20))});
      }
      m.push_back({"SpotLight.bmp", spot.bmp24()});
    }
    {
      Canvas maker(144, 32, {40, 60, 120});
      maker.text(10, 9, "ORBA 2003", 2, kWhite);
      m.push_back({"ORBA2003.bmp", maker.bmp24()});
    }
    {
      Canvas bar(76, 40);
      for (int i = 0; i < 3; ++i) bar.fillRect(28 * i, 0, 24, 40, {150, 60, 60});
      for (int row = 0; row < 10; ++row) {
        bar.fillRect(12 - row, 10 + row, 2 * row + 1, 1, {255, 220, 220});
        bar.fillRect(40 - row, 29 - row, 2 * row + 1, 1, {255, 220, 220});
      }
      m.push_back({"ScrollBar.bmp", bar.bmp24()});
    }
    {
      Canvas log(616, 48);
      log.fillRect(0, 0, 616, 16, {120, 140, 220});
      log.fillRect(0, 32, 616, 16, {120, 140, 220});
      log.fillRect(0, 16, 8, 14, {120, 140, 220});
      log.fillRect(608, 16, 8, 14, {120, 140, 220});
      for (int f = 0; f < 2; ++f) {
        log.fillRect(32 + 20 * f + 2, 20, 6, 8, {255, 240, 120});
        for (int k = 0; k <= f + 1; ++k) log.fillRect(32 + 20 * f + 10 + 3 * k, 18 + k, 2, 12 - 2 * k, {255, 240, 120});
      }
      m.push_back({"BackLog.bmp", log.bmp24()});
    }
    {
      Canvas cg(640, 480);
      cg.gradient(0, 0, 640, 480, {60, 70, 130}, {140, 120, 180});
      cg.checker(0, 0, 640, 480, 40, {70, 80, 145});
      m.push_back({"CGModeBG.bmp", cg.bmp16()});
    }
    {
      Canvas btn(512, 64);
      for (int p = 0; p < 13; ++p)
        for (int row = 0; row < 2; ++row) {
          Rgb plate = row ? Rgb{80, 90, 140} : Rgb{250, 200, 90};
          btn.fillRect(32 * p + 1, 32 * row + 1, 30, 30, plate);
          btn.text(32 * p + 4, 32 * row + 12, std::to_string(p + 1), 1, row ? kWhite : kInk);
        }
      btn.fillRect(417, 1, 30, 30, {200, 90, 90});
      btn.text(420, 12, "BACK", 1, kWhite);
      for (int p = 0; p < 2; ++p)
        for (int row = 0; row < 2; ++row) {
          btn.fillRect(448 + 32 * p + 1, 32 * row + 1, 30, 30, row ? Rgb{80, 140, 90} : Rgb{150, 240, 160});
          btn.text(448 + 32 * p + 6, 32 * row + 12, "R" + std::to_string(p + 1), 1, kInk);
        }
      m.push_back({"CGModeButton.bmp", btn.bmp24()});
    }
    {
      Canvas sbg(640, 480);
      sbg.gradient(0, 0, 640, 480, {30, 90, 110}, {120, 190, 170});
      sbg.stripes(0, 0, 640, 480, 48, {40, 110, 125});
      m.push_back({"SoundModeBG.bmp", sbg.bmp16()});
    }
    {
      Canvas sb(640, 504);
      for (int i = 0; i < 14; ++i) {
        int x = (i % 2) * 242, y = (i / 2) * 34;
        sb.fillRect(x + 1, y + 1, 240, 32, {70, 120, 170});
        sb.text(x + 8, y + 10, twoDigits(i + 1) + " " + kTracks[i].title, 2, kWhite);
      }
      for (int n = 1; n <= 14; ++n) {
        int sx = 128 + 256 * ((n - 1) % 2), sy = 280 + 32 * ((n - 1) / 2);
        sb.fillRect(sx, sy, 240, 32, {30, 50, 90});
        sb.text(sx + 6, sy + 9, "Track " + twoDigits(n) + ": " + kTracks[n - 1].title, 2, {255, 240, 160});
      }
      const char* labels[3] = {"PLAY", "STOP", "BACK"};
      for (int k = 0; k < 3; ++k) {
        sb.fillRect(0, 288 + 64 * k, 102, 50, {250, 230, 120});
        sb.text(18, 288 + 64 * k + 18, labels[k], 3, kInk);
      }
      m.push_back({"SoundModeButton.bmp", sb.bmp24()});
    }
    {
      Canvas tile(100, 100, {250, 220, 230});
      tile.stripes(0, 0, 100, 100, 20, {240, 180, 200});
      m.push_back({"EyeCatchBg.bmp", tile.bmp16()});
    }
    {
      Canvas logo(200, 93, {60, 50, 120});
      logo.frameRect(0, 0, 200, 93, 3, {255, 236, 150});
      logo.text(20, 28, "LUMENWISH", 3, {255, 236, 150});
      for (int i = 0; i < 3; ++i) logo.fillEllipse(80 + 20 * i, 74, 4, 4, kWhite);
      m.push_back({"EyeCatchLogo.bmp", logo.bmp24()});
    }
    {
      static const char* kCredits[12] = {"LUMENWISH",          "a sample game",      "Story   ORBA",
                                         "Pictures  sorel-mkgame", "Music  sorel-mkgame", "Voices  espeak-ng",
                                         "Hina Aoi Shiori Mio", "Chihiro Kotone Akari", "Tsumugi Rin Shizuku",
                                         "Yui Koharu",          "Special thanks  you", "Thank you for playing"};
      Canvas sheet(512, 448);
      std::vector<uint8_t> ani(48, 0);
      std::copy_n("STAFFROLL.ANI", 13, ani.begin());
      storeU32(ani.data() + 16, 12);
      storeU32(ani.data() + 20, 28);
      for (int k = 0; k < 12; ++k) {
        int y = 8 + 36 * k;
        // Each piece on a pale ribbon of its own: the converter keys out black, and letters
        // standing alone against it would lose their alpha to the edge rule.
        sheet.gradient(16, y, 480, 32, Rgb{250, 246, 255}, Rgb{232, 226, 246});
        sheet.text((512 - Canvas::textWidth(kCredits[k], 2)) / 2, y + 8, kCredits[k], 2, k == 0 ? Rgb{190, 110, 40} : Rgb{70, 60, 140});
        // Piece k: source (16, y), 480 x 32, anchored at its centre.
        for (uint32_t v : {16u, static_cast<uint32_t>(y), 480u - 2, 32u - 2, 240u, 16u, 0u}) {
          uint8_t b[4];
          storeU32(b, v);
          ani.insert(ani.end(), b, b + 4);
        }
      }
      m.push_back({"StaffRoll.bmp", sheet.bmp24()});
      m.push_back({"STAFFROLL.ANI", ani});
    }
    {
      Canvas end = endCard();
      m.push_back({"EndCard.bmp", end.bmp16()});
    }
  }

  // --- sounds
  progress("composing music and effects");
  PacFile bgmPac{"BGM.pac", pac::kMethodHuffman, {}};
  for (size_t i = 0; i < 14; ++i)
    bgmPac.members.push_back({cp932(kTracks[i].file), wavePcm16(musicPiece(kTracks[i], static_cast<int>(i)))});
  for (int k = 1; k <= 4; ++k) bgmPac.members.push_back({"EyeCatch" + std::to_string(k) + ".wav", wavePcm16(jingle(k))});
  PacFile sePac{"SE.pac", pac::kMethodHuffman, {}};
  for (Effect& e : soundEffects()) sePac.members.push_back({e.name, e.adpcm ? waveImaAdpcm(e.pcm) : wavePcm16(e.pcm)});

  struct SpeechJob {
    std::string member, text;
    int heroine;
    bool adpcm;
    std::vector<uint8_t> wave;
    std::string error;
  };
  std::vector<SpeechJob> systemJobs, voiceJobs;
  for (int h = 1; h <= kHeroineCount; ++h)
    for (const CompanionLine& line : kCompanionLines) {
      std::string text = line.text;
      if (size_t p = text.find("%s"); p != std::string::npos) text.replace(p, 2, kLooks[h - 1].reading);
      systemJobs.push_back({std::string(hs[h - 1].voicePrefix) + twoDigits(line.number) + ".wav", text, h, false, {}, {}});
    }
  systemJobs.push_back({"Multi01.wav", "みんなで いくよ", 1, false, {}, {}});
  systemJobs.push_back({"Multi02.wav", "せーの", 5, false, {}, {}});
  systemJobs.push_back({"Multi03.wav", "おつかれさま", 9, false, {}, {}});
  systemJobs.push_back({"sysmix02.wav", "ルーメン ウィッシュ", 12, true, {}, {}});
  for (const auto& [code, line] : voiceLines)
    voiceJobs.push_back({code + ".wav", line.text, line.heroine, false, {}, {}});

  progress("speaking " + std::to_string(systemJobs.size() + voiceJobs.size()) + " voices with espeak-ng");
  std::vector<SpeechJob*> jobs;
  for (auto& j : systemJobs) jobs.push_back(&j);
  for (auto& j : voiceJobs) jobs.push_back(&j);
  parallelFor(jobs.size(), [&](size_t i) {
    SpeechJob& j = *jobs[i];
    const HeroineLook& look = kLooks[j.heroine - 1];
    auto pcm = speak(j.text, "ja", look.pitch, look.speed, j.error);
    if (pcm) j.wave = j.adpcm ? waveImaAdpcm(*pcm) : wavePcm16(*pcm);
  });
  for (SpeechJob* j : jobs)
    if (!j->error.empty()) {
      error = j->error;
      return std::nullopt;
    }
  PacFile sysVoicePac{"SystemVoice.pac", pac::kMethodHuffman, {}};
  for (auto& j : systemJobs) sysVoicePac.members.push_back({j.member, std::move(j.wave)});
  PacFile voicePac{"Voice.pac", pac::kMethodLzss, {}};
  for (auto& j : voiceJobs) voicePac.members.push_back({j.member, std::move(j.wave)});

  if (scale > 1) {
    progress("adding " + std::to_string(scale - 1) + " further sets of pictures, music and voices");
    const std::vector<PacMember> spoken = voicePac.members;
    for (int k = 2; k <= scale; ++k) addScaledSet(k, bgPac, visualPac, standPac, facePac, bgmPac, voicePac, spoken);
  }

  // The converter's step order, then the update archive.
  game.archives.push_back(std::move(scriptPac));
  game.archives.push_back(std::move(tablePac));
  game.archives.push_back(std::move(bgPac));
  game.archives.push_back(std::move(standPac));
  game.archives.push_back(std::move(visualPac));
  game.archives.push_back(std::move(facePac));
  game.archives.push_back(std::move(thumbPac));
  game.archives.push_back(std::move(systemPac));
  game.archives.push_back(std::move(bgmPac));
  game.archives.push_back(std::move(sePac));
  game.archives.push_back(std::move(sysVoicePac));
  game.archives.push_back(std::move(voicePac));
  game.archives.push_back(std::move(updatePac));

  progress("making the opening movie");
  game.files = openingMovie(error);
  if (game.files.empty()) return std::nullopt;

  std::string exe = "MZ\r\nLumenwish sample game (made by sorel-mkgame). This file only marks the installation folder.\r\n";
  game.executable.assign(exe.begin(), exe.end());
  game.opaqueVisuals = std::move(opaqueList);
  return game;
}

}  // namespace sorel::mkgame
