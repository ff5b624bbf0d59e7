#pragma once
// The user-interface thread's event loop: delayed and posted work, and the form timer built on
// it. Everything the plug-in does after a call returns (timer ticks, HTTP completions) arrives
// through one of these, one at a time, on the one thread.

#include <chrono>
#include <cstdint>
#include <functional>

namespace brevant {

class EventLoop {
 public:
  using TaskId = std::uint64_t;  // 0 is never a valid id
  using Task = std::function<void()>;

  virtual ~EventLoop() = default;

  // Runs `task` once after `delay` (0 allowed), unless cancelled first.
  virtual TaskId call_later(std::chrono::milliseconds delay, Task task) = 0;
  // The next tick of a repeating timer: as call_later, but the loop may line it up with other
  // timers' ticks, trading a little lateness for fewer wake-ups (as Windows' timer tick does).
  virtual TaskId call_again(std::chrono::milliseconds delay, Task task) {
    return call_later(delay, std::move(task));
  }
  // Forgets a task that has not run yet; an id that already ran or was cancelled is ignored.
  virtual void cancel(TaskId id) = 0;
  // Runs `task` soon, after the current call returns, in the order posted.
  virtual void post(Task task) = 0;

  // Milliseconds on this loop's clock (monotonic; the virtual clock's own time in tests).
  virtual std::chrono::milliseconds now() const = 0;

  // Drives the loop until `done` holds or `limit` has passed on this loop's clock. True when
  // `done` held. For embedders and tests; the plug-in itself never blocks.
  virtual bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) = 0;
};

// A form timer: an interval in milliseconds, an enabled switch and a tick handler. While enabled
// it ticks every interval. A handler may disable or re-arm its own timer or any other.
// Changing the interval of an enabled timer, or enabling it, starts a fresh interval.
class Timer {
 public:
  explicit Timer(EventLoop& loop, int interval_ms = 0) : loop_(loop), interval_(interval_ms) {}
  ~Timer() { disarm(); }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  int interval() const { return interval_; }
  void set_interval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    if (enabled_)
      arm();
  }
  bool enabled() const { return enabled_; }
  void set_enabled(bool on) {
    if (on == enabled_)
      return;
    enabled_ = on;
    if (on) {
      arm();
    } else {
      disarm();
    }
  }
  void on_tick(std::function<void()> handler) { handler_ = std::move(handler); }

 private:
  // `again`: the tick after one that just ran, which the loop may line up with others.
  void arm(bool again = false) {
    disarm();
    // A zero interval never ticks, as with a form timer.
    if (interval_ == 0)
      return;
    const std::chrono::milliseconds delay(interval_);
    pending_ = again ? loop_.call_again(delay, [this] { tick(); })
                     : loop_.call_later(delay, [this] { tick(); });
  }
  void disarm() {
    if (pending_ != 0)
      loop_.cancel(pending_);
    pending_ = 0;
  }
  void tick() {
    pending_ = 0;
    if (!enabled_)
      return;
    arm(true);  // next interval; the handler may disarm it again
    if (handler_) {
      auto handler = handler_;  // the handler may replace itself
      handler();
    }
  }

  EventLoop& loop_;
  int interval_;
  bool enabled_ = false;
  EventLoop::TaskId pending_ = 0;
  std::function<void()> handler_;
};

}  // namespace brevant
