#include "platform/linux/glib_event_loop.h"

#include "platform/failure.h"

#include <glib.h>

#include <algorithm>

namespace brevant {
namespace {

// Windows runs no timer sooner than 10 ms after it was set (the placement timers ask for 1 ms),
// and runs timers on its clock tick, 64 times a second. The same here: timers fall due on a
// 1/64 s grid of the monotonic clock, so that the timers of many windows share one wake-up
// instead of waking the process each.
constexpr gint64 kTimerMinimumUs = 10'000;
constexpr gint64 kTimerGridUs = 15'625;

gboolean dispatch_timer(GSource*, GSourceFunc callback, gpointer data) {
  return callback ? callback(data) : G_SOURCE_REMOVE;
}

GSourceFuncs timer_funcs = {nullptr, nullptr, &dispatch_timer, nullptr, nullptr, nullptr};

GSource* timer_source(gint64 delay_ms) {
  const gint64 wanted = g_get_monotonic_time() + std::max<gint64>(delay_ms * 1000, kTimerMinimumUs);
  GSource* source = g_source_new(&timer_funcs, sizeof(GSource));
  g_source_set_ready_time(source, (wanted + kTimerGridUs - 1) / kTimerGridUs * kTimerGridUs);
  return source;
}

}  // namespace

struct GlibEventLoop::Pending {
  GlibEventLoop* loop;
  TaskId id;
  Task task;
  GSource* source;
};

GlibEventLoop::GlibEventLoop(GMainContext* context)
    : context_(context ? g_main_context_ref(context) : g_main_context_ref_thread_default()) {}

GlibEventLoop::~GlibEventLoop() {
  // Tasks still waiting die with the loop object.
  auto pending = std::move(pending_);
  pending_.clear();
  for (auto& [id, p] : pending) {
    GSource* source = p->source;
    g_source_destroy(source);
    g_source_unref(source);
  }
  g_main_context_unref(context_);
}

EventLoop::TaskId GlibEventLoop::call_later(std::chrono::milliseconds delay, Task task) {
  const TaskId id = next_id_++;
  const auto ms = delay.count() < 0 ? 0 : delay.count();
  GSource* source = ms == 0 ? g_idle_source_new() : timer_source(ms);
  // Timers and completions share one priority so that they run in due order.
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  auto* p = new Pending{this, id, std::move(task), source};
  g_source_set_callback(source, &GlibEventLoop::dispatch, p, &GlibEventLoop::destroy);
  pending_.emplace(id, p);
  g_source_attach(source, context_);
  return id;
}

void GlibEventLoop::cancel(TaskId id) {
  auto it = pending_.find(id);
  if (it == pending_.end())
    return;
  GSource* source = it->second->source;
  pending_.erase(it);
  g_source_destroy(source);  // frees the Pending through destroy()
  g_source_unref(source);
}

void GlibEventLoop::post(Task task) {
  call_later(std::chrono::milliseconds(0), std::move(task));
}

std::chrono::milliseconds GlibEventLoop::now() const {
  return std::chrono::milliseconds(g_get_monotonic_time() / 1000);
}

int GlibEventLoop::dispatch(void* data) {
  auto* p = static_cast<Pending*>(data);
  GlibEventLoop* loop = p->loop;
  auto it = loop->pending_.find(p->id);
  if (it != loop->pending_.end()) {
    loop->pending_.erase(it);
    g_source_unref(p->source);  // the context keeps its own reference until we return
    Task task = std::move(p->task);
    skip_failure(task);
  }
  return G_SOURCE_REMOVE;
}

void GlibEventLoop::destroy(void* data) {
  delete static_cast<Pending*>(data);
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
