#include "platform/window_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace brevant {
namespace {

bool matches(const std::optional<StrView>& wanted, const Str& have) {
  return !wanted || *wanted == have;
}

std::int32_t to_pixels(int twips, int factor) {
  return static_cast<std::int32_t>(std::lround(static_cast<double>(twips) / factor));
}

std::int32_t size_to_pixels(int twips, int factor) {
  if (twips == 0)
    return 0;
  return std::max<std::int32_t>(1, to_pixels(twips, factor));
}

}  // namespace

WindowModel::WindowModel(EventLoop& loop, int twips_per_pixel_x, int twips_per_pixel_y)
    : loop_(loop), twips_x_(twips_per_pixel_x), twips_y_(twips_per_pixel_y) {}

WindowModel::~WindowModel() {
  *alive_ = false;
}

ModelWindow* WindowModel::find(Hwnd hwnd) {
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : &it->second;
}

const ModelWindow* WindowModel::window(Hwnd hwnd) const {
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : &it->second;
}

Hwnd WindowModel::root_of(Hwnd hwnd) const {
  const ModelWindow* w = window(hwnd);
  while (w && w->parent != 0) {
    hwnd = w->parent;
    w = window(hwnd);
  }
  return w ? hwnd : 0;
}

void WindowModel::raise(Hwnd hwnd) {
  Hwnd root = root_of(hwnd);
  auto it = std::find(z_order_.begin(), z_order_.end(), root);
  if (it != z_order_.end())
    std::rotate(z_order_.begin(), it, it + 1);
}

Hwnd WindowModel::create_window(StrView class_name, StrView title, Hwnd parent, Rect rect) {
  if (parent != 0 && !exists(parent))
    return 0;
  Hwnd hwnd = next_handle_;
  next_handle_ += 4;
  ModelWindow& w = windows_[hwnd];
  w.hwnd = hwnd;
  w.class_name = Str(class_name);
  w.title = Str(title);
  w.parent = parent;
  w.rect = rect;
  if (parent == 0) {
    z_order_.insert(z_order_.begin(), hwnd);
  } else {
    children_[parent].push_back(hwnd);
  }
  on_created(w);
  changed();
  return hwnd;
}

void WindowModel::destroy_window(Hwnd hwnd) {
  ModelWindow* w = find(hwnd);
  if (!w)
    return;
  // Children first, as user32 destroys them.
  if (auto kids = children_.find(hwnd); kids != children_.end()) {
    std::vector<Hwnd> list = kids->second;
    for (Hwnd child : list)
      destroy_window(child);
    children_.erase(hwnd);
  }
  if (w->parent != 0) {
    auto& siblings = children_[w->parent];
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
  } else {
    z_order_.erase(std::remove(z_order_.begin(), z_order_.end(), hwnd), z_order_.end());
  }
  windows_.erase(hwnd);
  if (foreground_ == hwnd) {
    foreground_ = 0;
    on_foreground_changed(0);
  }
  on_destroyed(hwnd);
  changed();
}

Hwnd WindowModel::GetParent(Hwnd hwnd) {
  const ModelWindow* w = window(hwnd);
  if (!w)
    return 0;
  return w->parent != 0 ? w->parent : w->owner;
}

bool WindowModel::ShowWindow(Hwnd hwnd, int command) {
  ModelWindow* w = find(hwnd);
  if (!w)
    return false;
  const bool was_visible = w->visible;
  const bool visible = command != kSwHide;
  if (visible != was_visible) {
    w->visible = visible;
    on_visibility_changed(*w);
    changed();
  }
  if (command == kSwShow && w->parent == 0 && foreground_ != hwnd) {
    foreground_ = hwnd;
    raise(hwnd);
    on_foreground_changed(hwnd);
    changed();
  }
  return was_visible;
}

bool WindowModel::SetForegroundWindow(Hwnd hwnd) {
  if (!exists(hwnd))
    return false;
  raise(hwnd);
  if (foreground_ != hwnd) {
    foreground_ = hwnd;
    on_foreground_changed(hwnd);
    changed();
  }
  return true;
}

void WindowModel::activate(Hwnd hwnd) {
  if (!exists(hwnd))
    return;
  raise(hwnd);
  if (foreground_ != hwnd) {
    foreground_ = hwnd;
    on_foreground_changed(hwnd);
    changed();
  }
}

bool WindowModel::GetWindowRect(Hwnd hwnd, Rect& rect) {
  const ModelWindow* w = window(hwnd);
  if (!w)
    return false;
  rect = w->rect;
  return true;
}

std::int32_t WindowModel::SetWindowLongA(Hwnd hwnd, int index, std::int32_t value) {
  ModelWindow* w = find(hwnd);
  if (!w)
    return 0;
  std::int32_t previous = 0;
  if (index == kGwlHwndParent && w->parent == 0) {
    previous = w->owner;
    w->owner = value;
  } else if (index == kGwlExStyle) {
    previous = w->ex_style;
    w->ex_style = value;
  } else {
    return 0;
  }
  on_long_changed(*w, index);
  changed();
  return previous;
}

std::int32_t WindowModel::GetWindowLongA(Hwnd hwnd, int index) {
  const ModelWindow* w = window(hwnd);
  if (!w)
    return 0;
  if (index == kGwlHwndParent)
    return w->parent != 0 ? w->parent : w->owner;
  if (index == kGwlExStyle)
    return w->ex_style;
  return 0;
}

Hwnd WindowModel::FindWindowA(std::optional<StrView> class_name, std::optional<StrView> title) {
  for (Hwnd hwnd : z_order_) {
    const ModelWindow& w = windows_.at(hwnd);
    if (matches(class_name, w.class_name) && matches(title, w.title))
      return hwnd;
  }
  return 0;
}

Hwnd WindowModel::FindWindowExA(Hwnd parent, Hwnd child_after, std::optional<StrView> class_name,
                                std::optional<StrView> title) {
  const std::vector<Hwnd>* list = &z_order_;
  if (parent != 0) {
    if (!exists(parent))
      return 0;
    auto it = children_.find(parent);
    if (it == children_.end())
      return 0;
    list = &it->second;
  }
  auto it = list->begin();
  if (child_after != 0) {
    it = std::find(list->begin(), list->end(), child_after);
    if (it == list->end())
      return 0;
    ++it;
  }
  for (; it != list->end(); ++it) {
    const ModelWindow& w = windows_.at(*it);
    if (matches(class_name, w.class_name) && matches(title, w.title))
      return *it;
  }
  return 0;
}

Str WindowModel::GetWindowTextA(Hwnd hwnd, int max_chars) {
  const ModelWindow* w = window(hwnd);
  if (!w || max_chars <= 0)
    return {};
  return w->title.substr(0, static_cast<std::size_t>(max_chars - 1));
}

bool WindowModel::PostMessageA(Hwnd hwnd, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  if (!exists(hwnd))
    return false;
  std::weak_ptr<bool> alive = alive_;
  loop_.post([this, alive, hwnd, m = WindowMessage{message, wparam, lparam}] {
    if (auto a = alive.lock(); a && *a)
      deliver(hwnd, m);
  });
  return true;
}

void WindowModel::deliver(Hwnd hwnd, const WindowMessage& m) {
  ModelWindow* w = find(hwnd);
  if (!w)
    return;  // destroyed while the message was queued
  on_received(*w, m);
  if (m.message == kWmLButtonDown) {
    w->button_down_ = true;
  } else if (m.message == kWmLButtonUp && w->button_down_) {
    w->button_down_ = false;
    ++w->clicks;
  }
  if (w->handler) {
    auto handler = w->handler;  // may replace itself or destroy the window
    handler(m);
  }
  if (const ModelWindow* still = window(hwnd))
    on_message(*still, m);
}

void WindowModel::set_rect(Hwnd hwnd, const Rect& rect) {
  ModelWindow* w = find(hwnd);
  if (!w || w->rect == rect)
    return;
  w->rect = rect;
  on_rect_changed(*w);
  changed();
}

void WindowModel::set_title(Hwnd hwnd, StrView title) {
  ModelWindow* w = find(hwnd);
  if (!w)
    return;
  w->title = Str(title);
  on_title_changed(*w);
  changed();
}

void WindowModel::set_twips_per_pixel(int x, int y) {
  twips_x_ = x;
  twips_y_ = y;
  changed();
}

void WindowModel::set_handler(Hwnd hwnd, std::function<void(const WindowMessage&)> handler) {
  if (ModelWindow* w = find(hwnd))
    w->handler = std::move(handler);
}

void WindowModel::sync_rect(Hwnd hwnd, const Rect& rect) {
  ModelWindow* w = find(hwnd);
  if (!w || w->rect == rect)
    return;
  w->rect = rect;
  changed();
}

void WindowModel::sync_foreground(Hwnd hwnd) {
  if (hwnd != 0 && !exists(hwnd))
    return;
  const bool moved = foreground_ != hwnd;
  foreground_ = hwnd;
  if (hwnd != 0)
    raise(hwnd);
  if (moved)
    changed();
}

void WindowModel::sync_visible(Hwnd hwnd, bool visible) {
  ModelWindow* w = find(hwnd);
  if (!w || w->visible == visible)
    return;
  w->visible = visible;
  changed();
}

std::shared_ptr<void> WindowModel::watch_changes(std::function<void()> on_change) {
  if (!change_watch_)
    return nullptr;
  auto token = std::make_shared<std::function<void()>>(std::move(on_change));
  std::erase_if(watchers_, [](const auto& w) { return w.expired(); });
  watchers_.push_back(token);
  return token;
}

void WindowModel::changed() {
  if (watchers_.empty())
    return;
  const auto watchers = watchers_;
  for (const auto& weak : watchers) {
    if (auto watcher = weak.lock())
      (*watcher)();
  }
}

Rect WindowModel::twips_to_pixels(int left, int top, int width, int height) const {
  Rect r;
  r.left = to_pixels(left, twips_x_);
  r.top = to_pixels(top, twips_y_);
  r.right = r.left + size_to_pixels(width, twips_x_);
  r.bottom = r.top + size_to_pixels(height, twips_y_);
  return r;
}

}  // namespace brevant
