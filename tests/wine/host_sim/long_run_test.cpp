// A long run of the real DLL in the stand-in messenger, with the bundled translation server
// (its Windows build, in a process of its own) on loopback and a stand-in browser control that
// has a page: 200 chat windows opened and closed, 1,000 incoming messages over them, 200 typed
// texts through the page's command channel, item clicks and tab changes. Afterwards the process
// holds what it held before, every message was asked for once, and the DLL unloads cleanly.

// windows.h first: psapi.h needs its types.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host_sim_test.h"
#include "tests/wine/host_windows.h"
#include "tests/wine/stand_in_browser.h"

namespace host_sim {
namespace {

using brevant::wine::HostChatWindow;
using brevant::wine::StandInControls;
using brevant::wine::StandInRecord;

constexpr int kWindows = 200;
constexpr int kOpenAtOnce = 5;
constexpr int kMessagesPerWindow = 5;
constexpr wchar_t kCompanionClass[] = L"brevant.Companion";

int g_ticks = 0;
void CALLBACK count_tick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
}

bool pump_until(const std::function<bool()>& done, int limit_ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit_ms);
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done())
      return true;
    if (GetTickCount64() > end)
      return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

// A path the build system gives as a Unix path, as this program sees it.
std::wstring windows_path(const char* unix_path) {
  std::wstring p = L"Z:";
  for (const char* c = unix_path; *c; ++c)
    p += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return p;
}

// trans-server.exe on a free loopback port, its output in a file; ended with the object.
class TranslationServer {
 public:
  TranslationServer() {
    const char* exe = std::getenv("BREVANT_TRANS_SERVER");
    if (!exe)
      return;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    log_ = std::filesystem::path(temp) /
           (L"brevant-longrun-" + std::to_wstring(GetCurrentProcessId()) + L".log");
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(log_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
      return;
    std::wstring cmd = L"\"" + windows_path(exe) + L"\" --port 0 --threads 2";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    si.hStdInput = nullptr;
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &si, &process_)) {
      CloseHandle(process_.hThread);
      process_.hThread = nullptr;
    }
    CloseHandle(out);
    pump_until([&] { return port() != 0 || !process_.hProcess; }, 20000);
  }
  ~TranslationServer() {
    if (process_.hProcess) {
      TerminateProcess(process_.hProcess, 0);
      WaitForSingleObject(process_.hProcess, 10000);
      CloseHandle(process_.hProcess);
    }
    std::error_code ignored;
    std::filesystem::remove(log_, ignored);
  }
  TranslationServer(const TranslationServer&) = delete;
  TranslationServer& operator=(const TranslationServer&) = delete;

  std::string output() const {
    std::ifstream in(log_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int port() const {
    const std::string text = output();
    const std::string mark = "listening on http://127.0.0.1:";
    const auto at = text.find(mark);
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + mark.size());
  }
  // Answered translation requests in the request log, by the server's language code.
  std::map<std::string, int> answered() const {
    std::map<std::string, int> by_code;
    std::istringstream lines(output());
    std::string line;
    while (std::getline(lines, line)) {
      const auto at = line.find(" POST /trans2/index.asp lang=");
      if (at == std::string::npos)
        continue;
      std::istringstream rest(line.substr(at + 29));
      std::string code;
      int status = 0;
      rest >> code >> status;
      by_code[code + " " + std::to_string(status)] += 1;
    }
    return by_code;
  }

 private:
  std::filesystem::path log_;
  PROCESS_INFORMATION process_{};
};

struct Figures {
  DWORD user = 0, gdi = 0;  // as the system reports them (Wine reports none)
  DWORD windows = 0;        // this thread's windows, message-only ones included
  std::string names;        // their classes
  DWORD handles = 0;
  SIZE_T private_bytes = 0;
};

std::string g_window_names;

BOOL CALLBACK count_window(HWND hwnd, LPARAM count) {
  ++*reinterpret_cast<DWORD*>(count);
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  g_window_names += narrow(name) + " ";
  EnumChildWindows(hwnd, count_window, count);
  return TRUE;
}

// The process's handles; where the system does not count them (Wine), the handle values that
// are open.
DWORD handle_count() {
  DWORD n = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &n) && n != 0)
    return n;
  DWORD flags = 0;
  for (UINT_PTR value = 4; value < 0x10000; value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++n;
  }
  return n;
}

Figures measure() {
  Figures f;
  g_window_names.clear();
  f.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  f.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  EnumThreadWindows(GetCurrentThreadId(), count_window, reinterpret_cast<LPARAM>(&f.windows));
  for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
       w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
    DWORD pid = 0;
    if (GetWindowThreadProcessId(w, &pid) == GetCurrentThreadId())
      count_window(w, reinterpret_cast<LPARAM>(&f.windows));
  }
  f.names = g_window_names;
  f.handles = handle_count();
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory)))
    f.private_bytes = memory.PagefileUsage;
  return f;
}

void print(const char* when, const Figures& f) {
  std::printf("%s: USER %lu, GDI %lu, windows %lu (%s), handles %lu, private %lu KiB\n", when,
              static_cast<unsigned long>(f.user), static_cast<unsigned long>(f.gdi),
              static_cast<unsigned long>(f.windows), f.names.c_str(),
              static_cast<unsigned long>(f.handles),
              static_cast<unsigned long>(f.private_bytes / 1024));
}

// The texts of the page lines a control was given, by function.
std::vector<std::wstring> lines_of(const StandInRecord& control, const wchar_t* function) {
  std::vector<std::wstring> out;
  for (const auto& s : control.scripts) {
    if (s.code.rfind(function, 0) == 0)
      out.push_back(s.code);
  }
  return out;
}

// One chat window of the messenger with its two items and its companion.
struct Chat {
  int number = 0;
  std::wstring contact;
  std::unique_ptr<HostChatWindow> host;
  HWND input = nullptr;
  ComPtr<HostInputSlot> slot;
  ComPtr<ISDKPluginItem> main_item, input_item;
  StandInRecord* control = nullptr;
  HWND companion = nullptr;
};

class LongRun : public Registered {
 protected:
  void SetUp() override {
    Registered::SetUp();
    ASSERT_TRUE(controls_.registered());
    ASSERT_NE(server_.port(), 0) << "trans-server did not start: " << server_.output();
    ini_ = std::filesystem::path(dll_path()).parent_path() / L"configUIN.ini";
    std::ofstream(ini_, std::ios::binary)
        << "[config]\r\nlan=cn\r\nserver=http://127.0.0.1:" << server_.port() << "\r\n";
  }
  void TearDown() override {
    std::filesystem::remove(ini_);
    Registered::TearDown();
  }

  void open(Chat& chat) {
    chat.contact = L"cnquorinfriend" + std::to_wstring(chat.number);
    chat.host =
        std::make_unique<HostChatWindow>(L"friend" + std::to_wstring(chat.number) + L" - hostuser",
                                         L"\u53D1\u9001", RECT{100, 50, 700, 450});
    // The input area lies three levels below the chat's frame.
    HWND parent = chat.host->frame();
    for (int level = 0; level < 3; ++level)
      parent = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 500, 100, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    chat.input = parent;
    chat.slot = ComPtr<HostInputSlot>::adopt(new HostInputSlot());
    chat.slot->chat->contact_id = chat.contact;
    chat.slot->contacts = {chat.contact};
    ASSERT_HR(S_OK, create(cls(L"vb_imchatmainplugin"), chat.main_item));
    ASSERT_HR(S_OK, create(cls(L"vb_imchatinputplugin"), chat.input_item));
    const LONG input = static_cast<LONG>(reinterpret_cast<INT_PTR>(chat.input));
    auto* slot = static_cast<IQNItemSlot*>(chat.slot.get());
    EXPECT_HR(S_OK, chat.main_item->OnCreate(slot, input, 3));
    const std::size_t before = controls_.made().size();
    EXPECT_HR(S_OK, chat.input_item->OnCreate(slot, input, 4));
    ASSERT_EQ(controls_.made().size(), before + 1) << "one control per companion";
    chat.control = controls_.made().back().get();
    chat.companion = chat.control->window;
    ASSERT_NE(chat.companion, nullptr);
    // The page reports that it is ready; the user switches translation on.
    EXPECT_TRUE(chat.control->before_navigate(chat.control->page_path() + L"#WebOk`"));
    EXPECT_HR(S_OK, chat.input_item->OnClick());
  }

  void close(Chat& chat) {
    EXPECT_HR(S_OK, chat.input_item->OnDestroy());
    EXPECT_TRUE(pump_until([&] { return !IsWindow(chat.companion); }, 5000))
        << "companion " << chat.number << " is still open";
    chat.input_item.reset();
    chat.main_item.reset();
    EXPECT_TRUE(chat.control->closed);
    EXPECT_FALSE(chat.control->site || chat.control->sink)
        << "companion " << chat.number << " still holds its control";
    chat.slot.reset();
    chat.host.reset();
    chat.control->scripts.clear();  // the test's own memory stays out of the figures
  }

  StandInControls controls_;
  TranslationServer server_;
  std::filesystem::path ini_;
};

// Routing through the real DLL: two windows of one contact with the later one closed, texts
// typed quickly in two chats, a tab change in another window. Each message shows in the live
// companion of its sender; each typed text reaches its own chat once, in the order typed.
TEST_F(LongRun, EveryTextReachesItsOwnChat) {
  auto app = ComPtr<HostApplication>::adopt(new HostApplication());
  ComPtr<ISDKPlugin2> plugin;
  ASSERT_HR(S_OK, create(cls(L"vb_brevant"), plugin));
  ASSERT_HR(S_OK, plugin->OnConnect(app.get(), 7));
  ASSERT_HR(S_OK, plugin->OnNotify(0, nullptr));
  std::vector<Chat> chats(4);
  const int numbers[] = {1, 1, 2, 3};  // the first two: one contact in two windows
  for (std::size_t i = 0; i < chats.size(); ++i) {
    chats[i].number = numbers[i];
    open(chats[i]);
    if (HasFatalFailure())
      return;
  }
  Chat &first = chats[0], &later = chats[1], &other = chats[2], &tabbed = chats[3];
  close(later);
  // The item of either window switches every window of the contact: on again for the first.
  EXPECT_HR(S_OK, first.input_item->OnClick());
  auto tab = ComPtr<HostTabChange>::adopt(new HostTabChange(other.contact));
  EXPECT_HR(S_OK, tabbed.main_item->OnNotify(1, tab.get()));

  auto message = ComPtr<HostChatMessage>::adopt(new HostChatMessage());
  message->sender = first.contact;
  message->text = L"\u4F60\u597D";
  EXPECT_HR(S_OK, plugin->OnNotify(3, message.get()));
  const auto type = [](Chat& c, const std::wstring& text) {
    EXPECT_TRUE(c.control->before_navigate(c.control->page_path() + L"#Word_From_User`" + text +
                                           L"`english`Pclose`Single`"));
  };
  type(first, L"thank%20you%201");
  type(other, L"thank%20you%202");
  type(first, L"thank%20you%203");
  EXPECT_TRUE(pump_until(
      [&] { return first.slot->chat->sent.size() == 2 && other.slot->chat->sent.size() == 1; },
      15000));
  EXPECT_TRUE(
      pump_until([&] { return !lines_of(*first.control, L"PushMsg('\u4F60").empty(); }, 5000))
      << "the message shows in the live window of its sender";
  ASSERT_EQ(first.slot->chat->sent.size(), 2u);
  EXPECT_NE(first.slot->chat->sent[0].text.find(L" 1"), std::wstring::npos);
  EXPECT_NE(first.slot->chat->sent[1].text.find(L" 3"), std::wstring::npos);
  ASSERT_EQ(other.slot->chat->sent.size(), 1u);
  EXPECT_NE(other.slot->chat->sent[0].text.find(L" 2"), std::wstring::npos);
  for (const Chat* c : {&first, &other})
    EXPECT_EQ(c->slot->chat->sent.back().contact, c->contact);
  EXPECT_EQ(later.slot.get(), nullptr);
  EXPECT_TRUE(tabbed.slot->chat->sent.empty());

  for (Chat* c : {&first, &other, &tabbed})
    close(*c);
  plugin.reset();
  pump_until([] { return false; }, 300);
}

TEST_F(LongRun, TwoHundredChatsLeaveNothingBehindAndTheDllUnloads) {
  auto app = ComPtr<HostApplication>::adopt(new HostApplication());
  ComPtr<ISDKPlugin2> plugin;
  ASSERT_HR(S_OK, create(cls(L"vb_brevant"), plugin));
  ASSERT_HR(S_OK, plugin->OnConnect(app.get(), 7));
  ASSERT_HR(S_OK, plugin->OnNotify(0, nullptr));
  ComPtr<ISDKPluginItem> important;
  ASSERT_HR(S_OK, create(cls(L"vb_importantplugin"), important));
  auto important_slot = ComPtr<HostItemSlot>::adopt(new HostItemSlot());
  EXPECT_HR(S_OK, important->OnCreate(important_slot.get(), 0, 1));

  const Figures start = measure();
  Figures warm;
  const ULONGLONG started = GetTickCount64();
  int incoming = 0, typed = 0, undelivered = 0, unsent = 0;
  for (int group = 0; group < kWindows / kOpenAtOnce; ++group) {
    std::vector<Chat> chats(kOpenAtOnce);
    for (int i = 0; i < kOpenAtOnce; ++i) {
      chats[i].number = group * kOpenAtOnce + i;
      open(chats[i]);
      if (HasFatalFailure())
        return;
    }

    // Messages from all the chats at once, interleaved; each shows once, translated, in the
    // companion of the chat it came from.
    std::vector<std::wstring> texts;
    for (int m = 0; m < kOpenAtOnce * kMessagesPerWindow; ++m) {
      Chat& from = chats[m % kOpenAtOnce];
      auto message = ComPtr<HostChatMessage>::adopt(new HostChatMessage());
      message->sender = from.contact;
      message->text = L"\u4F60\u597D " + std::to_wstring(incoming++);
      texts.push_back(message->text);
      EXPECT_HR(S_OK, plugin->OnNotify(3, message.get()));
    }
    const auto shown = [&] {
      std::size_t n = 0;
      for (const Chat& c : chats)
        n += lines_of(*c.control, L"PushMsg(").size();
      return n;
    };
    if (!pump_until([&] { return shown() == texts.size(); }, 30000))
      undelivered += static_cast<int>(texts.size() - shown());
    for (int m = 0; m < static_cast<int>(texts.size()); ++m) {
      const auto lines = lines_of(*chats[m % kOpenAtOnce].control, L"PushMsg(");
      const std::wstring head = L"PushMsg('" + texts[m] + L"','";
      const auto count = std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) {
        return l.rfind(head, 0) == 0 && l.find(L"Hello") != std::wstring::npos;
      });
      EXPECT_EQ(count, 1) << "message " << narrow(texts[m]) << " shown translated once";
    }

    // Each chat's user types a text in the page: it is translated, placed in that chat and sent
    // with that chat's Send button.
    for (Chat& c : chats) {
      const std::wstring text = L"thank you " + std::to_wstring(typed++);
      std::wstring escaped = text;
      for (auto at = escaped.find(L' '); at != std::wstring::npos; at = escaped.find(L' ', at))
        escaped.replace(at, 1, L"%20");
      EXPECT_TRUE(c.control->before_navigate(c.control->page_path() + L"#Word_From_User`" +
                                             escaped + L"`english`Pclose`Single`"));
      if (!pump_until(
              [&] { return !c.slot->chat->sent.empty() && c.host->button_clicks().up == 1; },
              10000))
        ++unsent;
      ASSERT_EQ(c.slot->chat->sent.size(), 1u) << narrow(text);
      EXPECT_EQ(c.slot->chat->sent[0].contact, c.contact);
      EXPECT_NE(c.slot->chat->sent[0].text.find(L"\u8C22\u8C22"), std::wstring::npos)
          << narrow(c.slot->chat->sent[0].text);
      EXPECT_EQ(c.host->button_clicks(), (brevant::wine::Clicks{1, 1}));
    }

    // Items clicked: translation off and on again in one chat, the important item's questions.
    Chat& clicked = chats[group % kOpenAtOnce];
    EXPECT_HR(S_OK, clicked.input_item->OnClick());
    EXPECT_HR(S_OK, clicked.input_item->OnClick());
    const auto boxes = with_answers({true, false}, [&] { important->OnClick(); });
    EXPECT_EQ(boxes, questions({kAskShow, kAskEnable}));

    // A tab change brings its chat to the front.
    Chat& tab_to = chats[(group + 1) % kOpenAtOnce];
    auto tab = ComPtr<HostTabChange>::adopt(new HostTabChange(tab_to.contact));
    EXPECT_HR(S_OK, chats[0].main_item->OnNotify(1, tab.get()));
    EXPECT_EQ(GetForegroundWindow(), tab_to.host->frame());

    for (Chat& c : chats)
      close(c);
    if (group == 0)
      warm = measure();
  }
  pump_until([] { return false; }, 300);
  const Figures end = measure();
  std::printf("%d chats, %d messages, %d typed texts in %llu ms\n", kWindows, incoming, typed,
              static_cast<unsigned long long>(GetTickCount64() - started));
  print("start", start);
  print("after the first 5 chats", warm);
  print("after all 200", end);
  EXPECT_EQ(undelivered, 0);
  EXPECT_EQ(unsent, 0);

  // Every message and every typed text was asked for exactly once: as many answered requests
  // as texts, and each text was shown with its translation above.
  const std::map<std::string, int> want = {{"01 200", kWindows},
                                           {"02 200", kWindows * kMessagesPerWindow}};
  EXPECT_EQ(server_.answered(), want);

  EXPECT_LE(end.user, warm.user + 10);
  EXPECT_LE(end.gdi, warm.gdi + 10);
  // The system's own helper windows (urlmon's notification window) come and go with requests.
  EXPECT_LE(end.windows, warm.windows + 2);
  EXPECT_GT(end.handles, 0u);
  EXPECT_LE(end.handles, warm.handles + 20);
  EXPECT_GT(end.private_bytes, 0u);
  EXPECT_LT(end.private_bytes, warm.private_bytes + 16 * 1024 * 1024);
  EXPECT_EQ(FindWindowW(kCompanionClass, nullptr), nullptr);

  important->OnDestroy();
  important.reset();
  plugin.reset();
  EXPECT_EQ(StandInControls::live(), 0) << "stand-in objects the DLL did not release";
  EXPECT_HR(S_OK, can_unload_now()) << "everything closed";

  // COM frees the DLL; then timers elapse and messages flow without it.
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(GetModuleHandleW(L"brevant.dll"), nullptr) << "the DLL is still loaded";
  EXPECT_EQ(app->ref_count(), 1) << "the application object was released";
  g_ticks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, count_tick);
  HostChatWindow late(L"late - hostuser", L"\u53D1\u9001", {0, 0, 100, 100});
  PostMessageW(late.frame(), WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(late.frame(), WM_KEYUP, VK_TAB, 0);
  pump_until([] { return false; }, 500);
  KillTimer(nullptr, timer);
  EXPECT_GT(g_ticks, 5);
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, L"brevant.EventLoop", nullptr), nullptr);
}

}  // namespace
}  // namespace host_sim
