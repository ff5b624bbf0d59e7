// Runs the INI case table against this build's profile functions: the Linux emulation
// natively, kernel32 when the Windows build runs under Wine.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "config/ini_file.h"
#include "platform/code_page.h"
#include "platform/profile.h"
#include "tests/support/profile_cases.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace brevant {
namespace {

namespace fs = std::filesystem;
using profile_cases::Case;
using profile_cases::kCases;
using profile_cases::Op;
using profile_cases::Undefined;

#ifdef _WIN32
constexpr bool kKernel32 = true;
bool under_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
#else
constexpr bool kKernel32 = false;
bool under_wine() {
  return false;
}
#endif

using profile_cases::read_bytes;
using profile_cases::TempFolder;
using profile_cases::write_bytes;

struct Outcome {
  std::string result;
  bool threw = false;
};

Outcome run(const Case& c, Profile& profile, const CodePage& code_page, const std::string& path) {
  Outcome out;
  CIniFile ini(profile, code_page);
  ini.IniFileName(from_utf8(path));
  const Str a = from_utf8(c.a), b = from_utf8(c.b), cc = from_utf8(c.c);
  const auto n = static_cast<std::int16_t>(c.n);
  try {
    switch (c.op) {
      case Op::kGetString: {
        std::string buffer(100, ' ');
        const std::size_t count =
            profile.get_string(std::string(c.a), std::string(c.b), "", buffer, path);
        EXPECT_EQ(buffer[count], '\0');
        out.result = buffer.substr(0, count);
        break;
      }
      case Op::kWriteString:
        profile.write_string(std::string(c.a), std::string(c.b), std::string(c.c), path);
        break;
      case Op::kGetValue:
        out.result = to_utf8(ini.GetValue(a, b));
        break;
      case Op::kWriteValue:
        ini.WriteValue(a, b, cc);
        break;
      case Op::kDeleteItem:
        ini.DeleteItem(a, b);
        break;
      case Op::kDeleteItemWithKey:
        ini.DeleteItemWithKey(a, b);
        break;
      case Op::kChangeKey:
        ini.ChangeKey(a, b, cc);
        break;
      case Op::kGetKey:
        out.result = to_utf8(ini.GetKey(a, b));
        break;
      case Op::kGetItemnum:
        out.result = std::to_string(ini.GetItemnum(a));
        break;
      case Op::kGetItemWithIndex:
        out.result = to_utf8(ini.GetItemWithIndex(a, n));
        break;
      case Op::kDeleteSection:
        ini.DeleteSection(a);
        break;
      case Op::kGetSectionCount:
        out.result = std::to_string(ini.GetSectionCount());
        break;
      case Op::kGetSectionName:
        out.result = to_utf8(ini.GetSectionName(n));
        break;
    }
  } catch (const IniError&) {
    out.threw = true;
  }
  return out;
}

class ProfileCases : public testing::TestWithParam<std::size_t> {};

TEST_P(ProfileCases, Case) {
  const Case& c = kCases[GetParam()];
  std::string trace(c.name);
  if (!c.note.empty())
    trace.append(" (").append(c.note).append(")");
  SCOPED_TRACE(trace);
  TempFolder folder;
  const fs::path file = folder.path() / "case.ini";
  if (c.before != profile_cases::kNoFile)
    write_bytes(file, c.before);

  auto profile = make_system_profile();
  auto code_page = make_system_code_page();
  const Outcome got = run(c, *profile, *code_page, folder.ansi("case.ini"));

  const bool result_open = c.undefined == Undefined::kResult || c.undefined == Undefined::kAll;
  const bool after_open = c.undefined == Undefined::kAfter || c.undefined == Undefined::kAll;
  EXPECT_EQ(got.threw, c.throws);
  if (!(kKernel32 && result_open)) {
    EXPECT_EQ(got.result, c.result);
  }

  if (!(kKernel32 && after_open)) {
    std::string_view want = c.after;
    if (want == profile_cases::kUnchanged)
      want = c.before;
    if (under_wine() && c.after_wine != profile_cases::kSameAsAfter)
      want = c.after_wine;
    if (want == profile_cases::kNoFile) {
      EXPECT_FALSE(fs::exists(file));
    } else {
      EXPECT_EQ(read_bytes(file), want);
    }
  }
  // Nothing else is left in the folder: no temporary file, nothing created by a read.
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    EXPECT_EQ(entry.path().filename(), "case.ini");
  }
}

std::string case_name(const testing::TestParamInfo<std::size_t>& info) {
  std::string name = std::to_string(info.param) + "_";
  for (char ch : kCases[info.param].name) {
    name.push_back((std::isalnum(static_cast<unsigned char>(ch)) != 0) ? ch : '_');
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileCases, testing::Range<std::size_t>(0, std::size(kCases)),
                         case_name);

}  // namespace
}  // namespace brevant
