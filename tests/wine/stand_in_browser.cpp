#include "stand_in_browser.h"

#include <exdispid.h>
#include <mshtml.h>
#include <ocidl.h>
#include <shlwapi.h>

#include <span>
#include <utility>

#include "browser_not_implemented.h"

namespace brevant::wine {
namespace {

using com::ComObject;
using com::ComPtr;
using com::guarded;

int g_live = 0;
std::vector<std::shared_ptr<StandInRecord>> g_made;

struct StandInTypes {
  static ITypeInfo* type_info(REFIID) { return nullptr; }
  static void object_created() { ++g_live; }
  static void object_destroyed() { --g_live; }
};

template <class Base, class Itf = Base>
class Part : public Base {
 public:
  using Interface = Itf;
};

// The IDispatch of an object that only the vtable reaches.
template <class Base, class Itf>
class Dispatch : public Part<com::NoTypeInfo<Base>, Itf> {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

class StandInWindow final
    : public ComObject<StandInTypes, Dispatch<HtmlWindow2NotImplemented, IHTMLWindow2>> {
 public:
  explicit StandInWindow(std::shared_ptr<StandInRecord> record) : record_(std::move(record)) {}

  HRESULT STDMETHODCALLTYPE execScript(BSTR code, BSTR language, VARIANT* result) override {
    return guarded([&]() -> HRESULT {
      if (result)
        VariantInit(result);
      record_->scripts.push_back({code ? code : L"", language ? language : L""});
      return record_->script_result;
    });
  }

 private:
  std::shared_ptr<StandInRecord> record_;
};

class StandInDocument final
    : public ComObject<StandInTypes, Dispatch<HtmlDocument2NotImplemented, IHTMLDocument2>> {
 public:
  explicit StandInDocument(std::shared_ptr<StandInRecord> record) : record_(std::move(record)) {}

  HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** out) override {
    return guarded([&]() -> HRESULT {
      if (!out)
        return E_POINTER;
      *out = nullptr;
      if (record_->document == DocumentAnswer::kWindowFails)
        return E_FAIL;
      *out = new StandInWindow(record_);
      return S_OK;
    });
  }

 private:
  std::shared_ptr<StandInRecord> record_;
};

class StandInEvents final : public ComObject<StandInTypes, Part<IConnectionPoint>> {
 public:
  StandInEvents(std::shared_ptr<StandInRecord> record, IConnectionPointContainer* container)
      : record_(std::move(record)), container_(container) {}

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid)
      return E_POINTER;
    *iid = DIID_DWebBrowserEvents2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out)
      return E_POINTER;
    *out = container_.get();
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie)
      return E_POINTER;
    *cookie = 0;
    if (record_->sink)
      return CONNECT_E_ADVISELIMIT;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&events))))
      return CONNECT_E_CANNOTCONNECT;
    record_->sink = ComPtr<IDispatch>::adopt(events);
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    if (cookie != 1 || !record_->sink)
      return CONNECT_E_NOCONNECTION;
    record_->sink.reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  std::shared_ptr<StandInRecord> record_;
  ComPtr<IConnectionPointContainer> container_;
};

class StandInBrowser final
    : public ComObject<StandInTypes, Dispatch<WebBrowser2NotImplemented, IWebBrowser2>,
                       Part<IOleObject>, Part<IOleInPlaceObject>, Part<IConnectionPointContainer>> {
 public:
  explicit StandInBrowser(std::shared_ptr<StandInRecord> record) : record_(std::move(record)) {}
  // A control lets go of its container and its advisers when it goes.
  ~StandInBrowser() override {
    record_->site.reset();
    record_->sink.reset();
  }

  // IWebBrowser2
  HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*,
                                      VARIANT*) override {
    return guarded([&]() -> HRESULT {
      if (!url || V_VT(url) != VT_BSTR)
        return E_INVALIDARG;
      record_->navigations.emplace_back(V_BSTR(url) ? V_BSTR(url) : L"");
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** out) override {
    return guarded([&]() -> HRESULT {
      if (!out)
        return E_POINTER;
      *out = nullptr;
      switch (record_->document) {
        case DocumentAnswer::kNull:
          return S_OK;
        case DocumentAnswer::kFails:
          return E_FAIL;
        default:
          *out = static_cast<IHTMLDocument2*>(new StandInDocument(record_));
          return S_OK;
      }
    });
  }

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
    record_->site = ComPtr<IOleClientSite>(site);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
    if (!out)
      return E_POINTER;
    *out = record_->site.get();
    if (*out)
      (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override {
    record_->closed = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  // In-place activation asks the container for its frame, as the control does.
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                   LPCRECT) override {
    record_->window = parent;
    if (verb != OLEIVERB_INPLACEACTIVATE || !site)
      return S_OK;
    IOleInPlaceSite* inplace = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inplace))))
      return E_NOINTERFACE;
    const auto owned = ComPtr<IOleInPlaceSite>::adopt(inplace);
    if (inplace->CanInPlaceActivate() != S_OK)
      return E_FAIL;
    inplace->OnInPlaceActivate();
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof(info);
    if (SUCCEEDED(inplace->GetWindowContext(&frame, &document, &position, &clip, &info))) {
      if (frame)
        frame->Release();
      if (document)
        document->Release();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override {
    if (!id)
      return E_POINTER;
    *id = CLSID_WebBrowser;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* cookie) override {
    if (cookie)
      *cookie = 0;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    if (!status)
      return E_POINTER;
    *status = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    if (!out)
      return E_POINTER;
    *out = record_->window;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT, LPCRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    return guarded([&]() -> HRESULT {
      if (!out)
        return E_POINTER;
      *out = nullptr;
      if (iid != DIID_DWebBrowserEvents2)
        return CONNECT_E_NOCONNECTION;
      *out = new StandInEvents(record_, this);
      return S_OK;
    });
  }

 private:
  std::shared_ptr<StandInRecord> record_;
};

// Lives as long as the program; COM's references do not own it.
class StandInFactory final : public com::Unknown<StandInFactory, IClassFactory> {
 public:
  static std::span<const com::InterfaceRow<StandInFactory>> interfaces() {
    static const com::InterfaceRow<StandInFactory> rows[] = {
        com::row<StandInFactory, IClassFactory>(IID_IClassFactory)};
    return rows;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return guarded([&]() -> HRESULT {
      if (!out)
        return E_POINTER;
      *out = nullptr;
      if (outer)
        return CLASS_E_NOAGGREGATION;
      g_made.push_back(std::make_shared<StandInRecord>());
      auto browser = ComPtr<IWebBrowser2>::adopt(new StandInBrowser(g_made.back()));
      return browser->QueryInterface(iid, out);
    });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

StandInFactory g_factory;

}  // namespace

bool StandInRecord::before_navigate(const std::wstring& url) {
  const ComPtr<IDispatch> events = sink;  // the handler may unadvise
  if (!events)
    return false;
  com::Bstr text(StrView(reinterpret_cast<const char16_t*>(url.data()), url.size()));
  VARIANT url_value, empty, cancelled;
  VariantInit(&url_value);
  VariantInit(&empty);
  V_VT(&url_value) = VT_BSTR;
  V_BSTR(&url_value) = text.get();
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VariantInit(&cancelled);
  V_VT(&cancelled) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&cancelled) = &cancel;
  const auto by_ref = [](VARIANT* v) {
    VARIANT r;
    VariantInit(&r);
    V_VT(&r) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&r) = v;
    return r;
  };
  VARIANT frame;
  VariantInit(&frame);
  V_VT(&frame) = VT_DISPATCH;
  V_DISPATCH(&frame) = nullptr;
  // Last first: frame, URL, flags, target frame name, post data, headers, cancel.
  VARIANT args[7] = {cancelled,      by_ref(&empty),     by_ref(&empty), by_ref(&empty),
                     by_ref(&empty), by_ref(&url_value), frame};
  DISPPARAMS params{args, nullptr, 7, 0};
  return SUCCEEDED(events->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &params,
                                  nullptr, nullptr, nullptr));
}

std::wstring StandInRecord::page_path() const {
  if (navigations.empty())
    return {};
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  if (FAILED(PathCreateFromUrlW(navigations.front().c_str(), path, &size, 0)))
    return {};
  return path;
}

StandInControls::StandInControls() : ole_(SUCCEEDED(OleInitialize(nullptr))) {
  g_made.clear();
  if (FAILED(CoRegisterClassObject(CLSID_WebBrowser, &g_factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie_)))
    cookie_ = 0;
}

StandInControls::~StandInControls() {
  if (cookie_)
    CoRevokeClassObject(cookie_);
  g_made.clear();
  if (ole_)
    OleUninitialize();
}

const std::vector<std::shared_ptr<StandInRecord>>& StandInControls::made() const {
  return g_made;
}

StandInRecord* StandInControls::in(HWND window) const {
  for (auto it = g_made.rbegin(); it != g_made.rend(); ++it) {
    if ((*it)->window == window)
      return it->get();
  }
  return nullptr;
}

int StandInControls::live() {
  return g_live;
}

}  // namespace brevant::wine
