#include <windows.h>

#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "upp/timer_queue.h"

namespace {

constexpr UINT kProbe = WM_APP + 7;

struct SwallowProbe : base::MessageFilter {
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message != kProbe) return false;
    ++seen;
    return true;
  }
  int seen = 0;
};

struct CountingIdle : base::IdleHandler {
  bool OnIdle() override {
    ++calls;
    return calls < 3;  // asks for more idle time twice
  }
  int calls = 0;
};

TEST(MessageLoopTest, RunsUntilQuitAndReturnsItsCode) {
  base::MessageLoop loop;
  Upp::SetTimeCallback(20, [] { PostQuitMessage(7); });
  EXPECT_EQ(loop.Run(), 7);
}

TEST(MessageLoopTest, FilterThatTakesAMessageStopsItsDispatch) {
  base::MessageLoop loop;
  SwallowProbe filter;
  loop.AddMessageFilter(&filter);
  PostThreadMessageW(GetCurrentThreadId(), kProbe, 0, 0);
  Upp::SetTimeCallback(30, [] { PostQuitMessage(0); });
  loop.Run();
  EXPECT_EQ(filter.seen, 1);
  loop.RemoveMessageFilter(&filter);
}

TEST(MessageLoopTest, IdleHandlersRunWhileTheyAskForMore) {
  base::MessageLoop loop;
  CountingIdle idle;
  loop.AddIdleHandler(&idle);
  Upp::SetTimeCallback(30, [] { PostQuitMessage(0); });
  loop.Run();
  // Three calls in the first idle phase, then more after activity.
  EXPECT_GE(idle.calls, 3);
  loop.RemoveIdleHandler(&idle);
}

TEST(MessageLoopTest, ExitingFlagStaysSetOnceSet) {
  base::SetExiting();
  EXPECT_TRUE(base::IsExiting());
  base::SetExiting();
  EXPECT_TRUE(base::IsExiting());
}

}  // namespace
