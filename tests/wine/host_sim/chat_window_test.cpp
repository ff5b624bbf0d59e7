// One chat window of the stand-in messenger, with real user32 windows, driving the real DLL:
// login, the window's two items, a chat message that reaches the translation server on the
// wire, the item's button collapsing the companion, a tab change, and closing the chat.

#include <winsock2.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "host_sim_test.h"
#include "tests/support/capture_server.h"

namespace host_sim {
namespace {

constexpr wchar_t kCompanionClass[] = L"brevant.Companion";

// Pumps this thread's messages until `done` holds or `limit_ms` have passed.
bool pump_until(const std::function<bool()>& done, int limit_ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit_ms);
  while (!done()) {
    if (GetTickCount64() > end)
      return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
  return true;
}

int g_clicks = 0;

LRESULT CALLBACK host_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONUP)
    ++g_clicks;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// The messenger's chat window: a "StandardFrame" with its Send button and the input area three
// levels down.
struct HostWindow {
  HWND frame = nullptr;
  HWND button = nullptr;
  HWND input = nullptr;

  HostWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = host_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    for (const wchar_t* name : {L"StandardFrame", L"StandardButton", L"Panel"}) {
      wc.lpszClassName = name;
      RegisterClassW(&wc);
    }
    frame = CreateWindowExW(0, L"StandardFrame", L"friend - hostuser", WS_OVERLAPPEDWINDOW, 100, 50,
                            600, 400, nullptr, nullptr, wc.hInstance, nullptr);
    button = CreateWindowExW(0, L"StandardButton", L"\u53D1\u9001", WS_CHILD | WS_VISIBLE, 500, 330,
                             80, 30, frame, nullptr, wc.hInstance, nullptr);
    HWND parent = frame;
    for (int level = 0; level < 3; ++level) {
      parent = CreateWindowExW(0, L"Panel", L"", WS_CHILD | WS_VISIBLE, 0, 0, 500, 100, parent,
                               nullptr, wc.hInstance, nullptr);
    }
    input = parent;
    ShowWindow(frame, SW_SHOW);
  }
  ~HostWindow() { DestroyWindow(frame); }
};

struct Winsock {
  Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

class ChatWindow : public Registered {
 protected:
  void SetUp() override {
    Registered::SetUp();
    // The plug-in reads its settings beside the DLL: the Chinese page and our server.
    ini_ = std::filesystem::path(dll_path()).parent_path() / L"configUIN.ini";
    std::ofstream(ini_, std::ios::binary)
        << "[config]\r\nlan=cn\r\nserver=" << server_.url() << "\r\n";
  }
  void TearDown() override {
    std::filesystem::remove(ini_);
    Registered::TearDown();
  }

  Winsock winsock_;
  brevant::testing::CaptureServer server_{200, 0};
  std::filesystem::path ini_;
};

TEST_F(ChatWindow, MessagesReachTheServerAndTheCompanionFollowsTheItems) {
  HostWindow host;
  ComPtr<ISDKPlugin2> plugin;
  ASSERT_HR(S_OK, create(cls(L"vb_brevant"), plugin));
  auto app = ComPtr<HostApplication>::adopt(new HostApplication());
  ASSERT_HR(S_OK, plugin->OnConnect(app.get(), 7));
  ASSERT_HR(S_OK, plugin->OnNotify(0, nullptr));

  ComPtr<ISDKPluginItem> main_item, input_item;
  ASSERT_HR(S_OK, create(cls(L"vb_imchatmainplugin"), main_item));
  ASSERT_HR(S_OK, create(cls(L"vb_imchatinputplugin"), input_item));
  auto slot = ComPtr<HostInputSlot>::adopt(new HostInputSlot());
  const LONG input = static_cast<LONG>(reinterpret_cast<INT_PTR>(host.input));
  EXPECT_HR(S_OK, main_item->OnCreate(static_cast<IQNItemSlot*>(slot.get()), input, 3));
  EXPECT_HR(S_OK, input_item->OnCreate(static_cast<IQNItemSlot*>(slot.get()), input, 4));
  const HWND companion = FindWindowW(kCompanionClass, nullptr);
  ASSERT_NE(companion, nullptr) << "the input item made the chat's companion";

  // Translation on: the companion docks at the host's right edge.
  EXPECT_HR(S_OK, input_item->OnClick());
  RECT frame{}, docked{};
  GetWindowRect(host.frame, &frame);
  EXPECT_TRUE(pump_until(
      [&] { return GetWindowRect(companion, &docked) && docked.left == frame.right; }, 3000));
  EXPECT_EQ(docked.bottom, frame.bottom);

  // A contact's message goes to the server as the engines send it.
  auto message = ComPtr<HostChatMessage>::adopt(new HostChatMessage());
  message->text = L"\u4F60\u597D";
  EXPECT_HR(S_OK, plugin->OnNotify(3, message.get()));
  EXPECT_TRUE(pump_until([&] { return !server_.received().empty(); }, 5000));
  const auto received = server_.received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].request_line, "POST /trans2/index.asp HTTP/1.1");
  EXPECT_NE(received[0].body.find("text=%E4%BD%A0%E5%A5%BD&lang=02"), std::string::npos)
      << received[0].body;
  pump_until([] { return false; }, 1500);
  EXPECT_EQ(server_.received().size(), 1u) << "the first answer came in time: one request";

  // Translation off: the companion collapses to one pixel.
  EXPECT_HR(S_OK, input_item->OnClick());
  RECT collapsed{};
  EXPECT_TRUE(pump_until(
      [&] {
        return GetWindowRect(companion, &collapsed) && collapsed.right - collapsed.left == 1 &&
               collapsed.bottom - collapsed.top == 1;
      },
      3000));

  // A tab change brings the chat's host window to the front.
  HWND other = CreateWindowExW(0, L"Panel", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50,
                               50, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  auto tab = ComPtr<HostTabChange>::adopt(new HostTabChange(L"cnquorinfriend"));
  EXPECT_HR(S_OK, main_item->OnNotify(1, tab.get()));
  EXPECT_EQ(GetForegroundWindow(), host.frame);
  DestroyWindow(other);

  // Closing the chat unloads its companion and everything of the plug-in goes quiet.
  EXPECT_HR(S_OK, input_item->OnDestroy());
  EXPECT_TRUE(pump_until([&] { return !IsWindow(companion); }, 3000));
  EXPECT_EQ(g_clicks, 0) << "nothing was sent, so Send was never pressed";
  input_item.reset();
  main_item.reset();
  plugin.reset();
  pump_until([] { return false; }, 300);
}

}  // namespace
}  // namespace host_sim
