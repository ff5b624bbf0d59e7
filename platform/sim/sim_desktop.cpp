#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace brevant {

SimDesktop::SimDesktop(EventLoop& loop, int twips_per_pixel_x, int twips_per_pixel_y)
    : WindowModel(loop, twips_per_pixel_x, twips_per_pixel_y) {}

SimDesktop::~SimDesktop() {
  for (auto& [hwnd, form] : forms_)
    form->desktop_ = nullptr;
}

bool SimDesktop::SetForegroundWindow(Hwnd hwnd) {
  if (!exists(hwnd))
    return false;
  foreground_calls_.push_back(hwnd);
  if (foreground_locked_)
    return false;
  return WindowModel::SetForegroundWindow(hwnd);
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

const std::vector<SimMessage>& SimDesktop::received(Hwnd hwnd) const {
  static const std::vector<SimMessage> kNone;
  auto it = received_.find(hwnd);
  return it == received_.end() ? kNone : it->second;
}

void SimDesktop::on_received(const ModelWindow& w, const SimMessage& m) {
  received_[w.hwnd].push_back(m);
}

void SimDesktop::on_destroyed(Hwnd hwnd) {
  received_.erase(hwnd);
}

SimForm* SimDesktop::form(Hwnd hwnd) const {
  auto it = forms_.find(hwnd);
  return it == forms_.end() ? nullptr : it->second;
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
