#include "platform/messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

std::vector<Message> g_seen;

LResult recordingProc(Hwnd hwnd, uint32_t message, WParam w, LParam l) {
  g_seen.push_back({hwnd, message, w, l});
  return defWindowProc(hwnd, message, w, l);
}

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetWindowing();
    g_seen.clear();
    ASSERT_TRUE(registerClass("TESTCLASS", recordingProc));
  }
  void TearDown() override { resetWindowing(); }
};

TEST_F(MessagesTest, CreateSendsCreateAndClassesAreUnique) {
  EXPECT_FALSE(registerClass("TESTCLASS", recordingProc));
  EXPECT_EQ(createWindow("NOCLASS", "x", 0, 0, 1, 1), nullptr);
  Hwnd w = createWindow("TESTCLASS", "caption", 0, 0, 10, 10);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].message, WM_CREATE);
  EXPECT_EQ(findWindow("TESTCLASS"), w);
  EXPECT_EQ(windowText(w), "caption");
}

TEST_F(MessagesTest, QueueIsFirstInFirstOutAndPeekCanLeaveMessages) {
  Hwnd w = createWindow("TESTCLASS", "", 0, 0, 1, 1);
  postMessage(w, WM_KEYDOWN, 0x26, 1);
  postMessage(w, WM_KEYUP, 0x26, 1);
  Message m;
  ASSERT_TRUE(peekMessage(m, false));
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(queuedMessages(), 2u);
  ASSERT_TRUE(peekMessage(m, true));
  dispatchMessage(m);
  ASSERT_TRUE(peekMessage(m, true));
  EXPECT_EQ(m.message, WM_KEYUP);
  EXPECT_FALSE(peekMessage(m, true));
  EXPECT_EQ(g_seen.back().message, WM_KEYDOWN);
  EXPECT_EQ(g_seen.back().wParam, 0x26u);
}

TEST_F(MessagesTest, CloseDestroysAndDropsTheWindowsQueuedMessages) {
  Hwnd w = createWindow("TESTCLASS", "", 0, 0, 1, 1);
  postMessage(w, WM_CLOSE, 0, 0);
  postMessage(w, WM_KEYDOWN, 1, 0);
  postQuitMessage(3);
  Message m;
  ASSERT_TRUE(peekMessage(m, true));
  dispatchMessage(m);
  EXPECT_EQ(g_seen.back().message, WM_DESTROY);
  EXPECT_FALSE(isWindow(w));
  ASSERT_TRUE(peekMessage(m, true));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(postMessage(w, WM_KEYDOWN, 1, 0));
  EXPECT_EQ(sendMessage(w, WM_KEYDOWN, 1, 0), 0);
}

TEST_F(MessagesTest, InvalidateQueuesOnePaint) {
  Hwnd w = createWindow("TESTCLASS", "", 0, 0, 1, 1);
  invalidateWindow(w);
  invalidateWindow(w);
  EXPECT_EQ(queuedMessages(), 1u);
  Message m;
  peekMessage(m, true);
  invalidateWindow(w);
  EXPECT_EQ(queuedMessages(), 1u);
}

TEST(PointParam, KeepsSignedSixteenBitCoordinates) {
  LParam l = makePointParam(-3, 700);
  EXPECT_EQ(pointX(l), -3);
  EXPECT_EQ(pointY(l), 700);
  l = makePointParam(319, -1);
  EXPECT_EQ(pointX(l), 319);
  EXPECT_EQ(pointY(l), -1);
}

}  // namespace
}  // namespace platform
