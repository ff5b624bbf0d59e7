#pragma once
// The companion's browser: the WebBrowser control hosted in the form's window through a
// BrowserSite. Its failures are thrown to the plug-in's own callers only.

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/browser.h"
#include "platform/failure.h"
#include "platform/win32/browser_site.h"
#include "platform/win32/com_kit.h"
#include "platform/win32/keyboard_routing.h"

namespace brevant::win32 {

using com::Bstr;
using com::query;
using com::Variant;

inline void check(HRESULT hr, const char* what) {
  if (FAILED(hr))
    throw std::runtime_error(what);
}

class Win32Browser final : public Browser {
 public:
  Win32Browser() = default;
  ~Win32Browser() override { destroy(); }
  Win32Browser(const Win32Browser&) = delete;
  Win32Browser& operator=(const Win32Browser&) = delete;

  // Creates the control in `hwnd`. A failure leaves the browser without a control: every
  // later call fails the way a page that is not loaded does.
  void create(HWND hwnd) {
    site_ = new (std::nothrow) BrowserSite(hwnd);
    if (!site_)
      return;
    skip_failure("keyboard routing", [&] { KeyboardRouting::add(site_); });
    site_->on_before_navigate(handler_);
    hwnd_ = hwnd;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(ole_.put()))))
      return;
    if (FAILED(ole_->SetClientSite(static_cast<IOleClientSite*>(site_))))
      return;
    RECT inner{};
    GetClientRect(hwnd, &inner);
    if (FAILED(ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_),
                            0, hwnd, &inner)))
      return;
    web_ = query<IWebBrowser2>(ole_.get());
    if (auto container = query<IConnectionPointContainer>(ole_.get())) {
      if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.put()))) {
        if (FAILED(events_->Advise(static_cast<IDispatch*>(site_), &cookie_)))
          cookie_ = 0;
      }
    }
  }

  void destroy() {
    if (events_ && cookie_ != 0)
      events_->Unadvise(cookie_);
    cookie_ = 0;
    events_.reset();
    web_.reset();
    if (ole_) {
      if (auto inplace = query<IOleInPlaceObject>(ole_.get()))
        inplace->InPlaceDeactivate();
      ole_->Close(OLECLOSE_NOSAVE);
      ole_->SetClientSite(nullptr);
      ole_.reset();
    }
    if (site_) {
      KeyboardRouting::remove(site_);
      site_->detach();
      std::exchange(site_, nullptr)->Release();
    }
    hwnd_ = nullptr;
  }

  void fit(HWND hwnd) {
    if (!ole_)
      return;
    RECT inner{};
    GetClientRect(hwnd, &inner);
    if (auto inplace = query<IOleInPlaceObject>(ole_.get()))
      inplace->SetObjectRects(&inner, &inner);
  }

  Str navigate_file(const Str& path) override {
    if (!web_)
      throw std::runtime_error("no browser control");
    // The control reports a local page by its file URL; ask the system for the same spelling.
    const Str url = file_url(path);
    Variant where, none;
    V_VT(where.get()) = VT_BSTR;
    V_BSTR(where.get()) = com::to_bstr(url);
    check(web_->Navigate2(where.get(), none.get(), none.get(), none.get(), none.get()),
          "navigation refused");
    return url;
  }

  void exec_script(const Str& line) override {
    if (!web_)
      throw std::runtime_error("no browser control");
    ComPtr<IDispatch> document;
    check(web_->get_Document(document.put()), "no document");
    auto html = query<IHTMLDocument2>(document.get());
    if (!html)
      throw std::runtime_error("no document");
    ComPtr<IHTMLWindow2> window;
    check(html->get_parentWindow(window.put()), "no window");
    if (!window)
      throw std::runtime_error("no window");
    Bstr code(line);
    Bstr language(u"JAVAscript");
    Variant result;
    check(window->execScript(code.get(), language.get(), result.get()), "script failed");
  }

  void on_before_navigate(std::function<void(const Str&)> handler) override {
    handler_ = std::move(handler);
    if (site_)
      site_->on_before_navigate(handler_);
  }

  void focus() override {
    if (!ole_ || !hwnd_)
      return;
    RECT inner{};
    GetClientRect(hwnd_, &inner);
    ole_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, hwnd_,
                 &inner);
  }

 private:
  HWND hwnd_ = nullptr;
  BrowserSite* site_ = nullptr;
  ComPtr<IOleObject> ole_;
  ComPtr<IWebBrowser2> web_;
  ComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  std::function<void(const Str&)> handler_;
};

}  // namespace brevant::win32
