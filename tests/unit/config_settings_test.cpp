// The shared settings object, the plug-in folder and ReadRegString. The registry cases run
// against the in-memory registry and against this system's registry (advapi32 under Wine,
// the file store on Linux).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "config/settings.h"
#include "platform/memory_registry.h"
#include "tests/support/profile_cases.h"

namespace brevant {
namespace {

namespace fs = std::filesystem;
using profile_cases::read_bytes;
using profile_cases::TempFolder;
using profile_cases::write_bytes;

// ---- the shared settings object ----

TEST(Settings, SharedObjectIsCreatedOnceAndPointedAtFilesOfTheFolder) {
  TempFolder folder;
  auto profile = make_system_profile();
  auto code_page = make_system_code_page();
  Settings settings(*profile, *code_page, from_utf8(folder.path().string()));
  CIniFile& first = settings.shared();
  EXPECT_EQ(&first, &settings.shared());
  EXPECT_EQ(settings.plugin_folder(), from_utf8(folder.path().string()));

  // The coordinator selects configIM.ini but touches no key of it.
  settings.use(kConfigImFile);
  EXPECT_EQ(first.IniFileName(), from_utf8(folder.path().string()) + u"\\configIM.ini");

  // The language switch writes "lan"; a companion window reads it back.
  settings.use(kConfigUinFile).WriteValue(kConfigSection, kKeyLan, u"en");
  EXPECT_EQ(settings.use(kConfigUinFile).GetValue(kConfigSection, kKeyLan), u"en");
  EXPECT_EQ(read_bytes(folder.path() / "configUIN.ini"), "[config]\r\nlan=en\r\n");
  EXPECT_FALSE(fs::exists(folder.path() / "configIM.ini"));
}

TEST(Settings, PerChatSectionAndGlobalDefaultsAreSeparateKeys) {
  TempFolder folder;
  write_bytes(folder.path() / "configUIN.ini",
              "[config]\r\nconfiglan=ja\r\nconfigpreview=on\r\n"
              "[quillnetmequillnetyou]\r\nmainlan=en\r\npreview=off\r\nshuangdan=zz\r\n");
  auto profile = make_system_profile();
  auto code_page = make_system_code_page();
  Settings settings(*profile, *code_page, from_utf8(folder.path().string()));
  CIniFile& ini = settings.use(kConfigUinFile);
  const Str chat = ChatSection(u"quillnetme", u"quillnetyou");
  EXPECT_EQ(ini.GetValue(chat, kKeyMainLan), u"en");
  EXPECT_EQ(ini.GetValue(chat, kKeyPreview), u"off");
  EXPECT_EQ(ini.GetValue(chat, kKeyShuangdan), u"zz");
  EXPECT_EQ(ini.GetValue(kConfigSection, kKeyConfigPreview), u"on");
  EXPECT_EQ(ini.GetValue(kConfigSection, kKeyConfigFormat), u"");
  EXPECT_EQ(ini.GetValue(ChatSection(u"quillnetme", u"quillnetother"), kKeyMainLan), u"");
}

TEST(Settings, ThisModuleFolder) {
  const Str folder = this_module_folder();
#ifdef _WIN32
  // The folder of the program this code is linked into.
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), u'\\');
  auto profile = make_system_profile();
  auto code_page = make_system_code_page();
  const auto exe = code_page->to_ansi(folder + u"\\brevant_unit_tests.exe");
  ASSERT_TRUE(exe.has_value());
  EXPECT_TRUE(fs::exists(profile->file_path(*exe)));
#else
  EXPECT_TRUE(folder.empty());  // the embedding program names the folder on Linux
#endif
}

// ---- ReadRegString ----

constexpr char kSubkey[] = "Software\\brevant-tests\\settings";

void fill(Registry& registry) {
  registry.set_value(RootKey::CurrentUser, kSubkey, "text", kRegSz, "hello");
  registry.set_value(RootKey::CurrentUser, kSubkey, "empty", kRegSz, "");
  registry.set_value(RootKey::CurrentUser, kSubkey, "number", kRegDword,
                     std::string_view("\x01\x00\x00\x00", 4));
  registry.set_value(RootKey::CurrentUser, kSubkey, "expand", kRegExpandSz, "%TEMP%");
  registry.set_value(RootKey::CurrentUser, kSubkey, "binary", kRegBinary, "abc");
  registry.set_value(RootKey::CurrentUser, kSubkey, "cut", kRegSz, std::string_view("ab\0cd", 5));
  registry.set_value(RootKey::CurrentUser, kSubkey, "chinese", kRegSz, "\xB7\xA2\xCB\xCD");
}

struct RegCase {
  const char* name;
  RootKey root;
  const char16_t* subkey;
  const char16_t* value;
  const char16_t* expected;
};

const RegCase kRegCases[] = {
    {"a string value", RootKey::CurrentUser, u"Software\\brevant-tests\\settings", u"text",
     u"hello"},
    {"names ignore case", RootKey::CurrentUser, u"SOFTWARE\\Brevant-Tests\\SETTINGS", u"TEXT",
     u"hello"},
    {"an empty string", RootKey::CurrentUser, u"Software\\brevant-tests\\settings", u"empty", u""},
    {"a number is not a string", RootKey::CurrentUser, u"Software\\brevant-tests\\settings",
     u"number", u""},
    {"an expandable string is not a plain string", RootKey::CurrentUser,
     u"Software\\brevant-tests\\settings", u"expand", u""},
    {"binary data is not a string", RootKey::CurrentUser, u"Software\\brevant-tests\\settings",
     u"binary", u""},
    {"data is cut at its first NUL", RootKey::CurrentUser, u"Software\\brevant-tests\\settings",
     u"cut", u"ab"},
    {"Chinese text", RootKey::CurrentUser, u"Software\\brevant-tests\\settings", u"chinese",
     u"发送"},
    {"a missing value", RootKey::CurrentUser, u"Software\\brevant-tests\\settings", u"none", u""},
    {"a missing key", RootKey::CurrentUser, u"Software\\brevant-tests\\none", u"text", u""},
    {"another root", RootKey::Users, u"Software\\brevant-tests\\settings", u"text", u""},
};

void run_reg_cases(Registry& registry) {
  auto code_page = make_system_code_page();
  for (const auto& c : kRegCases) {
    EXPECT_EQ(ReadRegString(registry, *code_page, c.root, c.subkey, c.value), c.expected) << c.name;
  }
}

TEST(ReadRegString, MemoryRegistry) {
  MemoryRegistry registry;
  fill(registry);
  run_reg_cases(registry);
}

TEST(ReadRegString, SystemRegistry) {
  TempFolder folder;
  auto registry = make_system_registry(from_utf8(folder.path().string()));
  fill(*registry);
  run_reg_cases(*registry);
}

TEST(ReadRegString, CodePageValueIsMissingHere) {
  // Neither Wine nor an empty Linux store has the value: the switch to Chinese is refused.
  TempFolder folder;
  auto registry = make_system_registry(from_utf8(folder.path().string()));
  EXPECT_EQ(ReadRegString(*registry, kCodePageRoot, kCodePageSubkey, kCodePageValue), u"");
}

TEST(ReadRegString, QueriesTypeAndSizeFirstThenTheData) {
  // A registry that reports a size, then fails the second query: the result is empty.
  class Flaky final : public MemoryRegistry {
   public:
    long query_value(Key key, const std::string& name, std::uint32_t& type, char* data,
                     std::uint32_t& size) override {
      ++queries;
      if (data != nullptr)
        return kRegMoreData;
      return MemoryRegistry::query_value(key, name, type, data, size);
    }
    int queries = 0;
  } flaky;
  flaky.set_value(RootKey::LocalMachine, "a", "v", kRegSz, "text");
  EXPECT_EQ(ReadRegString(flaky, RootKey::LocalMachine, u"a", u"v"), u"");
  EXPECT_EQ(flaky.queries, 2);
}

#ifndef _WIN32
TEST(ReadRegString, LinuxStoreIsAFileInThePluginFolder) {
  TempFolder folder;
  // The store is made before the embedding program writes the file (a fresh plug-in folder),
  // and a key opened before then still sees the file once it is there.
  auto early = make_system_registry(from_utf8(folder.path().string()));
  EXPECT_EQ(ReadRegString(*early, kCodePageRoot, kCodePageSubkey, kCodePageValue), u"");
  write_bytes(folder.path() / "registry.txt",
              "; values for the plug-in\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage]\n"
              "50227=发送 ok\n"
              "[HKCU\\Software\\x]\n"
              "a=1\n");
  EXPECT_EQ(ReadRegString(*early, kCodePageRoot, kCodePageSubkey, kCodePageValue), u"发送 ok");
  auto registry = make_system_registry(from_utf8(folder.path().string()));
  EXPECT_EQ(ReadRegString(*registry, kCodePageRoot, kCodePageSubkey, kCodePageValue), u"发送 ok");
  EXPECT_EQ(ReadRegString(*registry, RootKey::CurrentUser, u"software\\X", u"A"), u"1");

  // Values set by the embedding program are kept in the file for the next start.
  registry->set_value(RootKey::CurrentUser, "Software\\y", "b", kRegSz, "\xB7\xA2");
  auto again = make_system_registry(from_utf8(folder.path().string()));
  EXPECT_EQ(ReadRegString(*again, RootKey::CurrentUser, u"Software\\y", u"b"), u"发");
  EXPECT_EQ(ReadRegString(*again, kCodePageRoot, kCodePageSubkey, kCodePageValue), u"发送 ok");
}
#endif

}  // namespace
}  // namespace brevant
