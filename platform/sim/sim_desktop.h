#pragma once
// The tests' desktop: the window model (platform/window_model.h) with a record of what the
// plug-in did to it (foreground calls, waits, the messages each window received), a foreground
// lock as Windows has it, and forms whose browser records its script lines.
//
// The scenario tier drives it directly (it plays the host messenger's windows and the user).

#include <map>
#include <memory>
#include <vector>

#include "platform/browser.h"
#include "platform/window_model.h"

namespace brevant {

class SimForm;

using SimMessage = WindowMessage;
using SimWindow = ModelWindow;

class SimDesktop final : public WindowModel {
 public:
  explicit SimDesktop(EventLoop& loop, int twips_per_pixel_x = 15, int twips_per_pixel_y = 15);
  ~SimDesktop() override;

  // Recorded, and refused while the foreground is locked.
  bool SetForegroundWindow(Hwnd hwnd) override;
  // Records the wait; the virtual clock does not move (the thread is simply blocked).
  void Sleep(int ms) override;
  std::unique_ptr<Form> create_form() override;

  // While locked, SetForegroundWindow is refused (recorded, returns false), as Windows refuses
  // it to a program that is not in the foreground.
  void set_foreground_lock(bool locked) { foreground_locked_ = locked; }

  // Every SetForegroundWindow call that found its window, in order.
  const std::vector<Hwnd>& foreground_calls() const { return foreground_calls_; }
  // Every Sleep call, in order, and their sum.
  const std::vector<int>& sleeps() const { return sleeps_; }
  std::int64_t slept_ms() const { return slept_ms_; }
  void clear_records();
  // Every message the window received, in order (empty once it is destroyed).
  const std::vector<SimMessage>& received(Hwnd hwnd) const;

  // The live forms made by create_form(), by handle; nullptr when none or closed.
  SimForm* form(Hwnd hwnd) const;

 private:
  friend class SimForm;
  void on_received(const ModelWindow& w, const SimMessage& m) override;
  void on_destroyed(Hwnd hwnd) override;
  void forget_form(Hwnd hwnd) { forms_.erase(hwnd); }

  std::map<Hwnd, SimForm*> forms_;
  bool foreground_locked_ = false;
  std::vector<Hwnd> foreground_calls_;
  std::vector<int> sleeps_;
  std::int64_t slept_ms_ = 0;
  std::map<Hwnd, std::vector<SimMessage>> received_;
};

// A browser control that keeps every script line, records its navigations and lets a test
// raise the before-navigate event with any URL.
class RecordingBrowser final : public Browser {
 public:
  // The URL a control reports for a local file: "file:///" and the path with "/" for "\",
  // UTF-8 percent-encoded except for letters, digits and "-._~/:".
  static Str file_url(StrView path);

  Str navigate_file(const Str& path) override;
  // Throws std::runtime_error while there is no document.
  void exec_script(const Str& line) override;
  void on_before_navigate(std::function<void(const Str& url)> handler) override {
    handler_ = std::move(handler);
  }
  void focus() override { ++focuses_; }

  // Raises before-navigate as the control does for a navigation to `url`.
  void navigate(const Str& url);
  // false: scripts fail as in a control whose page did not load (no document).
  void set_document(bool present) { document_ = present; }

  const std::vector<Str>& navigations() const { return navigations_; }  // paths given
  const std::vector<Str>& lines() const { return lines_; }              // scripts run
  int failed_scripts() const { return failed_; }
  int focuses() const { return focuses_; }
  void clear() {
    lines_.clear();
    failed_ = 0;
  }

 private:
  std::function<void(const Str&)> handler_;
  std::vector<Str> navigations_;
  std::vector<Str> lines_;
  bool document_ = true;
  int failed_ = 0;
  int focuses_ = 0;
};

// The companion form on the sim desktop: a top-level window of class "BrevantCompanion". A form
// that outlives its desktop keeps its last values and moves nothing.
class SimForm final : public Form {
 public:
  SimForm(SimDesktop& desktop, Hwnd hwnd);
  ~SimForm() override;

  Hwnd hwnd() const override { return hwnd_; }
  void move(int left, int top, int width, int height) override;
  int left() const override { return left_; }
  int top() const override { return top_; }
  int width() const override { return width_; }
  int height() const override { return height_; }
  void refit_browser() override { ++refits_; }
  Browser& browser() override { return browser_; }
  void close() override;
  bool closed() const override { return closed_; }

  RecordingBrowser& recording_browser() { return browser_; }
  int moves() const { return moves_; }
  int refits() const { return refits_; }

 private:
  friend class SimDesktop;
  SimDesktop* desktop_;  // null once the desktop is gone
  Hwnd hwnd_;
  RecordingBrowser browser_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int moves_ = 0;
  int refits_ = 0;
  bool closed_ = false;
};

inline constexpr const char16_t* kSimFormClass = kCompanionFormClass;

}  // namespace brevant
