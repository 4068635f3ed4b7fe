#include "engine/state/key_map.h"

#include <gtest/gtest.h>

namespace sorel {
namespace {

KeyMap pocketMap() {
  KeyMap m;
  m.fromDefaults(0x26, 0x28, 0x25, 0x27, 0xC1, 0xC2, 0xC3, 0x0D);
  return m;
}

TEST(KeyMap, DefaultsFillEightKeysAndLeaveDAndEEmpty) {
  KeyMap m = pocketMap();
  EXPECT_EQ(m.code(Key::Up), 0x26);
  EXPECT_EQ(m.code(Key::A), 0xC1);
  EXPECT_EQ(m.code(Key::C), 0xC3);
  EXPECT_EQ(m.code(Key::Start), 0x0D);
  EXPECT_EQ(m.code(Key::D), 0);
  EXPECT_EQ(m.code(Key::E), 0);
  EXPECT_EQ(m.defaultCode(Key::B), 0xC2);
  EXPECT_FALSE(m.maps(0, Key::D));  // code 0 is no key
}

TEST(KeyMap, ParseKeyNameReadsNamesAndTwoHexDigits) {
  KeyMap m = pocketMap();
  EXPECT_EQ(m.parseKeyName("0D"), 13);
  EXPECT_EQ(m.parseKeyName("1b"), 27);
  EXPECT_EQ(m.parseKeyName("26"), 0x26);
  EXPECT_EQ(m.parseKeyName("up"), 0x26);
  EXPECT_EQ(m.parseKeyName("Start"), 0x0D);
  EXPECT_EQ(m.parseKeyName("key_c"), 0xC3);
  EXPECT_EQ(m.parseKeyName("KEY_D"), -1);   // no name for D: not two bytes either
  EXPECT_EQ(m.parseKeyName("ARROW"), -1);
  EXPECT_EQ(m.parseKeyName("7"), -1);       // shorter than two bytes
  EXPECT_EQ(m.parseKeyName("1G"), 0x10);    // a non-hex character counts as 0
  EXPECT_EQ(m.parseKeyName("zz"), 0);
}

TEST(KeyMap, SetKeyFallsBackToTheSlotsDefault) {
  KeyMap m = pocketMap();
  m.setKey(Key::Up, "41");
  EXPECT_EQ(m.code(Key::Up), 0x41);
  m.setKey(Key::Up, "ARROW");
  EXPECT_EQ(m.code(Key::Up), 0x26);
  m.setKey(Key::D, "KEY_A");  // D takes A's default code
  EXPECT_EQ(m.code(Key::D), 0xC1);
  m.setKey(Key::E, "7");  // meaningless: E's default, no key
  EXPECT_EQ(m.code(Key::E), 0);
  m.setKey(Key::Left, "up");
  EXPECT_EQ(m.code(Key::Left), 0x26);
}

TEST(KeyMap, ConfigNamesFollowTheKeyNotItsPosition) {
  EXPECT_STREQ(keyConfigName(Key::Start), "KEY_START");
  EXPECT_STREQ(keyConfigName(Key::A), "KEY_A");
  EXPECT_STREQ(keyConfigName(Key::E), "KEY_E");
}

}  // namespace
}  // namespace sorel
