#pragma once
// The WebBrowser control's container in the companion form: client site, in-place site and
// frame in one object, and the sink of the control's events. Nothing thrown by the plug-in's
// navigation handler leaves its event method.

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <span>
#include <utility>

#include "platform/failure.h"
#include "platform/text.h"
#include "platform/win32/com_kit.h"
#include "platform/win32/win32_module.h"

namespace brevant::win32 {

inline const wchar_t* wide(const Str& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

// The URL text of a before-navigate argument: a BSTR, directly or by reference.
Str url_of(const VARIANT& v);
// The file URL of a local path, or the path itself when the system cannot spell it.
Str file_url(const Str& path);
// Some controls report a navigation to a local page by its path rather than its file URL; the
// plug-in tells its own page by the URL, so a path is spelled as the URL it stands for.
Str reported_url(const Str& url);

using com::ComPtr;

// The control's container: client site, in-place site and frame in one object, and the sink of
// the control's DWebBrowserEvents2. The control holds references to it; the browser detaches it
// at close, after which it only answers politely until the last reference goes.
class BrowserSite final : public com::Unknown<BrowserSite, IOleClientSite, IOleInPlaceSite,
                                              IOleInPlaceFrame, com::NoTypeInfo<>> {
 public:
  explicit BrowserSite(HWND hwnd) : hwnd_(hwnd) {}

  static std::span<const com::InterfaceRow<BrowserSite>> interfaces() {
    using com::row;
    static const com::InterfaceRow<BrowserSite> rows[] = {
        row<BrowserSite, IOleClientSite>(IID_IOleClientSite),
        row<BrowserSite, IOleInPlaceSite>(IID_IOleWindow),
        row<BrowserSite, IOleInPlaceSite>(IID_IOleInPlaceSite),
        row<BrowserSite, IOleInPlaceFrame>(IID_IOleInPlaceUIWindow),
        row<BrowserSite, IOleInPlaceFrame>(IID_IOleInPlaceFrame),
        row<BrowserSite, IDispatch>(IID_IDispatch),
        row<BrowserSite, IDispatch>(DIID_DWebBrowserEvents2)};
    return rows;
  }

  void on_before_navigate(std::function<void(const Str&)> handler) {
    handler_ = std::move(handler);
  }
  void detach() {
    hwnd_ = nullptr;
    handler_ = nullptr;
    active_.reset();
  }
  HWND hwnd() const { return hwnd_; }
  // The object that takes the control's keyboard accelerators, while it is in-place active.
  IOleInPlaceActiveObject* active_object() const { return active_.get(); }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
    if (out)
      *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (through both the in-place site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    if (!out)
      return E_POINTER;
    *out = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return hwnd_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !doc || !pos || !clip || !info)
      return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    RECT inner{};
    if (hwnd_)
      GetClientRect(hwnd_, &inner);
    *pos = inner;
    *clip = inner;
    info->fMDIApp = FALSE;
    info->hwndFrame = hwnd_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
    active_ = ComPtr<IOleInPlaceActiveObject>(active);
    return S_OK;
  }

  // IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch: the control's events. Only the before-navigate event matters; the navigation
  // always proceeds (the cancel flag is left as the control set it).
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result)
      VariantInit(result);
    // Arguments arrive last first: the URL is the second of seven.
    if (id != DISPID_BEFORENAVIGATE2 || !params || params->cArgs != 7 || !handler_)
      return S_OK;
    AddRef();  // the handler may close the form
    skip_failure("before navigate", [&] {
      auto handler = handler_;
      handler(reported_url(url_of(params->rgvarg[5])));
    });
    Release();
    return S_OK;
  }

 private:
  friend Unknown;  // deletes it at the last release
  ~BrowserSite() = default;

  HWND hwnd_;
  std::function<void(const Str&)> handler_;
  ComPtr<IOleInPlaceActiveObject> active_;
  LiveObject alive_;
};

}  // namespace brevant::win32
