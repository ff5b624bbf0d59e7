// The settings dialogs end to end on a real settings file, with scripted answers standing for
// the user: what each dialog preselects, what accepting writes and in which order, that a
// cancel writes nothing, and that a failing write never costs the old file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "config/settings_dialog.h"
#include "platform/sim/sim_services.h"
#include "plugin/module.h"
#include "tests/support/profile_cases.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

namespace brevant {
namespace {

namespace fs = std::filesystem;
using profile_cases::kNoFile;
using profile_cases::read_bytes;
using profile_cases::TempFolder;
using profile_cases::write_bytes;

constexpr LanguageOption kNoLan = LanguageOption::kNone, kEn = LanguageOption::kEnglish,
                         kJa = LanguageOption::kJapanese;
constexpr FormatOption kNoFormat = FormatOption::kNone, kDouble = FormatOption::kDouble,
                       kSingle = FormatOption::kSingle;
constexpr CheckState kCleared = CheckState::kCleared, kChecked = CheckState::kChecked,
                     kGrey = CheckState::kGrey;

// Accepts whatever the dialog shows.
std::optional<DialogChoice> as_shown(const DialogChoice& shown) {
  return shown;
}

struct Case {
  const char* name;
  std::string_view before;  // configUIN.ini, or kNoFile
  DialogChoice shown;       // the controls as the dialog opens
  ScriptedUi::DialogAnswer answer;
  std::string_view after;  // configUIN.ini afterwards
  // Runs while the dialog is open, as another part of the program or another program may.
  std::function<void(Module&, const fs::path& folder)> meanwhile = {};
};

const Case kCases[] = {
    {"AcceptJapaneseSingleCleared",
     "[config]\r\nlan=cn\r\nconfigpreview=on\r\n[quillnetmequillnetyou]\r\npreview=on\r\n",
     {kNoLan, kNoFormat, kChecked},
     [](const DialogChoice&) {
       return std::optional(DialogChoice{kJa, kSingle, kCleared});
     },
     // Format, then language, then preview; every other line stays.
     "[config]\r\nlan=cn\r\nconfigpreview=off\r\nconfigformat=single\r\nconfiglan=ja\r\n"
     "[quillnetmequillnetyou]\r\npreview=on\r\n"},
    {"CancelWritesNothing",
     "[config]\r\nconfiglan=en\r\nconfigformat=double\r\nconfigpreview=on\r\n",
     {kEn, kDouble, kChecked},
     [](const DialogChoice&) { return std::optional<DialogChoice>(); },
     "[config]\r\nconfiglan=en\r\nconfigformat=double\r\nconfigpreview=on\r\n"},
    {"PreviewPreselectedIsWrittenAgain",
     "[config]\r\nconfigpreview=on\r\n",
     {kNoLan, kNoFormat, kChecked},
     as_shown,
     "[config]\r\nconfigpreview=on\r\n",
     // The file changes under the open dialog: accepting writes what the box shows.
     [](Module&, const fs::path& folder) {
       write_bytes(folder / "configUIN.ini", "[config]\r\nconfigpreview=off\r\n");
     }},
    {"NoKeysWritesOnlyPreviewOff",
     kNoFile,
     {kNoLan, kNoFormat, kCleared},
     as_shown,
     "[config]\r\nconfigpreview=off\r\n"},
    {"OtherValuesPreselectNothing",
     "[config]\r\nconfiglan=EN\r\nconfigformat=Double\r\nconfigpreview=yes\r\n",
     {kNoLan, kNoFormat, kCleared},
     as_shown,
     "[config]\r\nconfiglan=EN\r\nconfigformat=Double\r\nconfigpreview=off\r\n"},
    {"PreselectedAcceptedUnchanged",
     "[config]\r\nconfiglan=ja\r\nconfigformat=single\r\nconfigpreview=off\r\n",
     {kJa, kSingle, kCleared},
     as_shown,
     "[config]\r\nconfiglan=ja\r\nconfigformat=single\r\nconfigpreview=off\r\n"},
    {"GreyBoxWritesNoPreview",
     kNoFile,
     {kNoLan, kNoFormat, kCleared},
     [](const DialogChoice&) {
       return std::optional(DialogChoice{kEn, kDouble, kGrey});
     },
     "[config]\r\nconfigformat=double\r\nconfiglan=en\r\n"},
    {"WritesWhereTheLoadRead",
     "[config]\r\nlan=en\r\n",
     {kNoLan, kNoFormat, kCleared},
     [](const DialogChoice&) {
       return std::optional(DialogChoice{kEn, kSingle, kChecked});
     },
     "[config]\r\nlan=en\r\nconfigformat=single\r\nconfiglan=en\r\nconfigpreview=on\r\n",
     // The coordinator selects configIM.ini while the dialog is open.
     [](Module& module, const fs::path&) { module.settings().use(kConfigImFile); }},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class SettingsDialog : public testing::TestWithParam<std::tuple<Case, DialogLanguage>> {};

TEST_P(SettingsDialog, PreselectsAndWrites) {
  const auto& [c, language] = GetParam();
  TempFolder folder;
  const fs::path file = folder.path() / "configUIN.ini";
  if (c.before != kNoFile)
    write_bytes(file, c.before);
  SimServices sim = make_sim_services(from_utf8(folder.path().string()));
  ScriptedUi& ui = *sim.ui;
  Module module(std::move(sim.services));
  ui.answer_dialog([&](const DialogChoice& shown) {
    if (c.meanwhile)
      c.meanwhile(module, folder.path());
    return c.answer(shown);
  });

  show_settings_dialog(module.settings(), module.ui(), language, 0);

  ASSERT_EQ(ui.dialogs().size(), 1u);
  const ScriptedUi::Dialog& shown = ui.dialogs()[0];
  EXPECT_EQ(shown.shown, c.shown) << "preselected controls";
  EXPECT_EQ(shown.text.title,
            language == DialogLanguage::kChinese ? u"翻译设置" : u"Translation seting");
  EXPECT_EQ(read_bytes(file), c.after);
  EXPECT_FALSE(fs::exists(folder.path() / "configIM.ini"));
  EXPECT_TRUE(ui.notices().empty());
}

INSTANTIATE_TEST_SUITE_P(BothDialogs, SettingsDialog,
                         testing::Combine(testing::ValuesIn(kCases),
                                          testing::Values(DialogLanguage::kChinese,
                                                          DialogLanguage::kEnglish)),
                         [](const testing::TestParamInfo<SettingsDialog::ParamType>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == DialogLanguage::kChinese
                                       ? "_Frmsetformat"
                                       : "_Frmsetformaten");
                         });

// Whether a file can be opened for writing, or made in `folder`: a failure below that cannot
// be arranged on this machine (root writes through permissions) is left out.
bool can_append(const fs::path& file) {
  return std::ofstream(file, std::ios::app).is_open();
}
bool can_create_in(const fs::path& folder) {
  const bool made = std::ofstream(folder / "probe").is_open();
  std::error_code ec;
  fs::remove(folder / "probe", ec);
  return made;
}

// A write that fails leaves the old file whole, byte for byte, and is silent.
TEST(SettingsDialogFailure, AFailingWriteKeepsTheOldFile) {
  struct Failure {
    const char* name;
    std::function<bool(const fs::path& file)> fail;  // false: cannot be arranged here
    std::function<void(const fs::path& file)> undo;
  };
  const std::string old = "[config]\r\nlan=cn\r\nconfigpreview=on\r\n";
#ifdef _WIN32
  HANDLE held = INVALID_HANDLE_VALUE;
#endif
  const std::vector<Failure> failures = {
      {"read-only folder",
       [](const fs::path& file) {
         fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
         return !can_create_in(file.parent_path());
       },
       [](const fs::path& file) { fs::permissions(file.parent_path(), fs::perms::owner_all); }},
      {"read-only file",
       [](const fs::path& file) {
         fs::permissions(file, fs::perms::owner_read);
         return !can_append(file);
       },
       [](const fs::path& file) {
         fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
       }},
#ifdef _WIN32
      {"file held open by another program",
       [&](const fs::path& file) {
         held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         return held != INVALID_HANDLE_VALUE;
       },
       [&](const fs::path&) { CloseHandle(held); }},
#else
      {"full disk",
       [&](const fs::path&) {
         // Files may not grow beyond the old one's size, as on a full disk.
         signal(SIGXFSZ, SIG_IGN);
         rlimit limit{static_cast<rlim_t>(old.size()), RLIM_INFINITY};
         return setrlimit(RLIMIT_FSIZE, &limit) == 0;
       },
       [](const fs::path&) {
         rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
         setrlimit(RLIMIT_FSIZE, &limit);
       }},
#endif
  };
  int arranged = 0;
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.name);
    TempFolder folder;
    const fs::path file = folder.path() / "configUIN.ini";
    write_bytes(file, old);
    SimServices sim = make_sim_services(from_utf8(folder.path().string()));
    ScriptedUi& ui = *sim.ui;
    Module module(std::move(sim.services));
    ui.answer_dialog([](const DialogChoice&) {
      return std::optional(DialogChoice{kJa, kDouble, kCleared});
    });
    const bool failing = f.fail(file);
    show_settings_dialog(module.settings(), module.ui(), DialogLanguage::kEnglish, 0);
    f.undo(file);
    if (!failing)
      continue;
    ++arranged;
    EXPECT_EQ(read_bytes(file), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no leftover beside the file";
  }
  EXPECT_GT(arranged, 0) << "at least one failure can be arranged on every machine";
}

}  // namespace
}  // namespace brevant
