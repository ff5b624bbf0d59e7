#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/sim/virtual_clock.h"
#ifdef _WIN32
#include "platform/win32/win32_event_loop.h"
#else
#include "platform/linux/glib_event_loop.h"
#endif

namespace brevant {
namespace {

using std::chrono::milliseconds;

std::unique_ptr<EventLoop> make_loop(bool real) {
  if (!real)
    return std::make_unique<VirtualClock>();
#ifdef _WIN32
  return std::make_unique<Win32EventLoop>();
#else
  return std::make_unique<GlibEventLoop>();
#endif
}

// Every loop follows one policy: a task or timer handler that throws is stopped there, counted,
// and the loop goes on with the next task.
class EventLoopFailure : public ::testing::TestWithParam<bool> {};

TEST_P(EventLoopFailure, ThrowingTasksAndTimersAreSkippedAndTheLoopGoesOn) {
  auto loop = make_loop(GetParam());
  const auto before = skipped_failures("event loop task");
  std::vector<int> ran;
  loop->post([] { throw std::runtime_error("posted"); });
  loop->post([&] { ran.push_back(1); });
  loop->call_later(milliseconds(5), [] { throw 42; });
  loop->call_later(milliseconds(10), [&] { ran.push_back(2); });
  Timer timer(*loop, 3);
  int ticks = 0;
  timer.on_tick([&] {
    if (++ticks == 1)
      throw std::logic_error("first tick");
    timer.set_enabled(false);
  });
  timer.set_enabled(true);

  EXPECT_TRUE(loop->run_until([&] { return ran.size() == 2 && ticks == 2; }, milliseconds(2000)));
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_EQ(skipped_failures("event loop task") - before, 3u);
}

INSTANTIATE_TEST_SUITE_P(VirtualAndReal, EventLoopFailure, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "real" : "virtual"; });

}  // namespace
}  // namespace brevant
