#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
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

SimDesktop::SimDesktop(EventLoop& loop, int twips_per_pixel_x, int twips_per_pixel_y)
    : loop_(loop), twips_x_(twips_per_pixel_x), twips_y_(twips_per_pixel_y) {}

SimDesktop::~SimDesktop() {
  *alive_ = false;
  for (auto& [hwnd, form] : forms_)
    form->desktop_ = nullptr;
}

SimWindow* SimDesktop::find(Hwnd hwnd) {
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : &it->second;
}

const SimWindow* SimDesktop::window(Hwnd hwnd) const {
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : &it->second;
}

Hwnd SimDesktop::root_of(Hwnd hwnd) const {
  const SimWindow* w = window(hwnd);
  while (w && w->parent != 0) {
    hwnd = w->parent;
    w = window(hwnd);
  }
  return w ? hwnd : 0;
}

void SimDesktop::raise(Hwnd hwnd) {
  Hwnd root = root_of(hwnd);
  auto it = std::find(z_order_.begin(), z_order_.end(), root);
  if (it != z_order_.end())
    std::rotate(z_order_.begin(), it, it + 1);
}

Hwnd SimDesktop::create_window(StrView class_name, StrView title, Hwnd parent, Rect rect) {
  if (parent != 0 && !exists(parent))
    return 0;
  Hwnd hwnd = next_handle_;
  next_handle_ += 4;
  SimWindow& w = windows_[hwnd];
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

void SimDesktop::destroy_window(Hwnd hwnd) {
  SimWindow* w = find(hwnd);
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

Hwnd SimDesktop::GetParent(Hwnd hwnd) {
  const SimWindow* w = window(hwnd);
  if (!w)
    return 0;
  return w->parent != 0 ? w->parent : w->owner;
}

bool SimDesktop::ShowWindow(Hwnd hwnd, int command) {
  SimWindow* w = find(hwnd);
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

bool SimDesktop::SetForegroundWindow(Hwnd hwnd) {
  if (!exists(hwnd))
    return false;
  foreground_calls_.push_back(hwnd);
  if (foreground_locked_)
    return false;
  raise(hwnd);
  if (foreground_ != hwnd) {
    foreground_ = hwnd;
    on_foreground_changed(hwnd);
    changed();
  }
  return true;
}

void SimDesktop::activate(Hwnd hwnd) {
  if (!exists(hwnd))
    return;
  raise(hwnd);
  if (foreground_ != hwnd) {
    foreground_ = hwnd;
    on_foreground_changed(hwnd);
    changed();
  }
}

bool SimDesktop::GetWindowRect(Hwnd hwnd, Rect& rect) {
  const SimWindow* w = window(hwnd);
  if (!w)
    return false;
  rect = w->rect;
  return true;
}

std::int32_t SimDesktop::SetWindowLongA(Hwnd hwnd, int index, std::int32_t value) {
  SimWindow* w = find(hwnd);
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

std::int32_t SimDesktop::GetWindowLongA(Hwnd hwnd, int index) {
  const SimWindow* w = window(hwnd);
  if (!w)
    return 0;
  if (index == kGwlHwndParent)
    return w->parent != 0 ? w->parent : w->owner;
  if (index == kGwlExStyle)
    return w->ex_style;
  return 0;
}

Hwnd SimDesktop::FindWindowA(std::optional<StrView> class_name, std::optional<StrView> title) {
  for (Hwnd hwnd : z_order_) {
    const SimWindow& w = windows_.at(hwnd);
    if (matches(class_name, w.class_name) && matches(title, w.title))
      return hwnd;
  }
  return 0;
}

Hwnd SimDesktop::FindWindowExA(Hwnd parent, Hwnd child_after, std::optional<StrView> class_name,
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
    const SimWindow& w = windows_.at(*it);
    if (matches(class_name, w.class_name) && matches(title, w.title))
      return *it;
  }
  return 0;
}

Str SimDesktop::GetWindowTextA(Hwnd hwnd, int max_chars) {
  const SimWindow* w = window(hwnd);
  if (!w || max_chars <= 0)
    return {};
  return w->title.substr(0, static_cast<std::size_t>(max_chars - 1));
}

bool SimDesktop::PostMessageA(Hwnd hwnd, std::uint32_t message, std::uintptr_t wparam,
                              std::intptr_t lparam) {
  if (!exists(hwnd))
    return false;
  std::weak_ptr<bool> alive = alive_;
  loop_.post([this, alive, hwnd, m = SimMessage{message, wparam, lparam}] {
    if (auto a = alive.lock(); a && *a)
      deliver(hwnd, m);
  });
  return true;
}

void SimDesktop::deliver(Hwnd hwnd, const SimMessage& m) {
  SimWindow* w = find(hwnd);
  if (!w)
    return;  // destroyed while the message was queued
  w->received.push_back(m);
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
  if (const SimWindow* still = window(hwnd))
    on_message(*still, m);
}

void SimDesktop::Sleep(int ms) {
  sleeps_.push_back(ms);
  slept_ms_ += ms;
}

void SimDesktop::clear_records() {
  foreground_calls_.clear();
  sleeps_.clear();
  slept_ms_ = 0;
}

void SimDesktop::set_rect(Hwnd hwnd, const Rect& rect) {
  SimWindow* w = find(hwnd);
  if (!w || w->rect == rect)
    return;
  w->rect = rect;
  on_rect_changed(*w);
  changed();
}

void SimDesktop::set_title(Hwnd hwnd, StrView title) {
  SimWindow* w = find(hwnd);
  if (!w)
    return;
  w->title = Str(title);
  on_title_changed(*w);
  changed();
}

void SimDesktop::set_twips_per_pixel(int x, int y) {
  twips_x_ = x;
  twips_y_ = y;
  changed();
}

void SimDesktop::set_handler(Hwnd hwnd, std::function<void(const SimMessage&)> handler) {
  if (SimWindow* w = find(hwnd))
    w->handler = std::move(handler);
}

void SimDesktop::sync_rect(Hwnd hwnd, const Rect& rect) {
  SimWindow* w = find(hwnd);
  if (!w || w->rect == rect)
    return;
  w->rect = rect;
  changed();
}

void SimDesktop::sync_foreground(Hwnd hwnd) {
  if (hwnd != 0 && !exists(hwnd))
    return;
  const bool moved = foreground_ != hwnd;
  foreground_ = hwnd;
  if (hwnd != 0)
    raise(hwnd);
  if (moved)
    changed();
}

void SimDesktop::sync_visible(Hwnd hwnd, bool visible) {
  SimWindow* w = find(hwnd);
  if (!w || w->visible == visible)
    return;
  w->visible = visible;
  changed();
}

std::shared_ptr<void> SimDesktop::watch_changes(std::function<void()> on_change) {
  if (!change_watch_)
    return nullptr;
  auto token = std::make_shared<std::function<void()>>(std::move(on_change));
  std::erase_if(watchers_, [](const auto& w) { return w.expired(); });
  watchers_.push_back(token);
  return token;
}

void SimDesktop::changed() {
  if (watchers_.empty())
    return;
  const auto watchers = watchers_;
  for (const auto& weak : watchers) {
    if (auto watcher = weak.lock())
      (*watcher)();
  }
}

SimForm* SimDesktop::form(Hwnd hwnd) const {
  auto it = forms_.find(hwnd);
  return it == forms_.end() ? nullptr : it->second;
}

Rect SimDesktop::twips_to_pixels(int left, int top, int width, int height) const {
  Rect r;
  r.left = to_pixels(left, twips_x_);
  r.top = to_pixels(top, twips_y_);
  r.right = r.left + size_to_pixels(width, twips_x_);
  r.bottom = r.top + size_to_pixels(height, twips_y_);
  return r;
}

std::unique_ptr<Form> SimDesktop::create_form() {
  Hwnd hwnd = create_window(kSimFormClass, u"");
  auto form = std::make_unique<SimForm>(*this, hwnd);
  forms_[hwnd] = form.get();
  return form;
}

// ---------------------------------------------------------------- RecordingBrowser

Str RecordingBrowser::file_url(StrView path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string bytes = to_utf8(path);
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  std::string url = bytes.starts_with("/") ? "file://" : "file:///";
  for (unsigned char c : bytes) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == ':';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0xF];
    }
  }
  return from_utf8(url);
}

Str RecordingBrowser::navigate_file(const Str& path) {
  navigations_.push_back(path);
  Str url = file_url(path);
  navigate(url);
  return url;
}

void RecordingBrowser::navigate(const Str& url) {
  if (handler_) {
    auto handler = handler_;
    handler(url);
  }
}

void RecordingBrowser::exec_script(const Str& line) {
  if (!document_) {
    ++failed_;
    throw std::runtime_error("the page has no document");
  }
  lines_.push_back(line);
}

// ---------------------------------------------------------------- SimForm

SimForm::SimForm(SimDesktop& desktop, Hwnd hwnd) : desktop_(&desktop), hwnd_(hwnd) {
  // A click into the form lands in the browser control that fills it.
  desktop.set_handler(hwnd, [this](const SimMessage& m) {
    if (m.message == kWmLButtonDown)
      browser_.focus();
  });
}

SimForm::~SimForm() {
  close();
}

void SimForm::move(int left, int top, int width, int height) {
  if (closed_)
    return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  ++moves_;
  if (desktop_)
    desktop_->set_rect(hwnd_, desktop_->twips_to_pixels(left, top, width, height));
}

void SimForm::close() {
  if (closed_)
    return;
  closed_ = true;
  if (desktop_) {
    desktop_->forget_form(hwnd_);
    desktop_->destroy_window(hwnd_);
  }
}

}  // namespace brevant
