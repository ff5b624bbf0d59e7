#pragma once
// An event loop on a clock that only moves when told to: timers and completions fire in due
// order, instantly and deterministically. For tests and benchmarks.

#include <chrono>
#include <cstddef>
#include <map>
#include <utility>

#include "platform/event_loop.h"

namespace brevant {

class VirtualClock : public EventLoop {
 public:
  VirtualClock() = default;
  ~VirtualClock() override;
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  TaskId call_later(std::chrono::milliseconds delay, Task task) override;
  void cancel(TaskId id) override;
  void post(Task task) override;
  std::chrono::milliseconds now() const override { return now_; }
  // Steps from due task to due task; time stops where `done` first holds.
  bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) override;

  // Moves the clock forward by `by`, running every task that falls due on the way, in order of
  // due time and then of scheduling (tasks scheduled on the way included).
  void advance(std::chrono::milliseconds by);
  // Runs what is due now, without moving the clock.
  void run_due() { advance(std::chrono::milliseconds(0)); }
  std::size_t pending() const { return tasks_.size(); }

 private:
  // Key: (due time, sequence number); the sequence number is also the task's id.
  std::map<std::pair<std::chrono::milliseconds, TaskId>, Task> tasks_;
  std::map<TaskId, std::chrono::milliseconds> due_of_;
  std::chrono::milliseconds now_{0};
  TaskId next_id_ = 1;
};

}  // namespace brevant
