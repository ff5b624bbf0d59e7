// The companion form: a top-level tool window of this module's own class, hosting the
// WebBrowser control in a minimal OLE container (client site, in-place site and frame) and
// listening to the control's events through its connection point.
//
// Nothing thrown here leaves a window procedure or a COM method: the browser's failures are
// thrown to the plug-in's own callers only, and the event sink runs the handler through
// skip_failure.

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>
#include <shlwapi.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_module.h"

namespace brevant {
namespace {

constexpr wchar_t kFormClass[] = L"brevant.Companion";
// The longest URL the control takes (INTERNET_MAX_URL_LENGTH).
constexpr DWORD kMaxUrl = 2084;

const wchar_t* wide(const Str& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

struct Release {
  void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
using Owned = std::unique_ptr<T, Release>;

template <class T>
Owned<T> query(IUnknown* from) {
  T* out = nullptr;
  if (!from || FAILED(from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&out))))
    return nullptr;
  return Owned<T>(out);
}

class Bstr {
 public:
  explicit Bstr(const wchar_t* s, UINT n) : b_(SysAllocStringLen(s, n)) {
    if (!b_)
      throw std::bad_alloc();
  }
  explicit Bstr(const Str& s) : Bstr(wide(s), static_cast<UINT>(s.size())) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

void check(HRESULT hr, const char* what) {
  if (FAILED(hr))
    throw std::runtime_error(what);
}

// The URL text of a before-navigate argument: a BSTR, directly or by reference.
Str url_of(const VARIANT& v) {
  const VARIANT* p = &v;
  if (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p))
    p = V_VARIANTREF(p);
  BSTR b = nullptr;
  if (V_VT(p) == VT_BSTR)
    b = V_BSTR(p);
  else if (V_VT(p) == (VT_BYREF | VT_BSTR) && V_BSTRREF(p))
    b = *V_BSTRREF(p);
  return b ? Str(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : Str();
}

// The file URL of a local path, or the path itself when the system cannot spell it.
Str file_url(const Str& path) {
  wchar_t buffer[kMaxUrl];
  DWORD size = kMaxUrl;
  if (path.empty() || FAILED(UrlCreateFromPathW(wide(path), buffer, &size, 0)))
    return path;
  return Str(reinterpret_cast<const char16_t*>(buffer), size);
}

// Some controls report a navigation to a local page by its path rather than its file URL; the
// plug-in tells its own page by the URL, so a path is spelled as the URL it stands for.
Str reported_url(const Str& url) {
  const std::size_t hash = url.find(u'#');
  const Str page = url.substr(0, hash);
  if (page.empty() || PathIsURLW(wide(page)))
    return url;
  return file_url(page) + (hash == Str::npos ? Str() : url.substr(hash));
}

// The control's container: client site, in-place site and frame in one object, and the sink of
// the control's DWebBrowserEvents2. The control holds references to it; the browser detaches it
// at close, after which it only answers politely until the last reference goes.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDispatch {
 public:
  explicit BrowserSite(HWND hwnd) : hwnd_(hwnd) {}

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

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2)
      *out = static_cast<IDispatch*>(this);
    if (!*out)
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
      delete this;
    return static_cast<ULONG>(n);
  }

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
    if (active)
      active->AddRef();
    active_.reset(active);
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
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count)
      *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
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
  ~BrowserSite() = default;

  HWND hwnd_;
  std::function<void(const Str&)> handler_;
  Owned<IOleInPlaceActiveObject> active_;
  LONG refs_ = 1;
  LiveObject alive_;
};

// The messenger runs the message loop, so the control never sees its keyboard accelerators
// (Tab, Ctrl+C, Ctrl+V, Ctrl+A ...) unless they are handed to it on their way: a message hook
// of this thread offers each key message for one of the companions' windows to that
// companion's control first, as a container's own loop would.
class KeyboardRouting {
 public:
  static void add(BrowserSite* site) {
    sites().push_back(site);
    if (!hook_ && (hook_ = SetWindowsHookExW(WH_GETMESSAGE, &get_message, nullptr,
                                             GetCurrentThreadId())) != nullptr)
      alive_ = new (std::nothrow) LiveObject();
  }
  static void remove(BrowserSite* site) {
    auto& all = sites();
    for (auto it = all.begin(); it != all.end(); ++it) {
      if (*it == site) {
        all.erase(it);
        break;
      }
    }
    if (all.empty() && hook_) {
      UnhookWindowsHookEx(std::exchange(hook_, nullptr));
      delete std::exchange(alive_, nullptr);
    }
  }

 private:
  static std::vector<BrowserSite*>& sites() {
    static std::vector<BrowserSite*> all;
    return all;
  }

  static LRESULT CALLBACK get_message(int code, WPARAM removing, LPARAM lparam) {
    auto* msg = reinterpret_cast<MSG*>(lparam);
    if (code == HC_ACTION && removing == PM_REMOVE && msg && msg->message >= WM_KEYFIRST &&
        msg->message <= WM_KEYLAST) {
      skip_failure("keyboard routing", [&] {
        for (BrowserSite* site : sites()) {
          IOleInPlaceActiveObject* active = site->active_object();
          const HWND form = site->hwnd();
          if (!active || !form || (msg->hwnd != form && !IsChild(form, msg->hwnd)))
            continue;
          if (active->TranslateAccelerator(msg) == S_OK) {
            // Taken by the control: the message goes on as nothing.
            msg->message = WM_NULL;
            msg->wParam = 0;
            msg->lParam = 0;
          }
          break;
        }
      });
    }
    return CallNextHookEx(nullptr, code, removing, lparam);
  }

  static inline HHOOK hook_ = nullptr;
  static inline LiveObject* alive_ = nullptr;
};

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
    IOleObject* ole = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&ole))))
      return;
    ole_.reset(ole);
    if (FAILED(ole_->SetClientSite(static_cast<IOleClientSite*>(site_))))
      return;
    RECT inner{};
    GetClientRect(hwnd, &inner);
    if (FAILED(ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_),
                            0, hwnd, &inner)))
      return;
    web_ = query<IWebBrowser2>(ole_.get());
    if (auto container = query<IConnectionPointContainer>(ole_.get())) {
      IConnectionPoint* point = nullptr;
      if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
        events_.reset(point);
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
    Bstr target(url);
    VARIANT where, none;
    VariantInit(&where);
    VariantInit(&none);
    V_VT(&where) = VT_BSTR;
    V_BSTR(&where) = target.get();
    check(web_->Navigate2(&where, &none, &none, &none, &none), "navigation refused");
    return url;
  }

  void exec_script(const Str& line) override {
    if (!web_)
      throw std::runtime_error("no browser control");
    IDispatch* raw = nullptr;
    check(web_->get_Document(&raw), "no document");
    Owned<IDispatch> document(raw);
    auto html = query<IHTMLDocument2>(document.get());
    if (!html)
      throw std::runtime_error("no document");
    IHTMLWindow2* window = nullptr;
    check(html->get_parentWindow(&window), "no window");
    if (!window)
      throw std::runtime_error("no window");
    Owned<IHTMLWindow2> owned(window);
    Bstr code(line);
    Bstr language(L"JAVAscript", 10);
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = window->execScript(code.get(), language.get(), &result);
    VariantClear(&result);
    check(hr, "script failed");
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
  Owned<IOleObject> ole_;
  Owned<IWebBrowser2> web_;
  Owned<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  std::function<void(const Str&)> handler_;
};

class Win32Form final : public Form {
 public:
  Win32Form(int twips_x, int twips_y) : twips_x_(twips_x), twips_y_(twips_y) {
    // The control needs OLE on this thread; the messenger has it already, a test may not.
    ole_initialized_ = SUCCEEDED(OleInitialize(nullptr));
    register_module_class(kFormClass, &Win32Form::window_proc);
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kFormClass, L"",
                            WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, nullptr,
                            nullptr, this_module_instance(), this);
    if (!hwnd_) {
      release_ole();
      throw std::runtime_error("cannot create the companion window");
    }
    alive_ = std::make_unique<LiveObject>();
    browser_.create(hwnd_);
  }
  ~Win32Form() override {
    close();
    release_ole();
  }
  Win32Form(const Win32Form&) = delete;
  Win32Form& operator=(const Win32Form&) = delete;

  Hwnd hwnd() const override { return to_hwnd_id(hwnd_); }

  void move(int left, int top, int width, int height) override {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (!hwnd_)
      return;
    SetWindowPos(hwnd_, nullptr, MulDiv(left, 1, twips_x_), MulDiv(top, 1, twips_y_),
                 size_in_pixels(width, twips_x_), size_in_pixels(height, twips_y_),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }
  int left() const override { return left_; }
  int top() const override { return top_; }
  int width() const override { return width_; }
  int height() const override { return height_; }

  void refit_browser() override {
    if (hwnd_)
      browser_.fit(hwnd_);
  }

  Browser& browser() override { return browser_; }

  void close() override {
    if (hwnd_)
      DestroyWindow(hwnd_);  // WM_DESTROY takes the control down first
  }
  bool closed() const override { return hwnd_ == nullptr; }

 private:
  // A size under one pixel still shows as one; only zero is zero.
  static int size_in_pixels(int twips, int twips_per_pixel) {
    if (twips == 0)
      return 0;
    const int pixels = MulDiv(twips, 1, twips_per_pixel);
    return pixels < 1 ? 1 : pixels;
  }

  void release_ole() {
    if (std::exchange(ole_initialized_, false))
      OleUninitialize();
  }

  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form)
      return DefWindowProcW(hwnd, message, wparam, lparam);
    switch (message) {
      case WM_SIZE:
        skip_failure("browser fit", [&] { form->browser_.fit(hwnd); });
        return 0;
      case WM_CLOSE:
        // The plug-in closes its companions; a close from outside takes the same way out.
        form->close();
        return 0;
      case WM_DESTROY:
        skip_failure("browser destroy", [&] { form->browser_.destroy(); });
        return 0;
      case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        form->hwnd_ = nullptr;
        form->alive_.reset();
        break;
      default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  int twips_x_;
  int twips_y_;
  bool ole_initialized_ = false;
  HWND hwnd_ = nullptr;
  std::unique_ptr<LiveObject> alive_;
  Win32Browser browser_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace

std::unique_ptr<Form> make_win32_form(int twips_per_pixel_x, int twips_per_pixel_y) {
  return std::make_unique<Win32Form>(twips_per_pixel_x > 0 ? twips_per_pixel_x : 15,
                                     twips_per_pixel_y > 0 ? twips_per_pixel_y : 15);
}

}  // namespace brevant
