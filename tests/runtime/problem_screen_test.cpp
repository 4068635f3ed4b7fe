// The problem screen's layout: everything on the screen at both sizes, each problem with what to
// do wrapped between words, the footer for the kind of screen, and too many problems.
#include "engine/runtime/problem_screen.h"

#include <gtest/gtest.h>

#include "engine/resources/sjis_text.h"
#include "platform/text.h"

namespace sorel {
namespace {

using Weight = DataProblem::Weight;

std::string utf8(std::string_view cp932) { return platform::cp932ToUtf8Lossy(cp932); }

int widthOf(const ProblemScreenLine& l) {
  int units = 0;
  for (size_t i = 0; i < l.text.size(); ++i, ++units)
    if (isLeadByte(uint8_t(l.text[i]))) ++i, ++units;
  return units * l.size / 2;
}

TEST(ProblemScreen, EveryProblemAndWhatToDoFitTheScreenAtBothSizes) {
  const std::string path = "/home/someone/Games/a folder with a long name/Lumenwish/converted/data/";
  const std::vector<DataProblem> problems = {
      {Weight::Blocking, "missing in " + path + ": Script.mlz, Table.mlz, bg_vga.mlz",
       "convert the game again with convSorel --size 640"},
      {Weight::Silence, "no MP3 decoder module Quillon.ovl beside the program",
       "the game plays without sound; put Quillon.ovl beside the program or in ../lib/sorel/", ": "},
      {Weight::Note, "no voice.mlz in " + path, "the game plays without voices (convert with voices to hear them)",
       ": "}};
  for (auto [w, h] : {std::pair{640, 480}, std::pair{320, 240}}) {
    SCOPED_TRACE(w);
    const auto lines = layoutProblemScreen(problems, w, h);
    ASSERT_GT(lines.size(), 6u);
    std::string all;
    for (const auto& l : lines) {
      EXPECT_GE(l.x, 0);
      EXPECT_LE(l.x + widthOf(l), w) << utf8(l.text);
      EXPECT_GE(l.y, 0);
      EXPECT_LE(l.y + l.size, h) << utf8(l.text);
      all += utf8(l.text) + "\n";
    }
    EXPECT_EQ(utf8(lines.front().text), "ゲームを表示できません");
    EXPECT_NE((utf8(lines[lines.size() - 2].text) + utf8(lines.back().text)).find("終了"), std::string::npos)
        << "how to quit, last";
    // Words survive the wrapping: long texts are cut at spaces, slashes and commas. The small
    // screen has room for the first two problems; the third gives way to "…".
    for (const char* word : {"Script.mlz", "Quillon.ovl", "Lumenwish", "converted", "convSorel", "../lib/sorel/"})
      EXPECT_NE(all.find(word), std::string::npos) << word << " in\n" << all;
    EXPECT_NE(all.find(w == 640 ? "without voices" : "…"), std::string::npos) << all;
  }
}

TEST(ProblemScreen, SilenceOnlyAsksForATapAndTooManyProblemsEndInAnEllipsis) {
  std::vector<DataProblem> problems(40, {Weight::Silence, "no bgm folder in /data", "the game plays without music", ": "});
  const auto lines = layoutProblemScreen(problems, 320, 240);
  EXPECT_EQ(utf8(lines.front().text), "音の一部が出ません");
  EXPECT_EQ(utf8(lines.back().text), "タップか → / C で続けます。");
  int ellipses = 0;
  for (const auto& l : lines) {
    EXPECT_LE(l.y + l.size, 240);
    ellipses += utf8(l.text) == "…";
  }
  EXPECT_EQ(ellipses, 1);
}

}  // namespace
}  // namespace sorel
