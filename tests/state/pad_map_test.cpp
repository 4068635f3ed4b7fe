// The gamepad map: its defaults, the PAD_CONFIG section of sorel.cfg, and pad buttons acting as
// the device's keys.
#include "engine/state/pad_map.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/state/profile.h"
#include "platform/files.h"

namespace sorel {
namespace {

using platform::PadButton;
using Action = PadBinding::Action;

constexpr PadBinding key(Key k) { return {Action::Key, k}; }
constexpr PadBinding kMenu{Action::Menu, Key::Up};
constexpr PadBinding kNothing{};

class PadMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearProfile();
    std::string host = std::string(SOREL_TEST_TMP) + "/pad_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg";
    path = *platform::systemPath(host);
    keys.fromDefaults(0x26, 0x28, 0x25, 0x27, 0xC1, 0xC2, 0xC3, 0x0D);
  }
  void TearDown() override { clearProfile(); }

  void readConfig(std::string_view text) {
    std::vector<uint8_t> b(text.begin(), text.end());
    ASSERT_TRUE(platform::writeWholeFile(path, b, false));
    clearProfile();
    pads.read(path, [this](std::string_view k, std::string_view name) {
      reports.emplace_back(std::string(k), std::string(name));
    });
  }
  void pad(PadButton b, bool down) { onPadButton(in, keys, settings, pads, b, down, opener); }

  std::string path;
  KeyMap keys;
  PadMap pads;
  InputState in;
  InputSettings settings;
  std::vector<std::pair<std::string, std::string>> reports;
  int menuRequests = 0;
  MenuOpener opener = [this] {
    ++menuRequests;
    return false;
  };
};

TEST_F(PadMapTest, DefaultsCoverEveryKeyAndTheMenu) {
  const std::pair<PadButton, PadBinding> want[] = {
      {PadButton::DpadUp, key(Key::Up)},         {PadButton::StickUp, key(Key::Up)},
      {PadButton::DpadDown, key(Key::Down)},     {PadButton::StickDown, key(Key::Down)},
      {PadButton::DpadLeft, key(Key::Left)},     {PadButton::StickLeft, key(Key::Left)},
      {PadButton::DpadRight, key(Key::Right)},   {PadButton::StickRight, key(Key::Right)},
      {PadButton::A, key(Key::C)},               {PadButton::B, key(Key::B)},
      {PadButton::X, key(Key::A)},               {PadButton::Y, key(Key::Start)},
      {PadButton::LeftShoulder, key(Key::D)},    {PadButton::RightShoulder, key(Key::E)},
      {PadButton::Start, kMenu},                 {PadButton::Back, kNothing},
      {PadButton::LeftTrigger, kNothing},        {PadButton::Guide, kNothing}};
  for (auto [button, binding] : want)
    EXPECT_EQ(pads.binding(button), binding) << platform::padButtonName(button);
}

TEST_F(PadMapTest, ConfigurationNamesButtonsAndReplacesTheDefaults) {
  readConfig("[pad_config]\r\n"
             "PAD_C = b\r\n"                  // swap the two bottom-right face buttons
             "pad_b=A\r\n"
             "PAD_MENU=back, START\r\n"       // a list
             "PAD_E=NONE\r\n"                 // the right shoulder does nothing
             "PAD_D=lefttrigger\r\n"
             "PAD_UP=\r\n"                    // empty: the defaults stay
             "[OTHER]\r\nPAD_A=y\r\n");       // another section is not read
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(pads.binding(PadButton::B), key(Key::C));
  EXPECT_EQ(pads.binding(PadButton::A), key(Key::B));
  EXPECT_EQ(pads.binding(PadButton::Back), kMenu);
  EXPECT_EQ(pads.binding(PadButton::Start), kMenu);
  EXPECT_EQ(pads.binding(PadButton::RightShoulder), kNothing);
  EXPECT_EQ(pads.binding(PadButton::LeftTrigger), key(Key::D));
  EXPECT_EQ(pads.binding(PadButton::LeftShoulder), kNothing);
  EXPECT_EQ(pads.binding(PadButton::DpadUp), key(Key::Up));
  EXPECT_EQ(pads.binding(PadButton::Y), key(Key::Start));
}

TEST_F(PadMapTest, UnknownNamesAreReportedOnceAndIgnored) {
  readConfig("[PAD_CONFIG]\r\nPAD_C=a turbo\r\nPAD_B=TURBO 7\r\nPAD_A=x\r\n");
  const std::vector<std::pair<std::string, std::string>> want = {{"PAD_B", "TURBO"},
                                                                  {"PAD_B", "7"}};
  // PAD_C is read after PAD_B: "turbo" was reported there already.
  EXPECT_EQ(reports, want);
  EXPECT_EQ(pads.binding(PadButton::A), key(Key::C));
  // PAD_B named no button it knows: its default stays.
  EXPECT_EQ(pads.binding(PadButton::B), key(Key::B));
}

TEST_F(PadMapTest, AButtonActsAsItsKeysOwnCode) {
  // The bottom button is C: it counts like C's code, and the release clears it.
  pad(PadButton::A, true);
  EXPECT_EQ(in.count(Key::C), 1);
  EXPECT_EQ(keys.pressCount, 1u);
  pad(PadButton::A, false);
  EXPECT_EQ(in.count(Key::C), 0);
  // One code on two keys: the pad's B, like the key, counts both.
  keys.setKey(Key::E, "C2");
  pad(PadButton::B, true);
  EXPECT_EQ(in.count(Key::B), 1);
  EXPECT_EQ(in.count(Key::E), 1);
}

TEST_F(PadMapTest, ShouldersGiveDAndEEvenWithoutAKeyCode) {
  ASSERT_EQ(keys.code(Key::D), 0);
  pad(PadButton::LeftShoulder, true);
  pad(PadButton::RightShoulder, true);
  EXPECT_EQ(in.count(Key::D), 1);
  EXPECT_EQ(in.count(Key::E), 1);
  EXPECT_EQ(keys.code(Key::D), 0);  // the map itself is unchanged
  EXPECT_EQ(keys.pressCount, 2u);
  pad(PadButton::LeftShoulder, false);
  EXPECT_EQ(in.count(Key::D), 0);
  EXPECT_EQ(in.count(Key::E), 1);
}

TEST_F(PadMapTest, StartOpensTheMenuAndTheMenuKeysStillWork) {
  pad(PadButton::Start, true);
  pad(PadButton::Start, false);
  EXPECT_EQ(menuRequests, 1);
  for (int c : in.counts) EXPECT_EQ(c, 0);
  // The right face button is B, the menu key: it asks through the key rule.
  pad(PadButton::B, true);
  EXPECT_EQ(menuRequests, 2);
  EXPECT_EQ(in.count(Key::B), 1);  // the menu did not open, so the press stays
}

TEST_F(PadMapTest, UnmappedButtonsDoNothing) {
  pad(PadButton::Guide, true);
  pad(PadButton::Guide, false);
  EXPECT_EQ(keys.pressCount, 0u);
  EXPECT_EQ(menuRequests, 0);
}

}  // namespace
}  // namespace sorel
