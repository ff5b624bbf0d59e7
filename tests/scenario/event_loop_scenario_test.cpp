// The virtual clock and form timers: due order, repetition, and handlers that switch timers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/sim/virtual_clock.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;

TEST(VirtualClock, RunsTasksInDueOrderThenSchedulingOrder) {
  VirtualClock clock;
  std::string order;
  clock.call_later(milliseconds(5), [&] { order += "c"; });
  clock.call_later(milliseconds(1), [&] { order += "a"; });
  clock.post([&] { order += "0"; });
  clock.call_later(milliseconds(1), [&] {
    order += "b";
    clock.call_later(milliseconds(0), [&] { order += "+"; });  // due now, runs before c
  });
  const auto cancelled = clock.call_later(milliseconds(2), [&] { order += "x"; });
  clock.cancel(cancelled);
  clock.cancel(cancelled);  // twice is harmless
  clock.advance(milliseconds(4));
  EXPECT_EQ(order, "0ab+");
  EXPECT_EQ(clock.now(), milliseconds(4));
  clock.advance(milliseconds(1));
  EXPECT_EQ(order, "0ab+c");
  EXPECT_EQ(clock.pending(), 0u);
}

TEST(VirtualClock, RunUntilStopsWhereTheConditionFirstHolds) {
  VirtualClock clock;
  int fired = 0;
  clock.call_later(milliseconds(10), [&] { ++fired; });
  clock.call_later(milliseconds(20), [&] { ++fired; });
  EXPECT_TRUE(clock.run_until([&] { return fired == 1; }, milliseconds(100)));
  EXPECT_EQ(clock.now(), milliseconds(10));
  EXPECT_FALSE(clock.run_until([&] { return fired == 5; }, milliseconds(50)));
  EXPECT_EQ(clock.now(), milliseconds(60));
  EXPECT_EQ(fired, 2);
}

TEST(Timer, TicksEveryIntervalWhileEnabled) {
  VirtualClock clock;
  Timer timer(clock, 100);
  std::vector<long> ticks;
  timer.on_tick([&] { ticks.push_back(static_cast<long>(clock.now().count())); });
  clock.advance(milliseconds(500));
  EXPECT_TRUE(ticks.empty()) << "a disabled timer never ticks";
  timer.set_enabled(true);
  clock.advance(milliseconds(350));
  EXPECT_EQ(ticks, (std::vector<long>{600, 700, 800}));
  timer.set_interval(1000);  // restarts the interval
  clock.advance(milliseconds(999));
  EXPECT_EQ(ticks.size(), 3u);
  clock.advance(milliseconds(1));
  EXPECT_EQ(ticks.back(), 1850);
  timer.set_enabled(false);
  clock.advance(milliseconds(5000));
  EXPECT_EQ(ticks.size(), 4u);
}

TEST(Timer, HandlersMayDisableTheirOwnTimerOrOthers) {
  VirtualClock clock;
  Timer first(clock, 1);
  Timer second(clock, 1000);
  int first_ticks = 0;
  int second_ticks = 0;
  first.on_tick([&] {
    ++first_ticks;
    first.set_enabled(false);  // one-shot, as the engine timers use it
  });
  second.on_tick([&] { ++second_ticks; });
  first.set_enabled(true);
  second.set_enabled(true);
  clock.advance(milliseconds(10));
  EXPECT_EQ(first_ticks, 1);
  second.set_enabled(false);
  clock.advance(milliseconds(3000));
  EXPECT_EQ(second_ticks, 0);

  // A handler that disables another timer due at the same moment stops it from ticking.
  Timer a(clock, 50);
  Timer b(clock, 50);
  int b_ticks = 0;
  a.on_tick([&] { b.set_enabled(false); });
  b.on_tick([&] { ++b_ticks; });
  a.set_enabled(true);
  b.set_enabled(true);
  clock.advance(milliseconds(200));
  EXPECT_EQ(b_ticks, 0);
}

TEST(Timer, ZeroIntervalNeverTicksAndDestructionCancels) {
  VirtualClock clock;
  int ticks = 0;
  {
    Timer zero(clock, 0);
    zero.on_tick([&] { ++ticks; });
    zero.set_enabled(true);
    Timer gone(clock, 10);
    gone.on_tick([&] { ++ticks; });
    gone.set_enabled(true);
  }
  clock.advance(milliseconds(100));
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(clock.pending(), 0u);
}

}  // namespace
}  // namespace brevant
