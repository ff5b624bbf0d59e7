// host-sim: the stand-in messenger for tests under Wine. It registers the plug-in as an
// installer would, loads it the way the messenger does (by ProgID), drives it through the SDK
// interfaces and checks what it sees. Usage:
//   host-sim <group> [path\to\brevant.dll]
// Groups: registration peruser classes dispatch connect important unload resources items.
// Prints one line per check ("ok - ..." or "not ok - ...") and exits with 1 when any failed.

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "brevant.h"
#include "com/com_support.h"
#include "host_objects.h"
#include "qnsdkcom.h"

using brevant::com::ComPtr;

namespace host_sim {
namespace {

// ---------------------------------------------------------------- checks

int g_failed = 0;

void check(bool ok, const std::string& what) {
  std::printf("%s - %s\n", ok ? "ok" : "not ok", what.c_str());
  std::fflush(stdout);
  if (!ok)
    ++g_failed;
}

std::string hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
  return buf;
}

void check_hr(HRESULT hr, HRESULT want, const std::string& what) {
  check(hr == want, what + " (" + hex(hr) + ")");
}

std::string join(const CallLog& log) {
  std::string s;
  for (const auto& l : log)
    s += (s.empty() ? "" : "; ") + l;
  return s;
}

void check_log(const CallLog& got, const CallLog& want, const std::string& what) {
  check(got == want, what + ": got [" + join(got) + "], want [" + join(want) + "]");
}

// ---------------------------------------------------------------- the plug-in's identifiers

struct Class {
  const wchar_t* name;
  const wchar_t* clsid;
  const wchar_t* iid;
  bool item;  // ISDKPluginItem; vb_brevant is ISDKPlugin2; the controls neither
  bool control;
};

const Class kClasses[] = {
    {L"vb_brevant", L"{7ECDEB76-36CF-4A03-B612-239369A6B499}",
     L"{0B8F8C37-F120-4745-A328-32DA92DB00EB}", false, false},
    {L"vb_importantplugin", L"{AFD56496-6A03-4811-9AC9-1A5BFA678209}",
     L"{F377B86E-D200-435F-9EB2-168398B42F7D}", true, false},
    {L"vb_bottomplugin", L"{08573902-324A-4899-A7E0-D1FD96A017B8}",
     L"{07B478C1-E881-4B82-AD1C-398EB10ACA09}", true, false},
    {L"vb_imchatmainplugin", L"{65169801-C954-4570-BEB4-7D8D1C26C306}",
     L"{7D72CE5C-7D1B-4409-855D-67B4296DF15B}", true, false},
    {L"vb_imchatinputplugin", L"{A777FC6F-16C6-4C2A-AACB-BCDF73762F78}",
     L"{F39AD4D8-99B0-4615-AA13-56EB76160D11}", true, false},
    {L"vb_mainmenuplugin", L"{333E1FBA-A620-47DE-B462-54C6AF68FE25}",
     L"{F59F691C-D51C-4DB2-A58E-23EC353E459F}", true, false},
    {L"KQTran", L"{BCAE6E92-B228-4017-A642-F3D8D94813B1}",
     L"{6F11EE0E-03C2-4504-B30F-C78C16F236F9}", false, true},
    {L"KQNet", L"{E95F45C2-5B6F-4625-8FCC-2D9621728E47}", L"{9CDD917F-378D-474B-BAA9-892FA2C401CE}",
     false, true},
};
constexpr wchar_t kLibId[] = L"{576114D0-AD5C-4FF9-94CC-0B727E759DF6}";

GUID guid(const wchar_t* text) {
  GUID g{};
  CLSIDFromString(text, &g);
  return g;
}

std::wstring prog_id(const Class& c) {
  return std::wstring(L"brevant.") + c.name;
}
std::string name(const Class& c) {
  return narrow(c.name);
}

std::wstring g_dll;  // full Windows path of brevant.dll

// ---------------------------------------------------------------- registry

std::wstring read_default(HKEY root, const std::wstring& key, const wchar_t* value = nullptr) {
  wchar_t buf[1024] = {};
  DWORD bytes = sizeof buf - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buf, &bytes) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buf;
}

bool key_exists(HKEY root, const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return false;
  RegCloseKey(h);
  return true;
}

bool same_text(const std::wstring& a, const std::wstring& b) {
  return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Every key the registration writes, under `root` (a Classes key).
void check_registered(HKEY root, const std::string& where) {
#ifdef _WIN64
  const wchar_t* platform = L"win64";
#else
  const wchar_t* platform = L"win32";
#endif
  for (const Class& c : kClasses) {
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + c.clsid;
    const std::string n = where + " " + name(c);
    check(same_text(read_default(root, prog_id(c) + L"\\CLSID"), c.clsid),
          n + ": the ProgID maps to its class identifier");
    check(same_text(read_default(root, clsid_key + L"\\InprocServer32"), g_dll),
          n + ": InprocServer32 is the DLL");
    check(read_default(root, clsid_key + L"\\InprocServer32", L"ThreadingModel") == L"Apartment",
          n + ": ThreadingModel Apartment");
    check(read_default(root, clsid_key + L"\\ProgID") == prog_id(c), n + ": ProgID under CLSID");
    check(same_text(read_default(root, clsid_key + L"\\TypeLib"), kLibId),
          n + ": TypeLib under CLSID");
    if (c.control)
      check(key_exists(root, clsid_key + L"\\Control"), n + ": marked a control");
    const std::wstring itf = std::wstring(L"Interface\\") + c.iid;
    check(same_text(read_default(root, itf + L"\\TypeLib"), kLibId),
          n + ": default interface registered with the type library");
  }
  const std::wstring tl = std::wstring(L"TypeLib\\") + kLibId + L"\\1.0";
  check(read_default(root, tl) == L"brevant", where + ": type library brevant 1.0");
  check(same_text(read_default(root, tl + L"\\0\\" + platform), g_dll),
        where + ": type library locale 0 points at the DLL");
}

void check_nothing_registered(HKEY root, const std::string& where) {
  int left = 0;
  std::string which;
  auto note = [&](const std::wstring& key) {
    if (key_exists(root, key)) {
      ++left;
      which += " " + narrow(key);
    }
  };
  for (const Class& c : kClasses) {
    note(prog_id(c));
    note(std::wstring(L"CLSID\\") + c.clsid);
    note(std::wstring(L"Interface\\") + c.iid);
  }
  note(std::wstring(L"TypeLib\\") + kLibId);
  check(left == 0, where + ": none of our keys left" + which);
}

HKEY open_classes(HKEY base) {
  HKEY h = nullptr;
  RegOpenKeyExW(base, L"Software\\Classes", 0, KEY_READ, &h);
  return h;
}

// Runs regsvr32 (of this program's bitness) with `args` and the DLL; its exit code.
DWORD regsvr32(const std::wstring& args) {
  std::wstring cmd = L"regsvr32.exe " + args + L" \"" + g_dll + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &code);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

void register_machine() {
  check(regsvr32(L"/s") == 0, "regsvr32 /s registers");
}
void unregister_machine() {
  check(regsvr32(L"/u /s") == 0, "regsvr32 /u /s unregisters");
}

// ---------------------------------------------------------------- creating the plug-in

template <class Itf>
ComPtr<Itf> create(const Class& c) {
  ComPtr<Itf> out;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(prog_id(c).c_str(), &clsid);
  if (FAILED(hr)) {
    check(false, "CLSIDFromProgID " + name(c) + " (" + hex(hr) + ")");
    return out;
  }
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(Itf),
                        reinterpret_cast<void**>(out.put()));
  if (FAILED(hr))
    check(false, "CoCreateInstance " + name(c) + " (" + hex(hr) + ")");
  return out;
}

const Class& cls(const wchar_t* n) {
  for (const Class& c : kClasses) {
    if (lstrcmpW(c.name, n) == 0)
      return c;
  }
  return kClasses[0];
}

// ---------------------------------------------------------------- answering message boxes

// The plug-in asks its questions in modal message boxes on this thread. A thread timer runs
// inside their message loop, reads each box's title and text and presses the scripted button.
struct Box {
  std::wstring title, text;
};
std::deque<bool> g_answers;
std::vector<Box> g_boxes;

BOOL CALLBACK answer_box(HWND wnd, LPARAM) {
  wchar_t cls_name[32] = {};
  GetClassNameW(wnd, cls_name, 32);
  if (lstrcmpW(cls_name, L"#32770") != 0 || !IsWindowVisible(wnd))
    return TRUE;
  Box box;
  wchar_t buf[512] = {};
  GetWindowTextW(wnd, buf, 512);
  box.title = buf;
  buf[0] = 0;
  GetDlgItemTextW(wnd, 0xFFFF, buf, 512);  // the message text control of a message box
  box.text = buf;
  g_boxes.push_back(box);
  bool yes = false;
  if (!g_answers.empty()) {
    yes = g_answers.front();
    g_answers.pop_front();
  }
  const int button = yes ? IDYES : IDNO;
  SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(wnd, button)));
  return FALSE;
}

void CALLBACK on_answer_timer(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), answer_box, 0);
}

// Calls `body` with the answers scripted; returns the boxes it showed.
std::vector<Box> with_answers(std::deque<bool> answers, const std::function<void()>& body) {
  g_answers = std::move(answers);
  g_boxes.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 30, on_answer_timer);
  body();
  KillTimer(nullptr, timer);
  return g_boxes;
}

const wchar_t kTitle[] = L"vb brevant";
const wchar_t kAskShow[] = L"\u9700\u8981\u663E\u793A\u63D2\u4EF6\u5417?";
const wchar_t kAskEnable[] = L"\u9700\u8981\u4F7F\u80FD\u63D2\u4EF6\u5417?";

bool boxes_are(const std::vector<Box>& got, const std::vector<const wchar_t*>& texts) {
  if (got.size() != texts.size())
    return false;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i].title != kTitle || got[i].text != texts[i])
      return false;
  }
  return true;
}

// After a group released everything it made, the loaded plug-in must be ready to unload:
// a reference leaked anywhere in the COM surface keeps an object alive.
void check_all_released(const std::string& where) {
  HMODULE dll = GetModuleHandleW(L"brevant.dll");
  if (!dll)
    return;
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  auto can_unload =
      reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  check(can_unload && can_unload() == S_OK, where + ": every object released, DllCanUnloadNow");
}

// ---------------------------------------------------------------- groups

void group_registration() {
  register_machine();
  check_registered(HKEY_CLASSES_ROOT, "machine");
  for (const Class& c : kClasses) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(prog_id(c).c_str(), &clsid);
    check(SUCCEEDED(hr) && IsEqualCLSID(clsid, guid(c.clsid)),
          "CLSIDFromProgID " + name(c) + " gives the class identifier of the table");
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(guid(kLibId), 1, 0, 0, &lib);
  check_hr(hr, S_OK, "LoadRegTypeLib brevant 1.0 locale 0");
  if (lib) {
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
      check(IsEqualGUID(attr->guid, guid(kLibId)) && attr->wMajorVerNum == 1 &&
                attr->wMinorVerNum == 0 && attr->lcid == 0,
            "the registered type library has our identifier, version 1.0 and locale 0");
      lib->ReleaseTLibAttr(attr);
    }
    BSTR lib_name = nullptr;
    lib->GetDocumentation(-1, &lib_name, nullptr, nullptr, nullptr);
    check(lib_name && lstrcmpW(lib_name, L"brevant") == 0, "the library is named brevant");
    SysFreeString(lib_name);
    lib->Release();
  }
  unregister_machine();
  check_nothing_registered(HKEY_CLASSES_ROOT, "after regsvr32 /u");
  check_hr(LoadRegTypeLib(guid(kLibId), 1, 0, 0, &lib) == S_OK ? S_OK : E_FAIL, E_FAIL,
           "the type library is no longer registered");
  if (lib)
    lib->Release();
  // Unregistering twice is harmless.
  unregister_machine();
}

void group_peruser() {
  unregister_machine();
  HKEY user = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr, &user,
                  nullptr);
  HKEY machine = open_classes(HKEY_LOCAL_MACHINE);
  check(regsvr32(L"/s /n /i:user") == 0, "regsvr32 /n /i:user registers for the user");
  check_registered(user, "per user");
  check_nothing_registered(machine, "per user: the machine");
  check(regsvr32(L"/u /s /n /i:user") == 0, "regsvr32 /u /n /i:user unregisters");
  check_nothing_registered(user, "after per-user removal");
  RegCloseKey(user);
  RegCloseKey(machine);
}

void group_classes() {
  register_machine();
  for (const Class& c : kClasses) {
    ComPtr<IUnknown> obj = create<IUnknown>(c);
    if (!obj)
      continue;
    const std::string n = name(c);
    ComPtr<IDispatch> def;
    check_hr(obj->QueryInterface(guid(c.iid), reinterpret_cast<void**>(def.put())), S_OK,
             n + " answers its default interface");
    ComPtr<IDispatch> disp = obj.query<IDispatch>();
    check(disp && disp.get() == def.get(), n + ": IDispatch is the default interface");
    ComPtr<IUnknown> identity = def.query<IUnknown>();
    check(identity.get() == obj.get(), n + ": one identity");
    ITypeInfo* ti = nullptr;
    if (disp && SUCCEEDED(disp->GetTypeInfo(0, 0, &ti))) {
      TYPEATTR* attr = nullptr;
      ti->GetTypeAttr(&attr);
      check(attr && IsEqualGUID(attr->guid, guid(c.iid)),
            n + ": its type information is the default interface");
      if (attr)
        ti->ReleaseTypeAttr(attr);
      ti->Release();
    } else {
      check(false, n + ": GetTypeInfo");
    }
    ComPtr<ISDKPlugin2> plugin = obj.query<ISDKPlugin2>();
    ComPtr<ISDKPluginItem> item = obj.query<ISDKPluginItem>();
    if (c.item) {
      check(item && !plugin, n + " answers ISDKPluginItem");
    } else if (!c.control) {
      check(plugin && !item, n + " answers ISDKPlugin2");
    } else {
      check(!plugin && !item, n + " is a control, not a plug-in object");
    }
    ComPtr<IPersist> other = obj.query<IPersist>();
    check(!other, n + " refuses an interface it does not have");
  }
  check_all_released("classes");
  unregister_machine();
}

DISPID dispid(IDispatch* d, const wchar_t* member) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  check_hr(hr, S_OK, "GetIDsOfNames " + narrow(member));
  return id;
}

// Invokes a method with arguments given in the natural order.
HRESULT invoke(IDispatch* d, const wchar_t* member, std::vector<VARIANT> args) {
  DISPID id = dispid(d, member);
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  VariantClear(&result);
  return hr;
}

VARIANT v_long(LONG n) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}

VARIANT v_object(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = d;
  return v;
}

void group_dispatch() {
  register_machine();
  {
    ComPtr<IDispatch> plugin = create<IDispatch>(cls(L"vb_brevant"));
    if (plugin) {
      // The default interface's checkinputweb, by name and by vtable.
      BSTR text = SysAllocString(L"A\uFF06B&C");
      VARIANT arg;
      VariantInit(&arg);
      V_VT(&arg) = VT_BSTR | VT_BYREF;
      V_BSTRREF(&arg) = &text;
      check_hr(invoke(plugin.get(), L"checkinputweb", {arg}), S_OK, "Invoke checkinputweb");
      check(text && lstrcmpW(text, L"AB C") == 0, "checkinputweb through Invoke normalises");
      SysFreeString(text);
      ComPtr<_vb_brevant> direct = plugin.query<_vb_brevant>();
      BSTR text2 = SysAllocString(L"9kosyhi9kody");
      check_hr(direct->checkinputweb(&text2), S_OK, "checkinputweb through the vtable");
      check(text2 && lstrcmpW(text2, L" hi ") == 0, "checkinputweb through the vtable normalises");
      SysFreeString(text2);
      check_hr(direct->checkinputweb(nullptr), E_POINTER, "checkinputweb without a string");

      LPOLESTR bad[] = {const_cast<LPOLESTR>(L"NoSuchMethod")};
      DISPID id = 0;
      check_hr(plugin->GetIDsOfNames(IID_NULL, bad, 1, 0, &id), DISP_E_UNKNOWNNAME,
               "an unknown name is refused");

      // ISDKPlugin2's own IDispatch reaches OnConnect.
      ComPtr<ISDKPlugin2> sdk = plugin.query<ISDKPlugin2>();
      auto* app = new HostApplication();
      const LONG before = app->ref_count();
      check_hr(invoke(sdk.get(), L"OnConnect", {v_object(app), v_long(31)}), S_OK,
               "Invoke OnConnect");
      check(app->application_queries >= 1 && app->ref_count() > before,
            "OnConnect through Invoke keeps the application object");
      auto* msg = new HostChatMessage();
      check_hr(invoke(sdk.get(), L"OnNotify", {v_long(3), v_object(msg)}), S_OK, "Invoke OnNotify");
      check_hr(invoke(sdk.get(), L"OnUninstall", {}), S_OK, "Invoke OnUninstall");
      msg->Release();
      app->Release();
    }
  }
  {
    ComPtr<IDispatch> obj = create<IDispatch>(cls(L"vb_importantplugin"));
    ComPtr<ISDKPluginItem> item = obj.query<ISDKPluginItem>();
    if (item) {
      auto* slot = new HostItemSlot();
      check_hr(invoke(item.get(), L"OnCreate", {v_object(slot), v_long(0), v_long(4)}), S_OK,
               "Invoke OnCreate");
      HRESULT hr = E_FAIL;
      auto boxes = with_answers({false}, [&] { hr = invoke(item.get(), L"OnClick", {}); });
      check_hr(hr, S_OK, "Invoke OnClick");
      check(boxes_are(boxes, {kAskShow}) && !slot->shown,
            "OnClick through Invoke asks and hides the item");
      check_hr(invoke(item.get(), L"OnSize", {v_long(10), v_long(20)}), S_OK, "Invoke OnSize");
      check_hr(invoke(item.get(), L"OnMenuClick", {v_long(1)}), S_OK, "Invoke OnMenuClick");
      check_hr(invoke(item.get(), L"OnDestroy", {}), S_OK, "Invoke OnDestroy");
      slot->Release();
    }
  }
  check_all_released("dispatch");
  unregister_machine();
}

void group_connect() {
  register_machine();
  {
    ComPtr<ISDKPlugin2> plugin = create<ISDKPlugin2>(cls(L"vb_brevant"));
    if (plugin) {
      auto* first = new HostApplication();
      auto* second = new HostApplication();
      check_hr(plugin->OnConnect(first, 7), S_OK, "OnConnect");
      check(first->application_queries == 1, "OnConnect asks for the application interface");
      check(first->ref_count() > 1, "OnConnect keeps the application object");
      check_hr(plugin->OnConnect(second, 8), S_OK, "a second OnConnect");
      check(first->ref_count() == 1, "a second OnConnect releases the first application object");
      check(second->ref_count() > 1, "a second OnConnect keeps the new application object");
      check_hr(plugin->OnDisconnect(second, 8), S_OK, "OnDisconnect");
      check(second->ref_count() > 1, "OnDisconnect keeps the application object");
      auto* msg = new HostChatMessage();
      check_hr(plugin->OnNotify(3, msg), S_OK, "OnNotify after OnDisconnect");
      check_hr(plugin->OnNotify(0, nullptr), S_OK, "OnNotify without a parameter");
      check_hr(plugin->OnNotify(12345, msg), S_OK, "OnNotify with another ID");
      check_hr(plugin->OnUninstall(), S_OK, "OnUninstall");
      check(second->ref_count() > 1, "the application object stays after OnUninstall");

      // An object without the application interface: accepted, and the old App goes.
      auto* account = new HostAccount(L"x");
      check_hr(plugin->OnConnect(account, 9), S_OK, "OnConnect with a non-application object");
      check(second->ref_count() == 1, "the previous application object is released");
      check_hr(plugin->OnConnect(nullptr, 10), S_OK, "OnConnect without an object");
      account->Release();
      msg->Release();
      first->Release();
      second->Release();
    }
  }
  check_all_released("connect");
  unregister_machine();
}

void group_important() {
  register_machine();
  ComPtr<ISDKPlugin2> plugin = create<ISDKPlugin2>(cls(L"vb_brevant"));
  ComPtr<ISDKPluginItem> item = create<ISDKPluginItem>(cls(L"vb_importantplugin"));
  if (plugin && item) {
    auto* app = new HostApplication();
    plugin->OnConnect(app, 77);

    auto boxes = with_answers({true, true}, [&] { check_hr(item->OnClick(), S_OK, "OnClick"); });
    check(boxes.empty(), "a click before OnCreate asks nothing");

    struct Case {
      const char* name;
      std::deque<bool> answers;
      std::vector<const wchar_t*> asked;
      bool shown, enabled;
      CallLog calls;
    };
    const std::vector<Case> cases = {
        {"no",
         {false},
         {kAskShow},
         false,
         true,
         {"slot.GetContainer 77", "container.GetOwner 77", "slot.Show 0 5"}},
        {"yes, no",
         {true, false},
         {kAskShow, kAskEnable},
         true,
         false,
         {"slot.GetContainer 77", "container.GetOwner 77", "slot.Show 0 5", "slot.Show -1 5",
          "slot.Enable 0 5"}},
        {"yes, yes",
         {true, true},
         {kAskShow, kAskEnable},
         true,
         true,
         {"slot.GetContainer 77", "container.GetOwner 77", "slot.Show 0 5", "slot.Show -1 5",
          "slot.Enable 0 5", "slot.Enable -1 5"}},
    };
    for (const Case& c : cases) {
      auto* slot = new HostItemSlot();
      check_hr(item->OnCreate(slot, 0x10020, 5), S_OK, std::string("OnCreate, ") + c.name);
      boxes = with_answers(c.answers, [&] { check_hr(item->OnClick(), S_OK, "OnClick"); });
      check(boxes_are(boxes, c.asked),
            std::string("answering ") + c.name + ": the questions and their title are exact");
      check(slot->shown == c.shown && slot->enabled == c.enabled,
            std::string("answering ") + c.name + ": the slot ends " +
                (c.shown ? "shown" : "hidden") + " and " + (c.enabled ? "enabled" : "disabled"));
      check_log(*slot->log, c.calls, std::string("answering ") + c.name + ": host calls");
      check_hr(item->OnDestroy(), S_OK, "OnDestroy");
      check(slot->ref_count() == 1, "OnDestroy releases the slot");
      slot->Release();
    }

    // The connection's cookie reaches the host through the slot: a reconnection changes it.
    plugin->OnConnect(app, 78);
    auto* slot = new HostItemSlot();
    slot->fail_container = true;
    item->OnCreate(slot, 0, 6);
    boxes = with_answers({true, true}, [&] { check_hr(item->OnClick(), S_OK, "OnClick"); });
    check_log(*slot->log,
              {"slot.GetContainer 78", "slot.Show 0 6", "slot.Show -1 6", "slot.Enable 0 6",
               "slot.Enable -1 6"},
              "a failing host call is skipped and the newest cookie is passed");
    check(boxes.size() == 2, "both questions are still asked");
    item->OnDestroy();
    boxes = with_answers({true}, [&] { item->OnClick(); });
    check(boxes.empty(), "a click after OnDestroy asks nothing");
    slot->Release();
    app->Release();
  }
  item.reset();
  plugin.reset();
  check_all_released("important");
  unregister_machine();
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

void group_unload() {
  HMODULE dll = LoadLibraryW(g_dll.c_str());
  check(dll != nullptr, "LoadLibrary brevant.dll");
  if (!dll)
    return;
  auto get_class_object = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  auto can_unload = reinterpret_cast<CanUnloadFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  check(get_class_object && can_unload, "the exports are there by their plain names");
  for (const char* e : {"DllRegisterServer", "DllUnregisterServer", "DllInstall"}) {
    check(GetProcAddress(dll, e) != nullptr, std::string("export ") + e);
  }
  if (!get_class_object || !can_unload)
    return;

  check_hr(can_unload(), S_OK, "nothing alive: can unload");
  IUnknown* dummy = nullptr;
  check_hr(get_class_object(guid(L"{00000000-0000-0000-0000-000000000001}"), IID_IClassFactory,
                            reinterpret_cast<void**>(&dummy)),
           CLASS_E_CLASSNOTAVAILABLE, "an unknown class is refused");

  ComPtr<IClassFactory> factory;
  check_hr(get_class_object(CLSID_vb_brevant, IID_IClassFactory,
                            reinterpret_cast<void**>(factory.put())),
           S_OK, "DllGetClassObject vb_brevant");
  check_hr(can_unload(), S_FALSE, "a class factory held: cannot unload");
  ComPtr<IUnknown> outer_test;
  check_hr(factory->CreateInstance(factory.get(), IID_IUnknown,
                                   reinterpret_cast<void**>(outer_test.put())),
           CLASS_E_NOAGGREGATION, "aggregation is refused");
  ComPtr<ISDKPlugin2> plugin;
  check_hr(
      factory->CreateInstance(nullptr, IID_ISDKPlugin2, reinterpret_cast<void**>(plugin.put())),
      S_OK, "CreateInstance");
  factory.reset();
  check_hr(can_unload(), S_FALSE, "an object alive: cannot unload");
  ComPtr<IDispatch> second_ref = plugin.query<IDispatch>();
  plugin.reset();
  check_hr(can_unload(), S_FALSE, "an object alive through another interface: cannot unload");
  auto* app = new HostApplication();
  ComPtr<ISDKPlugin2>(second_ref.query<ISDKPlugin2>())->OnConnect(app, 1);
  second_ref.reset();
  check_hr(can_unload(), S_OK, "every object gone: can unload");

  check_hr(get_class_object(CLSID_vb_importantplugin, IID_IClassFactory,
                            reinterpret_cast<void**>(factory.put())),
           S_OK, "DllGetClassObject vb_importantplugin");
  check_hr(factory->LockServer(TRUE), S_OK, "LockServer(TRUE)");
  factory.reset();
  check_hr(can_unload(), S_FALSE, "a lock held: cannot unload");
  get_class_object(CLSID_vb_importantplugin, IID_IClassFactory,
                   reinterpret_cast<void**>(factory.put()));
  ComPtr<ISDKPluginItem> item;
  factory->CreateInstance(nullptr, IID_ISDKPluginItem, reinterpret_cast<void**>(item.put()));
  check_hr(factory->LockServer(FALSE), S_OK, "LockServer(FALSE)");
  factory.reset();
  auto* slot = new HostItemSlot();
  item->OnCreate(slot, 0, 1);
  check_hr(can_unload(), S_FALSE, "an item alive: cannot unload");
  item.reset();
  check(slot->ref_count() == 1, "a released item releases its slot");
  check_hr(can_unload(), S_OK, "lock and objects gone: can unload");

  check(app->ref_count() > 1, "the library keeps the application object while loaded");
  FreeLibrary(dll);
  check(app->ref_count() == 1, "unloading the library releases the application object");
  slot->Release();
  app->Release();
}

void group_resources() {
  HMODULE dll = LoadLibraryExW(g_dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  check(dll != nullptr, "load brevant.dll as data");
  if (!dll)
    return;
  for (const Class& c : kClasses) {
    if (c.control)
      continue;
    std::wstring res = L"_IID_";
    for (const wchar_t* p = c.name; *p; ++p)
      res += static_cast<wchar_t>(towupper(*p));
    HRSRC r = FindResourceW(dll, res.c_str(), L"CUSTOM");
    const std::string n = narrow(res);
    check(r != nullptr, n + " is present");
    if (!r)
      continue;
    DWORD size = SizeofResource(dll, r);
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(dll, r)));
    check(size == 20, n + " holds 20 bytes");
    if (size != 20 || !data)
      continue;
    std::uint32_t length = 0;
    std::memcpy(&length, data, 4);
    GUID iid{};
    std::memcpy(&iid, data + 4, 16);
    check(length == 16 && IsEqualGUID(iid, guid(c.iid)),
          n + " holds length 16 and the default interface identifier");
  }
  check(FindResourceW(dll, MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr,
        "the type library is resource 1");
  FreeLibrary(dll);
}

void group_items() {
  register_machine();
  for (const wchar_t* n : {L"vb_bottomplugin", L"vb_mainmenuplugin", L"vb_imchatmainplugin",
                           L"vb_imchatinputplugin"}) {
    ComPtr<ISDKPluginItem> item = create<ISDKPluginItem>(cls(n));
    if (!item)
      continue;
    const std::string s = narrow(n);
    auto* slot = new HostItemSlot();
    auto* param = new HostChatMessage();
    bool all_ok = true;
    std::vector<Box> boxes = with_answers({}, [&] {
      all_ok = item->OnCreate(slot, 0x20030, 3) == S_OK && item->OnNotify(0, param) == S_OK &&
               item->OnNotify(1, param) == S_OK && item->OnNotify(7, nullptr) == S_OK &&
               item->OnClick() == S_OK && item->OnSize(300, 40) == S_OK &&
               item->OnMenuClick(2) == S_OK && item->OnDestroy() == S_OK &&
               item->OnCreate(nullptr, 0, 0) == S_OK && item->OnClick() == S_OK;
    });
    check(all_ok, s + " accepts all six operations");
    check(boxes.empty(), s + " asks nothing");
    item.reset();
    check(slot->ref_count() == 1, s + " keeps no host object after release");
    slot->Release();
    param->Release();
  }
  for (const wchar_t* n : {L"KQTran", L"KQNet"}) {
    ComPtr<IDispatch> control = create<IDispatch>(cls(n));
    check(static_cast<bool>(control), narrow(n) + " is created by its ProgID");
  }
  check_all_released("items");
  unregister_machine();
}

// The SDK's type library, as the messenger's installer registers it.
void register_sdk_type_library() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadTypeLibEx(self, REGKIND_REGISTER, &lib)))
    lib->Release();
}

std::wstring default_dll_path(const wchar_t* arg) {
  wchar_t buf[MAX_PATH] = {};
  if (arg) {
    std::wstring a = arg;
    // A Unix path from the build system: Wine maps the root to drive Z.
    if (!a.empty() && a[0] == L'/') {
      for (auto& ch : a) {
        if (ch == L'/')
          ch = L'\\';
      }
      a = L"Z:" + a;
    }
    GetFullPathNameW(a.c_str(), MAX_PATH, buf, nullptr);
    return buf;
  }
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring path = buf;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"brevant.dll";
}

}  // namespace

}  // namespace host_sim

int wmain(int argc, wchar_t** argv) {
  using namespace host_sim;
  if (argc < 2) {
    std::fprintf(stderr, "usage: host-sim <group> [brevant.dll]\n");
    return 2;
  }
  const std::map<std::wstring, void (*)()> groups = {
      {L"registration", group_registration},
      {L"peruser", group_peruser},
      {L"classes", group_classes},
      {L"dispatch", group_dispatch},
      {L"connect", group_connect},
      {L"important", group_important},
      {L"unload", group_unload},
      {L"resources", group_resources},
      {L"items", group_items},
  };
  auto it = groups.find(argv[1]);
  if (it == groups.end()) {
    std::fprintf(stderr, "host-sim: unknown group\n");
    return 2;
  }
  g_dll = default_dll_path(argc > 2 ? argv[2] : nullptr);
  std::printf("# %s with %s\n", narrow(argv[1]).c_str(), narrow(g_dll).c_str());
  if (FAILED(OleInitialize(nullptr))) {
    std::fprintf(stderr, "host-sim: OleInitialize failed\n");
    return 2;
  }
  register_sdk_type_library();
  it->second();
  CoFreeUnusedLibraries();
  OleUninitialize();
  std::printf("# %d failed\n", g_failed);
  return g_failed == 0 ? 0 : 1;
}
