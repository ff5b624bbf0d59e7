#include "host_sim_test.h"

#include <cstdio>

namespace host_sim {

const std::vector<Class> kClasses = {
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
const wchar_t kLibId[] = L"{576114D0-AD5C-4FF9-94CC-0B727E759DF6}";

const Class& cls(const wchar_t* name) {
  for (const Class& c : kClasses) {
    if (lstrcmpW(c.name, name) == 0)
      return c;
  }
  ADD_FAILURE() << "no class " << narrow(name);
  return kClasses[0];
}

std::vector<Class> classes(std::initializer_list<const wchar_t*> names) {
  std::vector<Class> out;
  for (const wchar_t* n : names)
    out.push_back(cls(n));
  return out;
}

GUID guid(const wchar_t* text) {
  GUID g{};
  CLSIDFromString(text, &g);
  return g;
}

std::wstring prog_id(const Class& c) {
  return std::wstring(L"brevant.") + c.name;
}

std::string class_name(const testing::TestParamInfo<Class>& info) {
  return narrow(info.param.name);
}

namespace {

std::wstring g_dll;

// The DLL named on the command line, else brevant.dll beside this program.
std::wstring find_dll(const wchar_t* arg) {
  wchar_t buf[MAX_PATH] = {};
  if (arg) {
    GetFullPathNameW(windows_path(arg).c_str(), MAX_PATH, buf, nullptr);
    return buf;
  }
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring path = buf;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"brevant.dll";
}

}  // namespace

std::wstring windows_path(std::wstring path) {
  if (path.empty() || path[0] != L'/')
    return path;
  for (auto& ch : path) {
    if (ch == L'/')
      ch = L'\\';
  }
  return L"Z:" + path;
}

const std::wstring& dll_path() {
  return g_dll;
}

void set_dll_path(std::wstring path) {
  g_dll = std::move(path);
}

testing::AssertionResult hr_equal(const char* want_expr, const char* got_expr, HRESULT want,
                                  HRESULT got) {
  if (want == got)
    return testing::AssertionSuccess();
  char buf[64];
  std::snprintf(buf, sizeof buf, "0x%08lX, want 0x%08lX", static_cast<unsigned long>(got),
                static_cast<unsigned long>(want));
  return testing::AssertionFailure() << got_expr << " gives " << buf << " (" << want_expr << ")";
}

// ---------------------------------------------------------------- registry

namespace {

std::wstring read_value(HKEY root, const std::wstring& key, const wchar_t* value = nullptr) {
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

// Identifiers and paths compare without regard to case, as Windows does.
std::wstring upper(std::wstring s) {
  CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

}  // namespace

void expect_registered(HKEY root) {
#ifdef _WIN64
  const wchar_t* platform = L"win64";
#else
  const wchar_t* platform = L"win32";
#endif
  const std::wstring dll = upper(dll_path());
  for (const Class& c : kClasses) {
    SCOPED_TRACE(narrow(c.name));
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + c.clsid;
    EXPECT_EQ(upper(read_value(root, prog_id(c) + L"\\CLSID")), c.clsid)
        << "the ProgID maps to its class identifier";
    EXPECT_EQ(upper(read_value(root, clsid_key + L"\\InprocServer32")), dll)
        << "InprocServer32 is the DLL";
    EXPECT_EQ(read_value(root, clsid_key + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(read_value(root, clsid_key + L"\\ProgID"), prog_id(c)) << "ProgID under CLSID";
    EXPECT_EQ(upper(read_value(root, clsid_key + L"\\TypeLib")), kLibId) << "TypeLib under CLSID";
    EXPECT_EQ(key_exists(root, clsid_key + L"\\Control"), c.control) << "marked a control";
    EXPECT_EQ(upper(read_value(root, std::wstring(L"Interface\\") + c.iid + L"\\TypeLib")), kLibId)
        << "the default interface is registered with the type library";
  }
  const std::wstring tl = std::wstring(L"TypeLib\\") + kLibId + L"\\1.0";
  EXPECT_EQ(read_value(root, tl), L"brevant") << "type library brevant 1.0";
  EXPECT_EQ(upper(read_value(root, tl + L"\\0\\" + platform)), dll)
      << "type library locale 0 points at the DLL";
}

std::vector<std::string> keys_left(HKEY root) {
  std::vector<std::wstring> ours = {std::wstring(L"TypeLib\\") + kLibId};
  for (const Class& c : kClasses) {
    ours.push_back(prog_id(c));
    ours.push_back(std::wstring(L"CLSID\\") + c.clsid);
    ours.push_back(std::wstring(L"Interface\\") + c.iid);
  }
  std::vector<std::string> left;
  for (const auto& key : ours) {
    if (key_exists(root, key))
      left.push_back(narrow(key));
  }
  return left;
}

DWORD regsvr32(const std::wstring& args) {
  std::wstring cmd = L"regsvr32.exe " + args + L" \"" + dll_path() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

// ---------------------------------------------------------------- creating and calling

HRESULT invoke(IDispatch* d, const wchar_t* member, std::vector<VARIANT> args) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  EXPECT_HR(S_OK, hr) << "GetIDsOfNames " << narrow(member);
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  hr = d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
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

HRESULT can_unload_now() {
  HMODULE dll = GetModuleHandleW(L"brevant.dll");
  if (!dll)
    return S_OK;
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  auto can_unload =
      reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  return can_unload ? can_unload() : E_NOTIMPL;
}

namespace {
DWORD g_registered = 0;
}

void Registered::SetUpTestSuite() {
  g_registered = regsvr32(L"/s");
}

void Registered::TearDownTestSuite() {
  EXPECT_EQ(regsvr32(L"/u /s"), 0u) << "regsvr32 /u /s unregisters";
}

void Registered::SetUp() {
  ASSERT_EQ(g_registered, 0u) << "regsvr32 /s registers";
}

void Registered::TearDown() {
  EXPECT_HR(S_OK, can_unload_now()) << "every object released";
}

// ---------------------------------------------------------------- answering message boxes

void PrintTo(const Box& box, std::ostream* os) {
  *os << testing::PrintToString(box.title) << ": " << testing::PrintToString(box.text);
}

std::vector<Box> questions(std::initializer_list<const wchar_t*> texts) {
  std::vector<Box> out;
  for (const wchar_t* t : texts)
    out.push_back({kTitle, t});
  return out;
}

namespace {

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

}  // namespace

std::vector<Box> with_answers(std::deque<bool> answers, const std::function<void()>& body) {
  g_answers = std::move(answers);
  g_boxes.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 30, on_answer_timer);
  body();
  KillTimer(nullptr, timer);
  return g_boxes;
}

}  // namespace host_sim

// Usage: wine_com_test [--gtest_filter=Group.*:Group/*] [path/to/brevant.dll]
int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  host_sim::g_dll = host_sim::find_dll(argc > 1 ? argv[1] : nullptr);
  std::printf("brevant.dll: %s\n", host_sim::narrow(host_sim::g_dll).c_str());
  if (FAILED(OleInitialize(nullptr))) {
    std::fprintf(stderr, "OleInitialize failed\n");
    return 2;
  }
  if (!host_sim::register_sdk_type_library())
    std::fprintf(stderr, "the SDK type library could not be registered\n");
  const int rc = RUN_ALL_TESTS();
  CoFreeUnusedLibraries();
  OleUninitialize();
  return rc;
}
