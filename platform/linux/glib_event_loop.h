#pragma once
// The event loop on GLib's default main context: the loop that GTK runs, so timers and HTTP
// completions arrive between the user interface's own events. Every task of the loop waits in
// one queue behind one GLib source: a window's timer re-arms itself many times a second, and a
// source per arming would be created, attached and destroyed each time.

#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/event_loop.h"

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace brevant {

class GlibEventLoop : public EventLoop {
 public:
  // nullptr: the thread-default context (the default one on the main thread).
  explicit GlibEventLoop(GMainContext* context = nullptr);
  ~GlibEventLoop() override;
  GlibEventLoop(const GlibEventLoop&) = delete;
  GlibEventLoop& operator=(const GlibEventLoop&) = delete;

  TaskId call_later(std::chrono::milliseconds delay, Task task) override;
  TaskId call_again(std::chrono::milliseconds delay, Task task) override;
  void cancel(TaskId id) override;
  void post(Task task) override;
  std::chrono::milliseconds now() const override;
  bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) override;

  GMainContext* context() const { return context_; }

 private:
  static int prepare(GSource* source, int* timeout);
  static int check(GSource* source);
  static int dispatch(GSource* source, int (*callback)(void*), void* self);
  TaskId enqueue(std::int64_t due, Task task);

  GMainContext* context_;
  GSource* source_;
  // Due time on the monotonic clock (microseconds) and id, in the order they run.
  std::map<std::pair<std::int64_t, TaskId>, Task> queue_;
  std::unordered_map<TaskId, std::int64_t> due_;
  TaskId next_id_ = 1;
  bool* destroyed_ = nullptr;  // set while a dispatch runs
};

}  // namespace brevant
