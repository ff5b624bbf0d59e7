// brevant-setup.exe as a user runs it, silently: for the current user, over an earlier
// installation, for the whole machine, and its uninstaller. Runs in a Wine prefix made afresh
// for each run (BREVANT_SETUP names the installer, BREVANT_PAGE_DIR the page sources).

#include <shlobj.h>

#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host_sim_test.h"

namespace host_sim {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\brevant";
constexpr wchar_t kDefaultServer[] = L"http://127.0.0.1:17380";
// Installed beside the page folders, whatever components are chosen by default.
// The installers' texts in either language: the server's shortcut is named in it.
const wchar_t kChineseShortcut[] = L"\u542F\u52A8 brevant \u7FFB\u8BD1\u670D\u52A1\u5668.lnk";
const wchar_t kEnglishShortcut[] = L"Start the brevant translation server.lnk";
const wchar_t* const kProgramFiles[] = {L"brevant64.dll", L"brevant32.dll", L"configUIN.ini",
                                        L"trans-server.exe", L"uninstall.exe"};

std::wstring env_path(const char* name) {
  const char* v = std::getenv(name);
  return v ? windows_path(std::wstring(v, v + std::strlen(v))) : std::wstring();
}

std::wstring known_folder(REFKNOWNFOLDERID id) {
  PWSTR p = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &p)))
    out = p;
  CoTaskMemFree(p);
  return out;
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring upper(std::wstring s) {
  CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

// Runs a command line to its end; its exit code.
DWORD run(std::wstring cmd) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

DWORD install(const std::wstring& args) {
  return run(L"\"" + env_path("BREVANT_SETUP") + L"\" /S " + args);
}

// As the uninstaller does it itself: a copy in the temporary folder removes the installed one.
// Run this way, the copy's own end is the end of the removal.
DWORD uninstall(const std::wstring& dir, const std::wstring& args) {
  wchar_t tmp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, tmp);
  const std::wstring copy = std::wstring(tmp) + L"brevant-uninstall.exe";
  if (!CopyFileW((dir + L"\\uninstall.exe").c_str(), copy.c_str(), FALSE))
    return 0xFFFFFFFD;
  const DWORD code = run(L"\"" + copy + L"\" /S " + args + L" _?=" + dir);
  DeleteFileW(copy.c_str());
  return code;
}

// Every file under `dir`, as paths relative to it, in the order found.
void list_files(const std::wstring& dir, const std::wstring& rel, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW fd{};
  HANDLE h = FindFirstFileW((dir + L"\\" + rel + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE)
    return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      list_files(dir, rel + name + L"\\", out);
    else
      out.push_back(rel + name);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

std::vector<std::wstring> files_under(const std::wstring& dir) {
  std::vector<std::wstring> out;
  list_files(dir, L"", out);
  return out;
}

std::string contents(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring setting(const std::wstring& dir, const wchar_t* key) {
  wchar_t buf[256] = {};
  GetPrivateProfileStringW(L"config", key, L"<missing>", buf, 256,
                           (dir + L"\\configUIN.ini").c_str());
  return buf;
}

std::wstring value(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS)
    return L"<missing>";
  wchar_t buf[1024] = {};
  DWORD bytes = sizeof buf - sizeof(wchar_t);
  const LSTATUS rc = RegGetValueW(h, nullptr, name, RRF_RT_REG_SZ, nullptr, buf, &bytes);
  RegCloseKey(h);
  return rc == ERROR_SUCCESS ? std::wstring(buf) : L"<missing>";
}

bool key_exists(HKEY root, const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return false;
  RegCloseKey(h);
  return true;
}

// Software\Classes of one root, in one registry view.
class Classes {
 public:
  explicit Classes(HKEY base, REGSAM view = 0) {
    RegCreateKeyExW(base, L"Software\\Classes", 0, nullptr, 0, KEY_READ | view, nullptr, &h_,
                    nullptr);
  }
  Classes(const Classes&) = delete;
  Classes& operator=(const Classes&) = delete;
  ~Classes() {
    if (h_)
      RegCloseKey(h_);
  }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = nullptr;
};

// Without WoW64 no 32-bit program runs, and the installer registers only the x64 DLL.
bool has_32_bit_subsystem() {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  return exists(std::wstring(windows) + L"\\SysWOW64\\regsvr32.exe");
}

void expect_installed(const std::wstring& dir) {
  for (const wchar_t* f : kProgramFiles)
    EXPECT_TRUE(exists(dir + L"\\" + f)) << narrow(f);
  const std::wstring pages = env_path("BREVANT_PAGE_DIR");
  int page_files = 0;
  for (const wchar_t* folder : {L"IO11\\", L"IOEN\\", L"common\\"}) {
    std::vector<std::wstring> files;
    list_files(pages, folder, files);
    for (const std::wstring& f : files) {
      ++page_files;
      EXPECT_EQ(contents(dir + L"\\" + f), contents(pages + L"\\" + f)) << narrow(f);
    }
  }
  EXPECT_GE(page_files, 4) << "IO11\\IO.htm, IOEN\\IO.htm and the shared files";
}

// Whether `base`'s class keys have a 32-bit view of their own: Windows keeps the CLSID keys
// apart for 32-bit programs; Wine keeps one copy of HKCU's. Told by a key made in the 64-bit
// view and looked for in the 32-bit one.
bool keeps_two_class_views(HKEY base) {
  const wchar_t* probe = L"Software\\Classes\\CLSID\\{6C1E5A2B-0D3F-4E8A-9B7C-2F4D6E8A0B1C}";
  HKEY h = nullptr;
  if (RegCreateKeyExW(base, probe, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE | KEY_WOW64_64KEY,
                      nullptr, &h, nullptr) != ERROR_SUCCESS)
    return true;
  RegCloseKey(h);
  HKEY seen = nullptr;
  const bool shared =
      RegOpenKeyExW(base, probe, 0, KEY_READ | KEY_WOW64_32KEY, &seen) == ERROR_SUCCESS;
  if (seen)
    RegCloseKey(seen);
  RegDeleteKeyExW(base, probe, KEY_WOW64_64KEY, 0);
  return !shared;
}

// The 32-bit view: the x86 DLL's registration where the registry keeps that view apart, and
// the x64 DLL's where it has one copy (the x64 registration comes last, so that a 64-bit
// messenger always finds its own DLL). Checked where this system can run 32-bit programs.
void expect_x86_registered(HKEY base, const std::wstring& dir) {
  const bool two_views = keeps_two_class_views(base);
  const char* root = base == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
  std::printf("%s\\Software\\Classes\\CLSID: %s\n", root,
              two_views ? "a 32-bit view of its own" : "one view for 32-bit and 64-bit programs");
  if (!has_32_bit_subsystem()) {
    std::printf("x86 registration not checked: this prefix has no 32-bit subsystem\n");
    return;
  }
  const std::wstring dll32 = upper(dir + L"\\brevant32.dll");
  const Class& c = cls(L"vb_brevant");
  EXPECT_EQ(
      upper(value(base, std::wstring(L"Software\\Classes\\CLSID\\") + c.clsid + L"\\InprocServer32",
                  nullptr, KEY_WOW64_32KEY)),
      two_views ? dll32 : upper(dir + L"\\brevant64.dll"));
  // The type library's key is shared, with one entry per platform.
  EXPECT_EQ(
      upper(value(base, std::wstring(L"Software\\Classes\\TypeLib\\") + kLibId + L"\\1.0\\0\\win32",
                  nullptr, KEY_WOW64_32KEY)),
      dll32);
}

// The module the object's code lives in: its vtable lies in the DLL that made it.
std::wstring module_of(IUnknown* obj) {
  HMODULE m = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      *reinterpret_cast<LPCWSTR*>(obj), &m);
  wchar_t buf[MAX_PATH] = {};
  if (m)
    GetModuleFileNameW(m, buf, MAX_PATH);
  return buf;
}

TEST(Installer, PerUserByDefaultKeepsSettingsAndUninstallsWhatItInstalled) {
  const std::wstring dir = known_folder(FOLDERID_LocalAppData) + L"\\Programs\\brevant";
  const std::wstring menu = known_folder(FOLDERID_Programs) + L"\\brevant";
  Classes user(HKEY_CURRENT_USER), machine(HKEY_LOCAL_MACHINE);
  Classes user32(HKEY_CURRENT_USER, KEY_WOW64_32KEY);

  ASSERT_EQ(install(L"/LANG=2052"), 0u);
  expect_installed(dir);
  EXPECT_EQ(setting(dir, L"lan"), L"cn");
  EXPECT_EQ(setting(dir, L"server"), kDefaultServer);
  set_dll_path(dir + L"\\brevant64.dll");
  expect_registered(user.get());
  expect_x86_registered(HKEY_CURRENT_USER, dir);
  EXPECT_THAT(keys_left(machine.get()), IsEmpty()) << "nothing for the machine";
  EXPECT_EQ(upper(value(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation")), upper(dir));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_THAT(files_under(menu), ElementsAre(kChineseShortcut)) << "starts the server";

  // A reinstallation keeps the user's settings; in the other language, its shortcut replaces
  // the earlier one.
  ASSERT_TRUE(
      WritePrivateProfileStringW(L"config", L"lan", L"en", (dir + L"\\configUIN.ini").c_str()));
  ASSERT_EQ(install(L"/LANG=1033"), 0u);
  expect_installed(dir);
  EXPECT_EQ(setting(dir, L"lan"), L"en");
  EXPECT_THAT(files_under(menu), ElementsAre(kEnglishShortcut));

  ASSERT_EQ(uninstall(dir, L""), 0u);
  EXPECT_THAT(files_under(dir), ElementsAre(L"configUIN.ini")) << "only the settings stay";
  EXPECT_EQ(setting(dir, L"lan"), L"en");
  EXPECT_THAT(keys_left(user.get()), IsEmpty());
  if (has_32_bit_subsystem()) {
    EXPECT_THAT(keys_left(user32.get()), IsEmpty());
  }
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(exists(menu));

  // Installed again, the kept settings are in force; asked to, the uninstaller takes them too.
  ASSERT_EQ(install(L"/LANG=2052"), 0u);
  EXPECT_EQ(setting(dir, L"lan"), L"en");
  ASSERT_EQ(uninstall(dir, L"/REMOVECONFIG"), 0u);
  EXPECT_FALSE(exists(dir));
  EXPECT_THAT(keys_left(user.get()), IsEmpty());
}

TEST(Installer, MachineWideServesEveryClassByProgIdFromTheInstalledDll) {
  const std::wstring dir = known_folder(FOLDERID_ProgramFiles) + L"\\brevant";
  const std::wstring dll = dir + L"\\brevant64.dll";
  Classes user(HKEY_CURRENT_USER), machine(HKEY_LOCAL_MACHINE);

  ASSERT_EQ(install(L"/ALLUSERS /LANG=1033"), 0u);
  expect_installed(dir);
  set_dll_path(dll);
  expect_registered(machine.get());
  expect_x86_registered(HKEY_LOCAL_MACHINE, dir);
  EXPECT_THAT(keys_left(user.get()), IsEmpty()) << "nothing for the user alone";
  EXPECT_EQ(upper(value(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation")), upper(dir));
  EXPECT_THAT(files_under(known_folder(FOLDERID_CommonPrograms) + L"\\brevant"),
              ElementsAre(kEnglishShortcut));

  // The messenger's way: CLSIDFromProgID, then CoCreateInstance.
  for (const Class& c : kClasses) {
    ComPtr<IUnknown> obj;
    EXPECT_HR(S_OK, create(c, obj)) << narrow(c.name);
    if (obj) {
      EXPECT_EQ(upper(module_of(obj.get())), upper(dll)) << narrow(c.name);
    }
  }
  // Windows cannot delete a loaded DLL: the uninstaller below would leave it behind.
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(GetModuleHandleW(L"brevant64.dll"), nullptr) << "unloaded once its objects are gone";

  ASSERT_EQ(uninstall(dir, L""), 0u);
  EXPECT_THAT(files_under(dir), ElementsAre(L"configUIN.ini"));
  EXPECT_THAT(keys_left(machine.get()), IsEmpty());
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(exists(known_folder(FOLDERID_CommonPrograms) + L"\\brevant"));
}

}  // namespace
}  // namespace host_sim
