#pragma once
// The stand-in messenger's SDK objects: every host object the plug-in may call (application,
// accounts and contacts, chat messages, tab changes, item and input slots, chats, containers,
// owners, contact lists and contact items). Each records the calls it gets in a shared log,
// so that checks can see what the plug-in did.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "com/com_support.h"
#include "qnsdkcom.h"

namespace host_sim {

using brevant::com::ComObject;
using brevant::com::ComPtr;
using brevant::com::DualPart;

// Type information from the SDK type library embedded in this program (resource 1).
struct HostTypes {
  static ITypeInfo* type_info(REFIID iid);
  static void object_created() {}
  static void object_destroyed() {}
};

template <class Itf>
using Dual = DualPart<Itf, HostTypes>;

using CallLog = std::vector<std::string>;
using SharedLog = std::shared_ptr<CallLog>;

inline std::string narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w)
    s += c < 128 ? static_cast<char>(c) : '?';
  return s;
}

inline HRESULT give(BSTR* out, const std::wstring& s) {
  if (!out)
    return E_POINTER;
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Hands out a new object through an out-parameter (the caller owns the reference).
template <class Itf, class Obj>
HRESULT give(Itf** out, Obj* obj) {
  if (!out) {
    obj->Release();
    return E_POINTER;
  }
  *out = obj;
  return S_OK;
}

class HostAccount final : public ComObject<HostTypes, Dual<IQNAccount>> {
 public:
  explicit HostAccount(std::wstring id) : id_(std::move(id)) {}
  HRESULT STDMETHODCALLTYPE GetID(BSTR* id) override { return give(id, id_); }

 private:
  std::wstring id_;
};

class HostApplication final : public ComObject<HostTypes, Dual<IQNApplication>> {
 public:
  int application_queries = 0;  // how often the plug-in asked for IQNApplication
  std::wstring account_id = L"cnquorinhostuser";

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IQNApplication)
      ++application_queries;
    return ComObject::QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentAccount(IQNAccount** account) override {
    return give(account, new HostAccount(account_id));
  }
};

class HostChatMessage final : public ComObject<HostTypes, Dual<IQNChatMessage>> {
 public:
  std::wstring sender = L"cnquorinfriend";
  std::wstring text = L"hello world";
  VARIANT_BOOL handle = VARIANT_TRUE;

  HRESULT STDMETHODCALLTYPE GetSender(BSTR* id) override { return give(id, sender); }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetText(BSTR* t) override { return give(t, text); }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetHandle(VARIANT_BOOL* h) override {
    if (!h)
      return E_POINTER;
    *h = handle;
    return S_OK;
  }
};

class HostTabChange final : public ComObject<HostTypes, Dual<IQNTabChange>> {
 public:
  explicit HostTabChange(std::wstring contact) : contact_(std::move(contact)) {}
  HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContactID(BSTR* id) override { return give(id, contact_); }

 private:
  std::wstring contact_;
};

class HostContactItem final : public ComObject<HostTypes, Dual<IQNContactItem>> {
 public:
  HostContactItem(SharedLog log, std::wstring id) : log_(std::move(log)), id_(std::move(id)) {}
  HRESULT STDMETHODCALLTYPE GetContact(LONG cookie, IQNAccount** contact) override {
    log_->push_back("contactitem.GetContact " + std::to_string(cookie));
    return give(contact, new HostAccount(id_));
  }

 private:
  SharedLog log_;
  std::wstring id_;
};

// The enumerator that a collection's _NewEnum gives.
class HostEnum final : public IEnumVARIANT {
 public:
  explicit HostEnum(std::vector<ComPtr<IDispatch>> items, ULONG pos = 0)
      : items_(std::move(items)), pos_(pos) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IEnumVARIANT)
      return E_NOINTERFACE;
    *out = static_cast<IEnumVARIANT*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0)
      delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    ULONG n = 0;
    for (; n < count && pos_ < items_.size(); ++n, ++pos_) {
      VariantInit(&out[n]);
      V_VT(&out[n]) = VT_DISPATCH;
      V_DISPATCH(&out[n]) = items_[pos_].get();
      items_[pos_]->AddRef();
    }
    if (fetched)
      *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    pos_ += count;
    return pos_ <= items_.size() ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out)
      return E_POINTER;
    *out = new HostEnum(items_, pos_);
    return S_OK;
  }

 private:
  std::vector<ComPtr<IDispatch>> items_;
  ULONG pos_;
  ULONG refs_ = 1;
};

// A late-bound collection of contact items: For Each reaches it through _NewEnum.
class HostContactItems final : public IDispatch {
 public:
  explicit HostContactItems(std::vector<ComPtr<IDispatch>> items) : items_(std::move(items)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch)
      return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0)
      delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (!n)
      return E_POINTER;
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count == 1 && lstrcmpiW(names[0], L"_NewEnum") == 0) {
      ids[0] = DISPID_NEWENUM;
      return S_OK;
    }
    for (UINT i = 0; i < count; ++i)
      ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != DISPID_NEWENUM)
      return DISP_E_MEMBERNOTFOUND;
    if (!result)
      return E_POINTER;
    VariantInit(result);
    V_VT(result) = VT_UNKNOWN;
    V_UNKNOWN(result) = new HostEnum(items_);
    return S_OK;
  }

 private:
  std::vector<ComPtr<IDispatch>> items_;
  ULONG refs_ = 1;
};

class HostContactList final : public ComObject<HostTypes, Dual<IQNContactList>> {
 public:
  HostContactList(SharedLog log, std::vector<std::wstring> contacts)
      : log_(std::move(log)), contacts_(std::move(contacts)) {}
  HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContactItems(LONG cookie, IDispatch** items) override {
    log_->push_back("contactlist.GetContactItems " + std::to_string(cookie));
    std::vector<ComPtr<IDispatch>> list;
    for (const auto& id : contacts_) {
      list.push_back(ComPtr<IDispatch>::adopt(new HostContactItem(log_, id)));
    }
    return give(items, new HostContactItems(std::move(list)));
  }

 private:
  SharedLog log_;
  std::vector<std::wstring> contacts_;
};

class HostOwner final : public ComObject<HostTypes, Dual<IQNOwner>> {
 public:
  HostOwner(SharedLog log, std::vector<std::wstring> contacts)
      : log_(std::move(log)), contacts_(std::move(contacts)) {}
  HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContactList(LONG cookie, IQNContactList** list) override {
    log_->push_back("owner.GetContactList " + std::to_string(cookie));
    return give(list, new HostContactList(log_, contacts_));
  }

 private:
  SharedLog log_;
  std::vector<std::wstring> contacts_;
};

// The container of a slot: its method 3 answers with that very slot, method 4 with none.
class HostContainer final : public ComObject<HostTypes, Dual<IQNContainer>> {
 public:
  HostContainer(SharedLog log, IDispatch* slot, std::vector<std::wstring> contacts)
      : log_(std::move(log)), slot_(slot), contacts_(std::move(contacts)) {}
  HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOwner(LONG cookie, IQNOwner** owner) override {
    log_->push_back("container.GetOwner " + std::to_string(cookie));
    return give(owner, new HostOwner(log_, contacts_));
  }
  HRESULT STDMETHODCALLTYPE GetSlot(LONG cookie, IDispatch** slot) override {
    log_->push_back("container.GetSlot " + std::to_string(cookie));
    if (!slot)
      return E_POINTER;
    *slot = slot_.get();
    if (*slot)
      (*slot)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetNextSlot(LONG cookie, IDispatch** slot) override {
    log_->push_back("container.GetNextSlot " + std::to_string(cookie));
    if (!slot)
      return E_POINTER;
    *slot = nullptr;
    return S_OK;
  }

 private:
  SharedLog log_;
  ComPtr<IDispatch> slot_;
  std::vector<std::wstring> contacts_;
};

class HostChat final : public ComObject<HostTypes, Dual<IQNChat>> {
 public:
  struct Sent {
    std::wstring contact, text;
    LONG flags;
  };
  std::wstring contact_id = L"cnquorinfriend";
  std::vector<Sent> sent;

  HRESULT STDMETHODCALLTYPE GetContact(IQNAccount** contact) override {
    return give(contact, new HostAccount(contact_id));
  }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SendText(BSTR contact, BSTR text, LONG flags) override {
    sent.push_back({contact ? contact : L"", text ? text : L"", flags});
    return S_OK;
  }
};

// A slot as the messenger's window keeps it: visible and enabled until told otherwise. The
// item slot of the important item and of the main item; with `Input` it is also the input
// slot of a chat window, giving the chat.
template <class... Extra>
class SlotBase : public ComObject<HostTypes, Dual<IQNItemSlot>, Dual<Extra>...> {
 public:
  SharedLog log = std::make_shared<CallLog>();
  bool shown = true;
  bool enabled = true;
  bool fail_container = false;  // GetContainer fails, as a broken host would
  std::vector<std::wstring> contacts = {L"cnquorinfriend"};

  HRESULT STDMETHODCALLTYPE Show(VARIANT_BOOL show, LONG cookie) override {
    log->push_back("slot.Show " + std::to_string(show) + " " + std::to_string(cookie));
    if (show != VARIANT_TRUE && show != VARIANT_FALSE)
      return E_INVALIDARG;
    shown = show == VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL enable, LONG cookie) override {
    log->push_back("slot.Enable " + std::to_string(enable) + " " + std::to_string(cookie));
    if (enable != VARIANT_TRUE && enable != VARIANT_FALSE)
      return E_INVALIDARG;
    enabled = enable == VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(LONG cookie, IQNContainer** container) override {
    log->push_back("slot.GetContainer " + std::to_string(cookie));
    if (!container)
      return E_POINTER;
    *container = nullptr;
    if (fail_container)
      return E_FAIL;
    return give(container, new HostContainer(log, static_cast<IQNItemSlot*>(this), contacts));
  }
};

using HostItemSlot = SlotBase<>;

class HostInputSlot final : public SlotBase<IQNInputSlot> {
 public:
  ComPtr<HostChat> chat = ComPtr<HostChat>::adopt(new HostChat());

  HRESULT STDMETHODCALLTYPE GetChat(IQNChat** out) override {
    log->push_back("inputslot.GetChat");
    if (!out)
      return E_POINTER;
    *out = chat.get();
    if (*out)
      (*out)->AddRef();
    return S_OK;
  }
};

}  // namespace host_sim
