// Gamepad button names and the stick axes turned into buttons.
#include "platform/gamepad.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace platform {
namespace {

TEST(PadButtons, NamesRoundTripInAnyCase) {
  for (int i = 0; i < kPadButtonCount; ++i) {
    auto b = static_cast<PadButton>(i);
    std::string name = padButtonName(b);
    ASSERT_FALSE(name.empty()) << i;
    EXPECT_EQ(padButtonFromName(name), b) << name;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(padButtonFromName(name), b) << name;
  }
  EXPECT_EQ(padButtonFromName("dpup "), std::nullopt);
  EXPECT_EQ(padButtonFromName("0"), std::nullopt);
  EXPECT_EQ(padButtonFromName(""), std::nullopt);
}

TEST(PadButtons, AxesPressPastHalfWayAndLetGoBelowAQuarter) {
  struct Case {
    int value;
    bool negHeld, posHeld;
    bool neg, pos;
  };
  const Case cases[] = {
      {0, false, false, false, false},
      {16383, false, false, false, false},   // not yet half way
      {16384, false, false, false, true},
      {-16384, false, false, true, false},
      {12000, false, true, false, true},     // held: stays down on the way back ...
      {8193, false, true, false, true},
      {8192, false, true, false, false},     // ... until below a quarter
      {-9000, true, false, true, false},
      {-8192, true, false, false, false},
      {-32768, false, true, true, false},    // flicked across: the other side lets go
      {32767, true, false, false, true},
  };
  for (const Case& c : cases) {
    AxisButtons b = axisButtons(c.value, c.negHeld, c.posHeld);
    EXPECT_EQ(b.negative, c.neg) << c.value;
    EXPECT_EQ(b.positive, c.pos) << c.value;
  }
}

}  // namespace
}  // namespace platform
