// The real Win32 settings dialogs and notices under Wine, found from a thread timer while
// they run modally and driven by window messages: the captions read back as UTF-16 (the ANSI
// code page cannot hold them all), options and the box clicked, OK, Cancel or the close
// button pressed, and the settings file checked afterwards through kernel32.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/settings_dialog.h"
#include "platform/sim/sim_services.h"
#include "platform/win32/win32_dialogs.h"
#include "plugin/module.h"
#include "tests/support/profile_cases.h"

namespace brevant {
namespace {

namespace fs = std::filesystem;
namespace ids = win32_dialogs;
using profile_cases::kNoFile;
using profile_cases::read_bytes;
using profile_cases::TempFolder;
using profile_cases::write_bytes;

struct Driver {
  std::function<void(HWND)> user;
  HWND found = nullptr;
  int ticks = 0;
};
Driver* g_driver = nullptr;

BOOL CALLBACK find_dialog(HWND wnd, LPARAM out) {
  wchar_t cls[32] = {};
  GetClassNameW(wnd, cls, 32);
  if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(wnd))
    return TRUE;
  *reinterpret_cast<HWND*>(out) = wnd;
  return FALSE;
}

HWND shown_dialog() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) {
  Driver& d = *g_driver;
  const HWND dialog = shown_dialog();
  if (dialog && !d.found) {
    d.found = dialog;
    d.user(dialog);
  } else if (dialog && ++d.ticks > 150) {
    ADD_FAILURE() << "the window stayed open";
    EndDialog(dialog, IDCANCEL);
  }
}

// Runs `body`, which opens one modal window; once it is on screen, `user` acts on it.
void with_user(std::function<void(HWND)> user, const std::function<void()>& body) {
  Driver driver{std::move(user)};
  g_driver = &driver;
  const UINT_PTR timer = SetTimer(nullptr, 0, 30, on_timer);
  body();
  KillTimer(nullptr, timer);
  g_driver = nullptr;
  EXPECT_NE(driver.found, nullptr) << "the window was shown";
}

std::wstring text_of(HWND wnd) {
  wchar_t buf[256] = {};
  GetWindowTextW(wnd, buf, 256);
  return buf;
}

constexpr int kControls[] = {ids::kFrame2,  ids::kEnglish,  ids::kJapanese,
                             ids::kFrame1,  ids::kDouble,   ids::kSingle,
                             ids::kPreview, ids::kCommand1, ids::kCommand2};
constexpr int kOptions[] = {ids::kEnglish, ids::kJapanese, ids::kDouble, ids::kSingle,
                            ids::kPreview};
constexpr int kClose = -1;  // the window's close button

struct Case {
  const char* name;
  DialogLanguage language;
  std::string_view before;
  std::vector<std::wstring> captions;  // the window, then kControls
  std::vector<bool> shown;             // kOptions as the dialog opens
  std::vector<int> clicks;             // the last one closes the dialog
  std::string_view after;
};

const std::vector<std::wstring> kChinese = {L"翻译设置", L"语言设置", L"中英模式", L"中日模式",
                                            L"格式设置", L"双语发送", L"单语发送", L"预览开启",
                                            L"确定",     L"取消"};
const std::vector<std::wstring> kEnglish = {L"Translation seting",
                                            L"Language",
                                            L"Chinese-English",
                                            L"Chinese-Japanese",
                                            L"Format",
                                            L"send bilingual",
                                            L"send monolingual",
                                            L"open the preview",
                                            L"ok",
                                            L"cancel"};
constexpr std::string_view kAllSet =
    "[config]\r\nconfiglan=en\r\nconfigformat=double\r\nconfigpreview=on\r\n";

const Case kCases[] = {
    {"AcceptJapaneseSingleCleared",
     DialogLanguage::kChinese,
     kNoFile,
     kChinese,
     {false, false, false, false, false},
     {ids::kJapanese, ids::kSingle, ids::kPreview, ids::kPreview, ids::kCommand1},
     "[config]\r\nconfigformat=single\r\nconfiglan=ja\r\nconfigpreview=off\r\n"},
    {"CancelAfterChangingEverything",
     DialogLanguage::kEnglish,
     kAllSet,
     kEnglish,
     {true, false, true, false, true},
     {ids::kJapanese, ids::kSingle, ids::kPreview, ids::kCommand2},
     kAllSet},
    {"CloseButtonCancels",
     DialogLanguage::kChinese,
     kAllSet,
     kChinese,
     {true, false, true, false, true},
     {ids::kJapanese, kClose},
     kAllSet},
    {"PreselectedAcceptedAsShown",
     DialogLanguage::kEnglish,
     "[config]\r\nconfigpreview=on\r\nconfiglan=ja\r\n",
     kEnglish,
     {false, true, false, false, true},
     {ids::kDouble, ids::kCommand1},
     "[config]\r\nconfigpreview=on\r\nconfiglan=ja\r\nconfigformat=double\r\n"},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class Win32SettingsDialog : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    // The companion window that the dialog is modal over.
    owner = CreateWindowExW(0, L"STATIC", L"frmChat", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                            400, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    SetActiveWindow(owner);
    SimServices sim = make_sim_services(from_utf8(folder.path().string()));
    sim.services.ui = make_win32_ui();
    module = std::make_unique<Module>(std::move(sim.services));
  }
  void TearDown() override {
    module.reset();
    DestroyWindow(owner);
  }

  // Checks that `dialog` is modal over the companion window.
  void expect_modal(HWND dialog) {
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    EXPECT_FALSE(IsWindowEnabled(owner)) << "the companion window waits for the dialog";
  }

  TempFolder folder;
  HWND owner = nullptr;
  std::unique_ptr<Module> module;
};

TEST_P(Win32SettingsDialog, DrivenByWindowMessages) {
  const Case& c = GetParam();
  const fs::path file = folder.path() / "configUIN.ini";
  if (c.before != kNoFile)
    write_bytes(file, c.before);

  with_user(
      [&](HWND dialog) {
        expect_modal(dialog);
        std::vector<std::wstring> captions = {text_of(dialog)};
        for (int id : kControls)
          captions.push_back(text_of(GetDlgItem(dialog, id)));
        EXPECT_EQ(captions, c.captions);
        std::vector<bool> shown;
        for (int id : kOptions)
          shown.push_back(IsDlgButtonChecked(dialog, id) == BST_CHECKED);
        EXPECT_EQ(shown, c.shown) << "preselected";
        for (int id : c.clicks) {
          if (id == kClose)
            SendMessageW(dialog, WM_CLOSE, 0, 0);
          else
            SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        }
      },
      [&] { show_settings_dialog(module->settings(), module->ui(), c.language, 0); });

  EXPECT_EQ(shown_dialog(), nullptr) << "the dialog is gone";
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(read_bytes(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(Win32, Win32SettingsDialog, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Win32SettingsDialog, NoticesShowTheirTextAndCloseOnAClick) {
  struct NoticeCase {
    Notice notice;
    const wchar_t* title;
    const wchar_t* says;
    bool by_close_button;
  };
  for (const NoticeCase& n : {NoticeCase{Notice::Frmchangedcn, L"温馨提示：", L"英文", false},
                              NoticeCase{Notice::Frmchangeden, L"", L"Chinese", false},
                              NoticeCase{Notice::Frmlanguage, L"", L"cannot", true}}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(n.says)));
    with_user(
        [&](HWND dialog) {
          expect_modal(dialog);
          EXPECT_EQ(text_of(dialog), n.title);
          const HWND text = GetDlgItem(dialog, ids::kLabel1);
          EXPECT_NE(text_of(text).find(n.says), std::wstring::npos);
          if (n.by_close_button) {
            SendMessageW(dialog, WM_CLOSE, 0, 0);
          } else {
            SendMessageW(text, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            SendMessageW(text, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
          }
        },
        [&] { show_notice(module->ui(), n.notice, 0); });
    EXPECT_EQ(shown_dialog(), nullptr) << "the notice is gone";
  }
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace brevant
