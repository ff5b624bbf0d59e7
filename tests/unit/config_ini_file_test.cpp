// CIniFile beyond the case table: path building, bad files (huge, no line ends, NULs, long
// lines), 16-bit counters and writes that cannot complete. Runs natively and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/ini_file.h"
#include "platform/code_page.h"
#include "platform/profile.h"
#include "tests/support/profile_cases.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brevant {
namespace {

namespace fs = std::filesystem;
using profile_cases::read_bytes;
using profile_cases::TempFolder;
using profile_cases::write_bytes;

class IniFileTest : public testing::Test {
 protected:
  // Points `ini` at `name` in the temp folder.
  void use(std::string_view name) { ini.IniFileName(from_utf8(folder.ansi(name))); }

  TempFolder folder;
  std::unique_ptr<Profile> profile = make_system_profile();
  std::unique_ptr<CodePage> code_page = make_system_code_page();
  CIniFile ini{*profile, *code_page};
};

TEST_F(IniFileTest, CreateIniJoinsWithExactlyOneBackslash) {
  struct {
    const char16_t* drv;
    const char16_t* dir;
    const char16_t* path;
  } const cases[] = {
      {u"C:\\plug\\\\", u"\\config.ini", u"C:\\plug\\config.ini"},
      {u"C:\\plug", u"config.ini", u"C:\\plug\\config.ini"},
      {u"C:\\plug\\", u"\\\\\\a\\b.ini", u"C:\\plug\\a\\b.ini"},
      {u"", u"config.ini", u"\\config.ini"},
      {u"\\\\", u"", u"\\"},
  };
  for (const auto& c : cases) {
    ini.CreateIni(c.drv, c.dir);
    EXPECT_EQ(ini.IniFileName(), c.path) << to_utf8(c.drv) << " + " << to_utf8(c.dir);
  }
}

TEST_F(IniFileTest, CreateIniLeavesTheTemporaryPathUnset) {
  // Only the setter prepares the rewriting operations: after CreateIni alone they fail
  // cleanly and the file stays as it was.
  write_bytes(folder.path() / "a.ini", "[a]\nx=1\n");
  CIniFile fresh(*profile, *code_page);
  fresh.CreateIni(from_utf8(folder.path().string()), u"a.ini");
  EXPECT_EQ(fresh.GetValue(u"a", u"x"), u"1");
  EXPECT_THROW(fresh.DeleteSection(u"a"), IniError);
  EXPECT_EQ(read_bytes(folder.path() / "a.ini"), "[a]\nx=1\n");
}

TEST_F(IniFileTest, ValueWrittenIsReadBackCutTo99) {
  use("v.ini");
  const Str value(120, u'x');
  ini.WriteValue(u"s", u"k", value);
  EXPECT_EQ(ini.GetValue(u"s", u"k"), value.substr(0, 99));
  ini.WriteValue(u"s", u"k", u"  padded  ");
  EXPECT_EQ(ini.GetValue(u"s", u"k"), u"padded");
  ini.WriteValue(u"s", u"k", u"发送 a`b");
  EXPECT_EQ(ini.GetValue(u"S", u"K"), u"发送 a`b");
}

TEST_F(IniFileTest, HugeFileIsReadAndWrittenKeepingEveryOtherLine) {
  // About 23 MB: 200,000 sections of one long value each.
  const std::string filler(100, 'v');
  std::string text;
  text.reserve(200000 * 120);
  for (int i = 0; i < 200000; ++i) {
    text.append("[s").append(std::to_string(i)).append("]\r\nk=").append(filler).append("\r\n");
  }
  write_bytes(folder.path() / "huge.ini", text);
  use("huge.ini");
  EXPECT_EQ(ini.GetValue(u"s199999", u"k"), Str(99, u'v'));
  ini.WriteValue(u"s100000", u"k", u"new");
  std::string expected = text;
  const std::string old_line = "[s100000]\r\nk=" + filler + "\r\n";
  expected.replace(expected.find(old_line), old_line.size(), "[s100000]\r\nk=new\r\n");
  EXPECT_TRUE(read_bytes(folder.path() / "huge.ini") == expected);
  // More headers than a 16-bit counter holds.
  EXPECT_EQ(ini.GetSectionCount(), -1);
  EXPECT_EQ(ini.GetSectionName(1), u"");
}

TEST_F(IniFileTest, FileWithoutLineEnds) {
  const std::string text(5 * 1024 * 1024, 'x');
  write_bytes(folder.path() / "one.ini", text);
  use("one.ini");
  EXPECT_EQ(ini.GetValue(u"s", u"k"), u"");
  EXPECT_EQ(ini.GetSectionCount(), 0);
  EXPECT_EQ(ini.GetItemnum(u"s"), 0);
  ini.WriteValue(u"s", u"k", u"v");
  EXPECT_TRUE(read_bytes(folder.path() / "one.ini") == text + "\r\n[s]\r\nk=v\r\n");
  EXPECT_EQ(ini.GetValue(u"s", u"k"), u"v");
}

TEST_F(IniFileTest, VeryLongLines) {
  const std::string value(2 * 1024 * 1024, 'a');
  const std::string text = "[s]\r\nk=" + value + "\r\n[t]\r\nj=1\r\n";
  write_bytes(folder.path() / "long.ini", text);
  use("long.ini");
  EXPECT_EQ(ini.GetValue(u"s", u"k"), Str(99, u'a'));
  EXPECT_EQ(ini.GetValue(u"t", u"j"), u"1");
  EXPECT_EQ(ini.GetItemnum(u"s"), 1);
  ini.DeleteSection(u"t");
  EXPECT_TRUE(read_bytes(folder.path() / "long.ini") == "[s]\r\nk=" + value + "\r\n");
}

TEST_F(IniFileTest, NulBytesDoNotBreakReads) {
  write_bytes(folder.path() / "nul.ini", std::string(1024 * 1024, '\0'));
  use("nul.ini");
  EXPECT_EQ(ini.GetValue(u"s", u"k"), u"");
  EXPECT_EQ(ini.GetSectionCount(), 0);
  EXPECT_EQ(ini.GetSectionName(1), u"");
  EXPECT_EQ(ini.GetKey(u"s", u"v"), u"");
}

TEST_F(IniFileTest, ItemCounterBeyond16BitsRaises) {
  std::string text = "[a]\r\n";
  for (int i = 0; i < 32768; ++i)
    text.append("i").append(std::to_string(i)).append("`v\r\n");
  write_bytes(folder.path() / "many.ini", text);
  use("many.ini");
  EXPECT_THROW(ini.GetItemnum(u"a"), IniError);
  EXPECT_THROW(ini.GetItemWithIndex(u"a", 1), IniError);
  EXPECT_EQ(ini.GetSectionCount(), 1);
}

TEST_F(IniFileTest, ItemCounterAtTheLimit) {
  std::string text = "[a]\r\n";
  for (int i = 0; i < 32767; ++i)
    text.append("i").append(std::to_string(i)).append("`v\r\n");
  write_bytes(folder.path() / "many.ini", text);
  use("many.ini");
  EXPECT_EQ(ini.GetItemnum(u"a"), 32767);
  EXPECT_EQ(ini.GetItemWithIndex(u"a", 32767), u"i32766`v");
}

TEST_F(IniFileTest, UnreachableFolderFailsQuietlyForValues) {
  // A regular file where the folder should be: nothing can be created below it.
  write_bytes(folder.path() / "plain", "x");
  use("plain\\config.ini");
  ini.WriteValue(u"s", u"k", u"v");
  EXPECT_EQ(ini.GetValue(u"s", u"k"), u"");
  EXPECT_EQ(ini.GetSectionCount(), -1);
  EXPECT_THROW(ini.DeleteSection(u"s"), IniError);
  EXPECT_EQ(read_bytes(folder.path() / "plain"), "x");
}

TEST_F(IniFileTest, FailedRewriteLeavesTheFileAsItWas) {
  // The temporary file cannot be created (a folder has its name): the settings file is
  // neither deleted nor changed, and no temporary file is left.
  const std::string text = "[a]\nx=1\n[b]\ny=2\n";
  write_bytes(folder.path() / "c.ini", text);
  fs::create_directory(folder.path() / "c.ini.tmp");
  use("c.ini");
  EXPECT_THROW(ini.DeleteSection(u"a"), IniError);
  EXPECT_THROW(ini.ChangeKey(u"a", u"x", u"z"), IniError);
  EXPECT_EQ(read_bytes(folder.path() / "c.ini"), text);
  EXPECT_TRUE(fs::is_directory(folder.path() / "c.ini.tmp"));
  // Reads and single-value writes go on working.
  EXPECT_EQ(ini.GetValue(u"b", u"y"), u"2");
  EXPECT_EQ(ini.GetSectionCount(), 2);
}

TEST_F(IniFileTest, RewriteReplacesAnExistingTemporaryFile) {
  write_bytes(folder.path() / "c.ini", "[a]\r\nx=1\r\n[b]\r\n");
  write_bytes(folder.path() / "c.ini.tmp", "stale");
  use("c.ini");
  ini.DeleteSection(u"a");
  EXPECT_EQ(read_bytes(folder.path() / "c.ini"), "[b]\r\n");
  EXPECT_FALSE(fs::exists(folder.path() / "c.ini.tmp"));
}

TEST_F(IniFileTest, ChangeKeyWithAnEmptySourceKeyKeepsTheText) {
  write_bytes(folder.path() / "c.ini", "[s]\nk=\x80\xff\n");
  use("c.ini");
  ini.ChangeKey(u"s", u"", u"z");
  EXPECT_EQ(read_bytes(folder.path() / "c.ini"), "[s]\r\nk=\x80\xff\r\n");
}

TEST_F(IniFileTest, ProfileMovesFiles) {
  write_bytes(folder.path() / "a", "1");
  write_bytes(folder.path() / "b", "2");
  EXPECT_FALSE(profile->move_file(folder.ansi("a"), folder.ansi("b")));  // target exists
  EXPECT_TRUE(profile->move_file(folder.ansi("a"), folder.ansi("c")));
  EXPECT_TRUE(profile->replace_file(folder.ansi("c"), folder.ansi("b")));
  EXPECT_FALSE(fs::exists(folder.path() / "c"));
  EXPECT_EQ(read_bytes(folder.path() / "b"), "1");
  EXPECT_EQ(profile->file_path(folder.ansi("b")), folder.path() / "b");
}

#ifndef _WIN32
// The Linux emulation writes a new file and renames it over the old one.
TEST_F(IniFileTest, EmulatedWriteNeverLeavesAPartialFile) {
  const std::string text = "[a]\r\nx=1\r\n";
  write_bytes(folder.path() / "w.ini", text);
  fs::create_directory(folder.path() / "w.ini.brevant-new");  // the new file cannot be made
  use("w.ini");
  ini.WriteValue(u"a", u"x", u"2");
  EXPECT_EQ(read_bytes(folder.path() / "w.ini"), text);
  fs::remove(folder.path() / "w.ini.brevant-new");
  ini.WriteValue(u"a", u"x", u"2");
  EXPECT_EQ(read_bytes(folder.path() / "w.ini"), "[a]\r\nx=2\r\n");
  EXPECT_FALSE(fs::exists(folder.path() / "w.ini.brevant-new"));
}

TEST_F(IniFileTest, ReadOnlyFolder) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root writes into read-only folders";
  write_bytes(folder.path() / "r.ini", "[a]\r\nx=1\r\n");
  fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec);
  use("r.ini");
  ini.WriteValue(u"a", u"x", u"2");
  EXPECT_EQ(ini.GetValue(u"a", u"x"), u"1");
  EXPECT_THROW(ini.DeleteSection(u"a"), IniError);
  fs::permissions(folder.path(), fs::perms::owner_all);
}
#endif

}  // namespace
}  // namespace brevant
