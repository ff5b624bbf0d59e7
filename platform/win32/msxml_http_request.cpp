#include "platform/win32/msxml_http_request.h"

#include "platform/failure.h"

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <msxml2.h>
#include <oleauto.h>

#include <memory>
#include <span>
#include <string>

#include "platform/win32/com_kit.h"
#include "platform/win32/win32_module.h"

namespace brevant {
namespace {

// Not in every libuuid: IXMLHTTPRequest's interface id.
const IID kIidXmlHttpRequest = {
    0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

using com::Bstr;

void check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    char code[16];
    wsprintfA(code, "%08lX", static_cast<unsigned long>(hr));
    throw HttpError(std::string(what) + " failed: 0x" + code);
  }
}

class MsxmlHttpRequest;

// The onreadystatechange handler: its default method (DISPID 0) is what the request object
// invokes.
class ReadyStateSink final : public com::Unknown<ReadyStateSink, com::NoTypeInfo<>> {
 public:
  explicit ReadyStateSink(MsxmlHttpRequest* owner) : owner_(owner) {}
  void detach() { owner_ = nullptr; }

  static std::span<const com::InterfaceRow<ReadyStateSink>> interfaces() {
    static const com::InterfaceRow<ReadyStateSink> rows[] = {
        com::row<ReadyStateSink, IDispatch>(IID_IDispatch)};
    return rows;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr)
      return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      const bool known = i == 0 && names[i] != nullptr && lstrcmpiW(names[i], L"doSome") == 0;
      ids[i] = known ? DISPID_VALUE : DISPID_UNKNOWN;
      if (!known)
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

 private:
  friend Unknown;  // deletes it at the last release
  ~ReadyStateSink() = default;
  MsxmlHttpRequest* owner_;
};

class MsxmlHttpRequest : public HttpRequest {
 public:
  explicit MsxmlHttpRequest(IXMLHTTPRequest* xhr) : xhr_(xhr), sink_(new ReadyStateSink(this)) {}
  ~MsxmlHttpRequest() override {
    sink_->detach();
    if (handler_set_)
      xhr_->put_onreadystatechange(nullptr);
    xhr_->Release();
    sink_->Release();
  }

  void open(StrView method, StrView url, bool async) override {
    VARIANT is_async;
    VariantInit(&is_async);
    V_VT(&is_async) = VT_BOOL;
    V_BOOL(&is_async) = async ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT none;
    VariantInit(&none);
    check(xhr_->open(Bstr(method).get(), Bstr(url).get(), is_async, none, none), "open");
  }

  void set_request_header(StrView name, StrView value) override {
    check(xhr_->setRequestHeader(Bstr(name).get(), Bstr(value).get()), "setRequestHeader");
  }

  void set_on_ready_state_change(std::function<void()> handler) override {
    handler_ = std::move(handler);
  }

  void send(StrView body) override {
    if (!handler_set_) {
      check(xhr_->put_onreadystatechange(sink_), "onreadystatechange");
      handler_set_ = true;
    }
    Bstr text(body);
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text.get();
    // An asynchronous send answers with a success code that is not S_OK.
    check(xhr_->send(v), "send");
    // Until the answer is complete the request calls back into this module.
    if (ready_state() != kComplete)
      in_flight_ = std::make_unique<LiveObject>();
  }

  void abort() override {
    sink_->detach();
    xhr_->abort();
    in_flight_.reset();
  }

  int ready_state() const override {
    if (too_large_)
      return kComplete;
    long state = 0;
    return SUCCEEDED(xhr_->get_readyState(&state)) ? static_cast<int>(state) : 0;
  }
  int status() const override {
    if (too_large_ || ready_state() != kComplete)
      return 0;
    long status = 0;
    return SUCCEEDED(xhr_->get_status(&status)) ? static_cast<int>(status) : 0;
  }
  Str response_text() const override {
    if (too_large_)
      return {};
    Bstr text;
    if (FAILED(xhr_->get_responseText(text.put())))
      return {};
    return text.str();
  }

  void changed() {
    if (!too_large_ && answer_too_large()) {
      // Complete it as a failed request; the request object is told to stop reading.
      too_large_ = true;
      sink_->detach();
      xhr_->abort();
    }
    if (too_large_ || ready_state() == kComplete)
      in_flight_.reset();
    if (handler_) {
      auto handler = handler_;  // the handler may replace itself
      handler();
    }
  }

 private:
  // The announced length as soon as the headers are in; the body itself once it is complete
  // (an answer sent without a length), measured in bytes before anything decodes it.
  bool answer_too_large() const {
    long state = 0;
    if (FAILED(xhr_->get_readyState(&state)) || state < kSent)
      return false;
    Bstr length;
    const Bstr name(u"Content-Length");
    if (SUCCEEDED(xhr_->getResponseHeader(name.get(), length.put())) && length.get() != nullptr) {
      const Str digits = Trim(length.str());
      std::size_t value = 0;
      bool number = !digits.empty();
      for (char16_t c : digits) {
        if (c < u'0' || c > u'9') {
          number = false;
          break;
        }
        if (value <= kMaxAnswerBytes)  // past it, the exact figure no longer matters
          value = value * 10 + static_cast<std::size_t>(c - u'0');
      }
      if (number && value > kMaxAnswerBytes)
        return true;
    }
    if (state != kComplete)
      return false;
    com::Variant body;
    if (FAILED(xhr_->get_responseBody(body.put())))
      return false;
    const VARIANT* v = body.get();
    if (V_VT(v) != (VT_ARRAY | VT_UI1) || V_ARRAY(v) == nullptr)
      return false;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(V_ARRAY(v), 1, &lower);
    SafeArrayGetUBound(V_ARRAY(v), 1, &upper);
    return static_cast<long long>(upper) - lower + 1 > static_cast<long long>(kMaxAnswerBytes);
  }

  IXMLHTTPRequest* xhr_;
  ReadyStateSink* sink_;
  bool too_large_ = false;
  bool handler_set_ = false;
  std::function<void()> handler_;
  std::unique_ptr<LiveObject> in_flight_;
};

HRESULT STDMETHODCALLTYPE ReadyStateSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*,
                                                 VARIANT* result, EXCEPINFO*, UINT*) {
  if (result)
    VariantInit(result);
  if (id != DISPID_VALUE)
    return DISP_E_MEMBERNOTFOUND;
  AddRef();  // the request may be released by what the change triggers
  // Nothing crosses back into the request object.
  skip_failure("ready state change", [&] {
    if (owner_ != nullptr)
      owner_->changed();
  });
  Release();
  return S_OK;
}

}  // namespace

MsxmlHttpRequestFactory::MsxmlHttpRequestFactory() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  uninitialize_ = SUCCEEDED(hr);  // S_FALSE too: every success needs its uninitialize
}

MsxmlHttpRequestFactory::~MsxmlHttpRequestFactory() {
  if (uninitialize_)
    CoUninitialize();
}

std::unique_ptr<HttpRequest> MsxmlHttpRequestFactory::create() {
  CLSID clsid;
  check(CLSIDFromProgID(L"MSXML2.XMLHTTP", &clsid), "MSXML2.XMLHTTP");
  IXMLHTTPRequest* xhr = nullptr;
  check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlHttpRequest,
                         reinterpret_cast<void**>(&xhr)),
        "CoCreateInstance");
  return std::make_unique<MsxmlHttpRequest>(xhr);
}

}  // namespace brevant
