// The per-archive picture rules on small synthetic archives.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <tuple>

#include "converter/pac_archive.h"
#include "converter/picture_rules.h"
#include "engine/graphics/picture_loader.h"
#include "test_game.h"

namespace sorel {
namespace {

using namespace testgame;
using Members = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

struct Converted {
  ConvertedMember member;
  Picture picture;
  int x = 0, y = 0;
  uint32_t kind = 0;
};

class PictureRules : public ::testing::Test {
 protected:
  // Writes the archive, converts member `name` and decodes the result.
  Converted convert(PictureArchive kind, const Members& members, const std::string& name, int factor = 100,
                    int quality = 0) {
    const std::string host = std::string(SOREL_TEST_TMP) + "/picture_rules.pac";
    EXPECT_TRUE(platform::writeWholeFile(systemPath(host), pac(members)));
    PacArchive archive;
    EXPECT_TRUE(archive.open(systemPath(host)));
    PictureConverter converter(kind, archive, m_tables, m_opaque, factor, quality);
    Converted c;
    auto i = archive.find(name);
    EXPECT_TRUE(i.has_value());
    c.member = converter.convert(*i);
    if (c.member.bytes.size() > 36 && c.member.picture) {
      c.kind = c.member.bytes[4];
      EXPECT_TRUE(decodeRbp(c.member.bytes, c.picture, &c.x, &c.y));
    }
    return c;
  }
  static std::vector<int> at(const Picture& p, uint32_t x, uint32_t y) {
    return std::vector<int>(p.pixel(x, y), p.pixel(x, y) + 4);
  }

  PictureTables m_tables;
  std::vector<std::string> m_opaque;
};

// A dark scene: near-black pixels that a key would punch out.
std::vector<uint8_t> nightScene(int w, int h) {
  return bitmap(w, h, 24, [](int x, int y) { return std::tuple{(x + y) % 5, 3, 40 + x}; });
}

TEST_F(PictureRules, BackgroundsStayOpaqueAndDifferentialsArePasted) {
  auto diff = bitmap(4, 4, 24, [](int x, int) { return x < 2 ? std::tuple{0, 0, 255} : std::tuple{0, 0, 0}; });
  m_tables.visual = PictureTables::parseVisualInfo(
      concat({visualRecord("other.bmp", "x.bmp", 0, 0), visualRecord("bg01.bmp", "bg01b.bmp", 5, 6)}));
  Members m = {{"bg01.bmp", nightScene(40, 40)}, {"bg01b.bmp", diff}};

  Converted base = convert(PictureArchive::Bg, m, "bg01.bmp");
  EXPECT_EQ(base.member.name, "bg01.rbp");
  EXPECT_EQ(base.kind, 13u);  // no key: night stays night
  EXPECT_EQ(at(base.picture, 0, 0), (std::vector<int>{0, 0, 40, 255}));

  Converted composite = convert(PictureArchive::Bg, m, "bg01b.bmp");
  EXPECT_EQ(composite.member.name, "bg01b.rbp");
  EXPECT_EQ(composite.kind, 13u);
  EXPECT_EQ(composite.picture.width, 40u);
  EXPECT_EQ(at(composite.picture, 5, 6), (std::vector<int>{0, 0, 0xF8, 255}));   // pasted red
  EXPECT_EQ(at(composite.picture, 7, 6), (std::vector<int>{0, 0, (40 + 7) & 0xF8, 255}));  // black not pasted
  EXPECT_EQ(at(composite.picture, 4, 6)[2], (40 + 4) & 0xF8);

  // Half size: the composite is shrunk, 2 × 2 means.
  Converted half = convert(PictureArchive::Bg, m, "bg01b.bmp", 50);
  EXPECT_EQ(half.picture.width, 20u);
  EXPECT_EQ(half.picture.designWidth, 40);

  // A differential whose base is missing is written empty and reported.
  m_tables.visual = PictureTables::parseVisualInfo(visualRecord("gone.bmp", "bg01b.bmp", 0, 0));
  Converted lost = convert(PictureArchive::Bg, m, "bg01b.bmp");
  EXPECT_TRUE(lost.member.bytes.empty());
  EXPECT_FALSE(lost.member.problem.empty());
  EXPECT_EQ(lost.member.name, "bg01b.rbp");
}

TEST_F(PictureRules, VisualDifferentialsBlendAndBlackIsKeyedUnlessListed) {
  auto base = solid(20, 20, 10, 20, 30);
  auto diff = bitmap(3, 1, 24, [](int x, int) { return x == 1 ? std::tuple{0, 0, 0} : std::tuple{200, 0, 0}; });
  m_tables.visual = PictureTables::parseVisualInfo(visualRecord("ev01.bmp", "ev01a.bmp", 2, 3));
  Members m = {{"ev01.bmp", base}, {"ev01a.bmp", diff}, {"ev02.bmp", diff},
               {"ev03.bmp", bitmap(2, 1, 16, [](int, int) { return std::tuple{0, 0, 0}; })}};
  Converted c = convert(PictureArchive::Visual, m, "ev01a.bmp");
  EXPECT_EQ(c.kind, 13u);
  EXPECT_EQ(at(c.picture, 2, 3), (std::vector<int>{200, 0, 0, 255}));
  EXPECT_EQ(at(c.picture, 3, 3), (std::vector<int>{8, 20, 24, 255}));  // black kept the base

  Converted keyed = convert(PictureArchive::Visual, m, "ev02.bmp");
  EXPECT_EQ(keyed.kind, 1u);
  EXPECT_EQ(at(keyed.picture, 1, 0)[3], 0);
  m_opaque = {"EV02.BMP"};
  Converted listed = convert(PictureArchive::Visual, m, "ev02.bmp");
  EXPECT_EQ(listed.kind, 13u);
  Converted sixteen = convert(PictureArchive::Visual, m, "ev03.bmp");
  EXPECT_EQ(sixteen.kind, 13u);  // 16-bit pictures are only expanded
}

TEST_F(PictureRules, StandOverlaysArePlacedByTheirDescriptor) {
  // Descriptor: base st_a.bmp, N = 400, X = 200: the stand's place is (200, 480 − 400 = 80).
  // Record (125, 83): the overlay goes at (125 + 200 − 320, 83 + 400 − 480) = (5, 3).
  m_tables.stand = PictureTables::parseStandInfo(
      concat({standRecord("st_a.dat", "st_a_f1.bmp", 125, 83), standRecord("st_b.dat", "", 0, 0)}));
  // The stand: a green figure in columns 0..8, black around it.
  auto stand = bitmap(20, 30, 24, [](int x, int) { return x < 9 ? std::tuple{0, 100, 0} : std::tuple{0, 0, 0}; });
  auto overlay = bitmap(4, 4, 24, [](int x, int) { return x ? std::tuple{0, 0, 250} : std::tuple{0, 0, 0}; });
  Members m = {{"st_a.dat", descriptor("st_a.bmp", 400, 200)}, {"st_a.bmp", stand}, {"st_a_f1.bmp", overlay},
               {"st_b.bmp", stand}, {"lone.bmp", stand}};

  Converted o = convert(PictureArchive::Stand, m, "st_a_f1.bmp");
  EXPECT_EQ(o.x, 200);
  EXPECT_EQ(o.y, 80);
  EXPECT_EQ(o.picture.width, 20u);
  EXPECT_EQ(at(o.picture, 6, 3), (std::vector<int>{0, 0, 0xF8, 255}));      // the overlay
  EXPECT_EQ(at(o.picture, 8, 3), (std::vector<int>{0, 0, 0xF8, 250 / 3}));  // its edge on a hole
  EXPECT_EQ(at(o.picture, 5, 3), (std::vector<int>{0, 100, 0, 255}));       // its black kept the stand
  EXPECT_EQ(at(o.picture, 4, 10), (std::vector<int>{0, 100, 0, 255}));
  EXPECT_EQ(at(o.picture, 8, 10), (std::vector<int>{0, 100, 0, 100 / 3}));
  EXPECT_EQ(at(o.picture, 9, 10)[3], 0);

  Converted s = convert(PictureArchive::Stand, m, "st_a.bmp");
  EXPECT_EQ(std::pair(s.x, s.y), std::pair(200, 80));
  EXPECT_EQ(s.kind, 1u);  // keyed near black
  Converted b = convert(PictureArchive::Stand, m, "st_b.bmp");  // its descriptor is missing
  EXPECT_EQ(std::pair(b.x, b.y), std::pair(0, 0));
  Converted lone = convert(PictureArchive::Stand, m, "lone.bmp");
  EXPECT_EQ(std::pair(lone.x, lone.y), std::pair(0, 0));

  Converted copied = convert(PictureArchive::Stand, m, "st_a.dat");
  EXPECT_FALSE(copied.member.picture);
  EXPECT_EQ(copied.member.name, "st_a.dat");
  EXPECT_EQ(copied.member.bytes, descriptor("st_a.bmp", 400, 200));
}

// Offsets from the tables are 32-bit values: sums that would overflow, or places an RBP header
// cannot hold, make the member an empty one with its reason, never a wrapped position.
TEST_F(PictureRules, StandOffsetsOutOfRangeAreDamage) {
  auto stand = solid(8, 8, 0, 100, 0);
  // Record x and y, descriptor N and X: record x + X − 320 and record y + N − 480 overflow;
  // 480 − N overflows; X is beyond 16 bits. The stand itself is placed by N and X alone.
  const std::array<int, 4> cases[] = {{INT32_MAX, 0, 400, 200}, {0, INT32_MAX, 400, 200}, {0, 0, INT32_MIN, 0},
                                      {0, 0, 400, 40000}};
  for (auto [recordX, recordY, n, x] : cases) {
    m_tables.stand = PictureTables::parseStandInfo(standRecord("st.dat", "st_f.bmp", recordX, recordY));
    Members m = {{"st.dat", descriptor("st.bmp", n, x)}, {"st.bmp", stand}, {"st_f.bmp", stand}};
    for (std::string name : {"st_f.bmp", "st.bmp"}) {
      if (name == "st.bmp" && (recordX || recordY)) continue;
      Converted o = convert(PictureArchive::Stand, m, name);
      EXPECT_TRUE(o.member.bytes.empty()) << name << " " << recordX << " " << n << " " << x;
      EXPECT_NE(o.member.problem.find("out of range"), std::string::npos) << o.member.problem;
    }
  }
}

TEST_F(PictureRules, SystemWindowsThumbnailsAndFaces) {
  auto window = bitmap(4, 1, 24, [](int x, int) {
    return x == 0 ? std::tuple{255, 0, 255} : x == 1 ? std::tuple{0, 0, 0} : std::tuple{90, 90, 90};
  });
  Members m = {{"MessageWindow.bmp", window}, {"Button.bmp", window}, {"Title_BG.bmp", nightScene(8, 8)},
               {"cfg.txt", {1, 2, 3}}, {"Thum_001.bmp", nightScene(8, 8)}, {"Thum_x.bmp", nightScene(8, 8)},
               {"lo.bmp", bitmap(2, 2, 24, [](int, int) { return std::tuple{1, 1, 1}; })}};
  Converted w = convert(PictureArchive::System, m, "MessageWindow.bmp");
  EXPECT_EQ(at(w.picture, 0, 0), (std::vector<int>{0xF8, 0, 0, 128}));
  EXPECT_EQ(at(w.picture, 1, 0)[3], 0);
  EXPECT_EQ(at(w.picture, 3, 0)[3], 255);
  Converted button = convert(PictureArchive::System, m, "Button.bmp");
  EXPECT_EQ(at(button.picture, 0, 0), (std::vector<int>{0xF8, 0, 0xF8, 170}));  // magenta stays
  EXPECT_EQ(convert(PictureArchive::System, m, "Title_BG.bmp").kind, 13u);
  EXPECT_EQ(convert(PictureArchive::System, m, "cfg.txt").member.bytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(convert(PictureArchive::Thumbnail, m, "Thum_001.bmp").kind, 13u);
  EXPECT_EQ(convert(PictureArchive::Thumbnail, m, "Thum_x.bmp").kind, 1u);
  EXPECT_EQ(convert(PictureArchive::Face, m, "lo.bmp").kind, 1u);
  // Face.pac converts every member, whatever its name says.
  EXPECT_EQ(convert(PictureArchive::Face, m, "cfg.txt").member.name, "cfg.rbp");

  // Unusable bitmaps become empty members with a reason: here 8 bits with a palette of one
  // colour (biClrUsed 1) whose pixels use index 255.
  auto eight = window;
  eight[28] = 8;
  eight[46] = 1;
  m.push_back({"eight.bmp", eight});
  Converted e = convert(PictureArchive::Face, m, "eight.bmp");
  EXPECT_TRUE(e.member.bytes.empty());
  EXPECT_EQ(e.member.problem, "bitmap palette index out of range");
}

TEST(PictureLists, NameListParsing) {
  auto names = parseNameList("# comment\n\nVISUAL_a001.bmp\r\n  VISUAL_b002x.bmp  \n#x.bmp\n");
  EXPECT_EQ(names, (std::vector<std::string>{"VISUAL_a001.bmp", "VISUAL_b002x.bmp"}));
  auto jp = parseNameList("ソ.bmp\n");  // 83 5C in CP932
  ASSERT_EQ(jp.size(), 1u);
  EXPECT_EQ(jp[0], "\x83\x5C.bmp");
  opaqueVisualNames();  // the built-in list parses
}

}  // namespace
}  // namespace sorel
