#pragma once
// The companion's form and the browser control it hosts. Windows: a window class of the DLL with
// the WebBrowser control and its events. Linux: a GTK utility window with a WebKitGTK view.
// Tests: a sim window with a recording browser (platform/sim/sim_desktop.h).

#include <functional>

#include "platform/desktop.h"
#include "platform/text.h"

namespace brevant {

class Browser {
 public:
  virtual ~Browser() = default;

  // Starts loading a local page file (a path in the plug-in folder, as the platform spells
  // paths). Returns the page's URL as the control will report it in before-navigate events
  // (without fragment), so the owner can tell its own page from any other.
  virtual Str navigate_file(const Str& path) = 0;

  // Runs one line of script in the loaded page's window. Throws when there is no document or
  // the call fails (a page that is not loaded); the caller decides whether that matters.
  virtual void exec_script(const Str& line) = 0;

  // Raised before every navigation, same-document fragment changes included, with the full URL
  // as the control reports it (percent-encoded). The navigation always proceeds.
  virtual void on_before_navigate(std::function<void(const Str& url)> handler) = 0;

  // Gives the keyboard focus to the control (part of a click into the companion).
  virtual void focus() = 0;
};

class Form {
 public:
  virtual ~Form() = default;

  virtual Hwnd hwnd() const = 0;

  // Moves and sizes the form; twips, converted with the screen's factors (a size under one
  // pixel becomes one pixel, or zero for zero). The browser control keeps filling the form.
  virtual void move(int left, int top, int width, int height) = 0;
  // The form's position and size in twips as last placed.
  virtual int left() const = 0;
  virtual int top() const = 0;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Refits the browser control to (0, 0) and the form's inner size.
  virtual void refit_browser() = 0;

  virtual Browser& browser() = 0;

  // Closes the window; the form's timers and browser go with it. Further calls do nothing.
  virtual void close() = 0;
  virtual bool closed() const = 0;
};

}  // namespace brevant
