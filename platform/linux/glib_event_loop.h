#pragma once
// The event loop on GLib's default main context: the loop that GTK runs, so timers and HTTP
// completions arrive between the user interface's own events.

#include <memory>
#include <unordered_map>

#include "platform/event_loop.h"

typedef struct _GMainContext GMainContext;

namespace brevant {

class GlibEventLoop : public EventLoop {
 public:
  // nullptr: the thread-default context (the default one on the main thread).
  explicit GlibEventLoop(GMainContext* context = nullptr);
  ~GlibEventLoop() override;
  GlibEventLoop(const GlibEventLoop&) = delete;
  GlibEventLoop& operator=(const GlibEventLoop&) = delete;

  TaskId call_later(std::chrono::milliseconds delay, Task task) override;
  void cancel(TaskId id) override;
  void post(Task task) override;
  std::chrono::milliseconds now() const override;
  bool run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) override;

  GMainContext* context() const { return context_; }

 private:
  struct Pending;
  static int dispatch(void* data);
  static void destroy(void* data);

  GMainContext* context_;
  std::unordered_map<TaskId, Pending*> pending_;
  TaskId next_id_ = 1;
};

}  // namespace brevant
