#include "platform/sim/virtual_clock.h"

#include "platform/failure.h"

namespace brevant {

VirtualClock::~VirtualClock() {
  // Tasks that never ran may own objects that cancel their own tasks when they go.
  auto tasks = std::move(tasks_);
  tasks_.clear();
  due_of_.clear();
  tasks.clear();
}

EventLoop::TaskId VirtualClock::call_later(std::chrono::milliseconds delay, Task task) {
  if (delay.count() < 0)
    delay = std::chrono::milliseconds(0);
  const TaskId id = next_id_++;
  tasks_.emplace(std::make_pair(now_ + delay, id), std::move(task));
  due_of_.emplace(id, now_ + delay);
  return id;
}

void VirtualClock::cancel(TaskId id) {
  auto it = due_of_.find(id);
  if (it == due_of_.end())
    return;
  tasks_.erase(std::make_pair(it->second, id));
  due_of_.erase(it);
}

void VirtualClock::post(Task task) {
  call_later(std::chrono::milliseconds(0), std::move(task));
}

void VirtualClock::advance(std::chrono::milliseconds by) {
  const auto target = now_ + (by.count() < 0 ? std::chrono::milliseconds(0) : by);
  while (!tasks_.empty() && tasks_.begin()->first.first <= target) {
    auto node = tasks_.extract(tasks_.begin());
    due_of_.erase(node.key().second);
    if (node.key().first > now_)
      now_ = node.key().first;
    skip_failure("event loop task", node.mapped());
  }
  now_ = target;
}

bool VirtualClock::run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = now_ + limit;
  while (!done()) {
    if (tasks_.empty() || tasks_.begin()->first.first > end) {
      now_ = end;
      return done();
    }
    auto node = tasks_.extract(tasks_.begin());
    due_of_.erase(node.key().second);
    if (node.key().first > now_)
      now_ = node.key().first;
    skip_failure("event loop task", node.mapped());
  }
  return true;
}

}  // namespace brevant
