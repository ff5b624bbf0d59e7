#include "platform/linux/glib_event_loop.h"

#include "platform/failure.h"

#include <glib.h>

#include <algorithm>

namespace brevant {
namespace {

// A repeating timer's next tick comes no sooner than 10 ms after the last (the placement timer
// asks for 1 ms) and on a 1/64 s grid of the monotonic clock, as Windows' timer tick does, so
// that the timers of many windows share one wake-up instead of waking the process each. A
// timer's first tick comes when asked: a request started on a 1 ms timer goes out at once.
constexpr gint64 kTimerMinimumUs = 10'000;
constexpr gint64 kTimerGridUs = 15'625;

// Posted work at once, a delayed task when asked.
gint64 due_time(std::int64_t delay_ms) {
  return g_get_monotonic_time() + std::max<std::int64_t>(delay_ms, 0) * 1000;
}

// At the first grid point at least the minimum away.
gint64 grid_time(std::int64_t delay_ms) {
  const gint64 wanted =
      g_get_monotonic_time() +
      std::max<gint64>(std::max<std::int64_t>(delay_ms, 0) * 1000, kTimerMinimumUs);
  return (wanted + kTimerGridUs - 1) / kTimerGridUs * kTimerGridUs;
}

}  // namespace

struct QueueSource {
  GSource source;
  GlibEventLoop* loop;
};

int GlibEventLoop::dispatch(GSource* source, int (*)(void*), void*) {
  GlibEventLoop* loop = reinterpret_cast<QueueSource*>(source)->loop;
  // What was due when this dispatch began, in due order, one at a time: a task may cancel or
  // add others, or run a nested loop (a modal dialog) that dispatches this source again.
  const gint64 now = g_get_monotonic_time();
  // A task may also destroy the loop itself.
  bool destroyed = false;
  bool* const outer = loop->destroyed_;
  loop->destroyed_ = &destroyed;
  while (!loop->queue_.empty()) {
    auto first = loop->queue_.begin();
    if (first->first.first > now)
      break;
    Task task = std::move(first->second);
    loop->due_.erase(first->first.second);
    loop->queue_.erase(first);
    skip_failure("event loop task", task);
    if (destroyed) {
      if (outer)
        *outer = true;
      return G_SOURCE_REMOVE;
    }
  }
  loop->destroyed_ = outer;
  return G_SOURCE_CONTINUE;
}

// The source asks for the time until the first task is due each time GLib polls, rather than
// setting a ready time: changing a source's ready time wakes its context once more each time.
int GlibEventLoop::prepare(GSource* source, int* timeout) {
  const auto& queue = reinterpret_cast<QueueSource*>(source)->loop->queue_;
  *timeout = -1;
  if (queue.empty())
    return FALSE;
  const gint64 wait = queue.begin()->first.first - g_source_get_time(source);
  if (wait <= 0) {
    *timeout = 0;
    return TRUE;
  }
  *timeout = static_cast<int>(std::min<gint64>((wait + 999) / 1000, G_MAXINT));
  return FALSE;
}

int GlibEventLoop::check(GSource* source) {
  const auto& queue = reinterpret_cast<QueueSource*>(source)->loop->queue_;
  return !queue.empty() && queue.begin()->first.first <= g_source_get_time(source);
}

GlibEventLoop::GlibEventLoop(GMainContext* context)
    : context_(context ? g_main_context_ref(context) : g_main_context_ref_thread_default()) {
  static GSourceFuncs funcs = {&GlibEventLoop::prepare,
                               &GlibEventLoop::check,
                               &GlibEventLoop::dispatch,
                               nullptr,
                               nullptr,
                               nullptr};
  source_ = g_source_new(&funcs, sizeof(QueueSource));
  reinterpret_cast<QueueSource*>(source_)->loop = this;
  // Timers and completions share one priority with GTK's own work, as window messages do.
  g_source_set_priority(source_, G_PRIORITY_DEFAULT);
  g_source_set_can_recurse(source_, TRUE);
  g_source_attach(source_, context_);
}

// Tasks still waiting die with the loop object.
GlibEventLoop::~GlibEventLoop() {
  if (destroyed_)
    *destroyed_ = true;
  g_source_destroy(source_);
  g_source_unref(source_);
  g_main_context_unref(context_);
}

EventLoop::TaskId GlibEventLoop::call_later(std::chrono::milliseconds delay, Task task) {
  return enqueue(due_time(delay.count()), std::move(task));
}

EventLoop::TaskId GlibEventLoop::call_again(std::chrono::milliseconds delay, Task task) {
  return enqueue(grid_time(delay.count()), std::move(task));
}

EventLoop::TaskId GlibEventLoop::enqueue(std::int64_t due, Task task) {
  const TaskId id = next_id_++;
  queue_.emplace(std::make_pair(due, id), std::move(task));
  due_.emplace(id, due);
  return id;
}

void GlibEventLoop::cancel(TaskId id) {
  auto it = due_.find(id);
  if (it == due_.end())
    return;
  queue_.erase(std::make_pair(it->second, id));
  due_.erase(it);
}

void GlibEventLoop::post(Task task) {
  call_later(std::chrono::milliseconds(0), std::move(task));
}

std::chrono::milliseconds GlibEventLoop::now() const {
  return std::chrono::milliseconds(g_get_monotonic_time() / 1000);
}

bool GlibEventLoop::run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const gint64 end = g_get_monotonic_time() + limit.count() * 1000;
  bool expired = false;
  GSource* alarm = g_timeout_source_new(static_cast<guint>(limit.count() < 0 ? 0 : limit.count()));
  g_source_set_callback(
      alarm,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &expired, nullptr);
  g_source_attach(alarm, context_);
  while (!done() && !expired && g_get_monotonic_time() < end) {
    g_main_context_iteration(context_, TRUE);
  }
  g_source_destroy(alarm);
  g_source_unref(alarm);
  return done();
}

}  // namespace brevant
