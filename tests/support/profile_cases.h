#pragma once
// The INI cases, written once as data and run against every implementation of the profile
// functions: the Linux emulation in the native unit tier, kernel32 when the same tier runs
// under Wine. Each case: the file before, one operation, the expected result and the file
// after. Bytes are as stored (ANSI code page 936 where it matters); CIniFile arguments and
// results are UTF-8.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace brevant::profile_cases {

using namespace std::string_view_literals;

enum class Op {
  kGetString,    // Profile::get_string, 100-byte buffer; a = section, b = key
  kWriteString,  // Profile::write_string; a = section, b = key, c = value
  kGetValue,     // CIniFile from here on
  kWriteValue,
  kDeleteItem,         // a = section, b = value
  kDeleteItemWithKey,  // a = section, b = key
  kChangeKey,          // a = section, b = source key, c = destination key
  kGetKey,             // a = section, b = value
  kGetItemnum,
  kGetItemWithIndex,  // n = index
  kDeleteSection,
  kGetSectionCount,
  kGetSectionName,  // n = index
};

// What Windows leaves open. The emulation is checked on everything; the kernel32 runner skips
// the parts named here (the note says what Windows is free to do).
enum class Undefined { kNone, kResult, kAfter, kAll };

inline constexpr std::string_view kNoFile = "\x01<no file>";
inline constexpr std::string_view kUnchanged = "\x01<unchanged>";
inline constexpr std::string_view kSameAsAfter = "\x01<same as after>";

struct Case {
  std::string_view name;
  std::string_view before;  // kNoFile: the file does not exist
  Op op;
  std::string_view a = {};
  std::string_view b = {};
  std::string_view c = {};
  int n = 0;
  std::string_view result = {};  // text, or the number in decimal
  std::string_view after = kUnchanged;
  bool throws = false;
  Undefined undefined = Undefined::kNone;
  std::string_view note = {};
  // The whole-file rewrite of Wine's kernel32 drops blank lines and re-spells every line;
  // where that differs from `after`, this is what Wine leaves.
  std::string_view after_wine = kSameAsAfter;
};

#define BREVANT_TEN "0123456789"
#define BREVANT_120                                                                               \
  BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN \
      BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN
#define BREVANT_99                                                                                \
  BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN BREVANT_TEN \
      BREVANT_TEN "012345678"

// "发送" in code page 936.
#define BREVANT_FASONG "\xB7\xA2\xCB\xCD"

inline constexpr Case kCases[] = {
    // ---- single values: reads ----
    {.name = "missing file reads empty and creates nothing",
     .before = kNoFile,
     .op = Op::kGetValue,
     .a = "config",
     .b = "lan",
     .result = ""},
    {.name = "missing file gives the default",
     .before = kNoFile,
     .op = Op::kGetString,
     .a = "config",
     .b = "lan",
     .result = ""},
    {.name = "missing section",
     .before = "[other]\r\nlan=en\r\n",
     .op = Op::kGetValue,
     .a = "config",
     .b = "lan",
     .result = ""},
    {.name = "missing key",
     .before = "[config]\r\nlan=en\r\n",
     .op = Op::kGetValue,
     .a = "config",
     .b = "configlan",
     .result = ""},
    {.name = "120 characters read back as 99",
     .before = "[s]\r\nk=" BREVANT_120 "\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = BREVANT_99},
    {.name = "the call itself returns 99 bytes",
     .before = "[s]\r\nk=" BREVANT_120 "\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = BREVANT_99},
    {.name = "spaces around key and value are trimmed",
     .before = "[s]\r\n  k  =   v w   \r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = "v w"},
    {.name = "tabs around key and value are trimmed",
     .before = "[s]\r\n\tk\t=\tv\t\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = "v"},
    {.name = "double quotes around the value are dropped",
     .before = "[s]\r\nk=\"  quoted  \"\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = "  quoted  "},
    // The blanks before the NUL survive: only the ends of the whole buffer are trimmed.
    {.name = "GetValue trims the front of what the quotes kept",
     .before = "[s]\r\nk=\"  quoted  \"\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "quoted  "},
    {.name = "single quotes around the value are dropped",
     .before = "[s]\r\nk='x y'\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = "x y"},
    {.name = "a quote at one end only stays",
     .before = "[s]\r\nk=\"x\r\nj=y\"\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = "\"x"},
    {.name = "quotes inside the value stay",
     .before = "[s]\r\nk=a \"b\" c\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = "a \"b\" c"},
    {.name = "a value of two quotes is empty",
     .before = "[s]\r\nk=\"\"\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = ""},
    {.name = "quoted value longer than the buffer",
     .before = "[s]\r\nk=\"" BREVANT_120 "\"\r\n",
     .op = Op::kGetString,
     .a = "s",
     .b = "k",
     .result = BREVANT_99,
     .undefined = Undefined::kResult,
     .note = "where the cut falls against the closing quote is left open"},
    {.name = "section and key names ignore case",
     .before = "[Config]\r\nLAN=en\r\n",
     .op = Op::kGetValue,
     .a = "CONFIG",
     .b = "lan",
     .result = "en"},
    {.name = "comments and blank lines are skipped",
     .before = "; top\r\n\r\n[s]\r\n; k=1\r\n\r\n   \r\nk=2\r\n\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "2"},
    {.name = "a key outside any section is not in a section",
     .before = "k=1\r\n[s]\r\nj=2\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = ""},
    {.name = "a key outside any section does not hide the section's key",
     .before = "k=1\r\n[s]\r\nk=2\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "2"},
    {.name = "a section that appears twice: key of the first",
     .before = "[s]\r\na=1\r\n[t]\r\nx=0\r\n[s]\r\nb=2\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "a",
     .result = "1"},
    {.name = "a section that appears twice: key only in the second",
     .before = "[s]\r\na=1\r\n[t]\r\nx=0\r\n[s]\r\nb=2\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "b",
     .result = "",
     .undefined = Undefined::kResult,
     .note = "whether a repeated section is searched is left open; only the first counts here"},
    {.name = "a key that appears twice: the first wins",
     .before = "[s]\r\nk=1\r\nk=2\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "1"},
    {.name = "a line without = has no value",
     .before = "[s]\r\nk\r\nj=1\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = ""},
    {.name = "a file without a final line end",
     .before = "[s]\r\nk=v",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "v"},
    {.name = "LF line ends",
     .before = "[s]\nj=1\nk=v\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "v"},
    {.name = "text after the closing bracket is ignored",
     .before = "[s] ; note\r\nk=v\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "v"},
    {.name = "a value with a backtick",
     .before = "[s]\r\nk=a`b\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "a`b"},
    {.name = "an item line with a backtick is no key=value line",
     .before = "[s]\r\nk`v\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = ""},
    {.name = "Chinese value",
     .before = "[s]\r\nk=" BREVANT_FASONG "\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "发送"},
    {.name = "Chinese section and key",
     .before = "[" BREVANT_FASONG "]\r\n" BREVANT_FASONG "=1\r\n",
     .op = Op::kGetValue,
     .a = "发送",
     .b = "发送",
     .result = "1"},
    {.name = "a Chinese value longer than 99 bytes",
     .before = "[s]\r\nk=" BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG
         BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG
             BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG
                 BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG
                     BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG BREVANT_FASONG
               "\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "发送发送发送发送发送发送发送发送发送发送发送发送发送发送发送发送发送发送发送发送发"
               "送发送发送发送"
               "发",
     .undefined = Undefined::kResult,
     .note = "a cut inside a double-byte character is left open; here it falls before it"},
    {.name = "bytes invalid in the code page do not disturb other keys",
     .before = "[s]\r\nk=\x80\xFF\xFE\r\nj=ok\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "j",
     .result = "ok"},
    {.name = "bytes invalid in the code page are read as something",
     .before = "[s]\r\nk=a\xFF"
               "b\r\n",
     .op = Op::kGetValue,
     .a = "s",
     .b = "k",
     .result = "a?b",
     .undefined = Undefined::kResult,
     .note = "the character an invalid byte becomes is the converter's choice"},
    {.name = "a NUL byte in another line",
     .before = "[s]\r\nk=a\0b\r\nj=v\r\n"sv,
     .op = Op::kGetValue,
     .a = "s",
     .b = "j",
     .result = "v",
     .undefined = Undefined::kResult,
     .note = "a NUL inside the file may end the text early"},

    // ---- single values: writes ----
    {.name = "writing creates the file, section and key",
     .before = kNoFile,
     .op = Op::kWriteValue,
     .a = "config",
     .b = "lan",
     .c = "en",
     .after = "[config]\r\nlan=en\r\n"},
    {.name = "120 characters are written whole",
     .before = kNoFile,
     .op = Op::kWriteValue,
     .a = "s",
     .b = "k",
     .c = BREVANT_120,
     .after = "[s]\r\nk=" BREVANT_120 "\r\n"},
    {.name = "writing replaces the value and keeps the first spelling",
     .before = "[Config]\r\nLan=cn\r\nz=1\r\n",
     .op = Op::kWriteValue,
     .a = "config",
     .b = "LAN",
     .c = "en",
     .after = "[Config]\r\nLan=en\r\nz=1\r\n"},
    {.name = "writing the value it has leaves the file",
     .before = "[s]\r\n\r\nk=v\r\n\r\n",
     .op = Op::kWriteValue,
     .a = "s",
     .b = "k",
     .c = "v"},
    {.name = "a new key goes to the end of its section",
     .before = "[a]\r\nx=1\r\n[b]\r\ny=2\r\n",
     .op = Op::kWriteValue,
     .a = "a",
     .b = "k",
     .c = "v",
     .after = "[a]\r\nx=1\r\nk=v\r\n[b]\r\ny=2\r\n"},
    {.name = "a new section goes to the end of the file",
     .before = "[a]\r\nx=1\r\n",
     .op = Op::kWriteValue,
     .a = "b",
     .b = "k",
     .c = "v",
     .after = "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
    {.name = "a file without a final line end gets one before the new key",
     .before = "[s]\r\nk=v",
     .op = Op::kWriteValue,
     .a = "s",
     .b = "j",
     .c = "w",
     .after = "[s]\r\nk=v\r\nj=w\r\n"},
    {.name = "a write keeps comments and blank lines",
     .before = "; top\r\n\r\n[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n",
     .op = Op::kWriteValue,
     .a = "a",
     .b = "x",
     .c = "2",
     .after = "; top\r\n\r\n[a]\r\nx=2\r\n\r\n[b]\r\ny=2\r\n",
     .after_wine = "; top\r\n[a]\r\nx=2\r\n[b]\r\ny=2\r\n"},
    {.name = "a key outside any section stays where it is",
     .before = "k=1\r\n[s]\r\nj=2\r\n",
     .op = Op::kWriteValue,
     .a = "s",
     .b = "k",
     .c = "3",
     .after = "k=1\r\n[s]\r\nj=2\r\nk=3\r\n"},
    {.name = "a section that appears twice: the first is written",
     .before = "[s]\r\na=1\r\n[t]\r\n[s]\r\nb=2\r\n",
     .op = Op::kWriteValue,
     .a = "s",
     .b = "b",
     .c = "3",
     .after = "[s]\r\na=1\r\nb=3\r\n[t]\r\n[s]\r\nb=2\r\n",
     .undefined = Undefined::kAfter,
     .note = "which occurrence gets a new key is left open"},
    {.name = "a value with a backtick is written as is",
     .before = "[s]\r\nk=1\r\n",
     .op = Op::kWriteValue,
     .a = "s",
     .b = "k",
     .c = "a`b",
     .after = "[s]\r\nk=a`b\r\n"},
    {.name = "a Chinese value is written in the code page",
     .before = kNoFile,
     .op = Op::kWriteValue,
     .a = "s",
     .b = "k",
     .c = "发送",
     .after = "[s]\r\nk=" BREVANT_FASONG "\r\n"},
    {.name = "a write keeps lines with invalid bytes",
     .before = "[s]\r\nk=\x80\xFF\xFE\r\nj=old\r\n",
     .op = Op::kWriteValue,
     .a = "s",
     .b = "j",
     .c = "new",
     .after = "[s]\r\nk=\x80\xFF\xFE\r\nj=new\r\n",
     .undefined = Undefined::kAfter,
     .note = "Windows edits the file in place; a converter may re-spell invalid bytes"},
    {.name = "a write keeps a line with a NUL byte",
     .before = "[s]\r\nk=a\0b\r\nj=old\r\n"sv,
     .op = Op::kWriteValue,
     .a = "s",
     .b = "j",
     .c = "new",
     .after = "[s]\r\nk=a\0b\r\nj=new\r\n"sv,
     .undefined = Undefined::kAfter,
     .note = "a NUL inside the file may end the text early"},
    {.name = "LF line ends stay; the new line ends in CR LF",
     .before = "[s]\nk=1\n[t]\nj=2\n",
     .op = Op::kWriteString,
     .a = "s",
     .b = "n",
     .c = "v",
     .after = "[s]\nk=1\nn=v\r\n[t]\nj=2\n",
     .after_wine = "[s]\r\nk=1\r\nn=v\r\n[t]\r\nj=2\r\n"},

    // ---- line operations ----
    {.name = "DeleteSection drops the header and its lines",
     .before = "[a]\r\nx=1\r\n[b]\r\ny=2",
     .op = Op::kDeleteSection,
     .a = "a",
     .after = "[b]\r\ny=2\r\n"},
    {.name = "DeleteSection drops a section each time it appears",
     .before = "[a]\r\n1\r\n[b]\r\n2\r\n[a]\r\n3\r\n",
     .op = Op::kDeleteSection,
     .a = "a",
     .after = "[b]\r\n2\r\n"},
    {.name = "DeleteSection ends lines with CR LF and keeps their bytes",
     .before = "[b]\rk=\x80\xFF\0z\n[a]\r\nx\n; end"sv,
     .op = Op::kDeleteSection,
     .a = "a",
     .after = "[b]\r\nk=\x80\xFF\0z\r\n"sv},
    {.name = "DeleteSection compares the header exactly",
     .before = "[A]\r\nx\r\n[a] \r\ny\r\n",
     .op = Op::kDeleteSection,
     .a = "a",
     .after = "[A]\r\nx\r\n[a] \r\ny\r\n"},
    {.name = "DeleteSection of a missing file raises",
     .before = kNoFile,
     .op = Op::kDeleteSection,
     .a = "a",
     .after = kNoFile,
     .throws = true},
    {.name = "GetItemnum counts non-empty lines up to the next header",
     .before = "[a]\r\nx=1\r\n\r\n;c\r\ny=2\r\n[b]\r\nz=3\r\n",
     .op = Op::kGetItemnum,
     .a = "a",
     .result = "3"},
    {.name = "GetItemnum: a header with a trailing blank is another header",
     .before = "[a] \r\nx=1\r\n",
     .op = Op::kGetItemnum,
     .a = "a",
     .result = "0"},
    {.name = "GetItemnum of a missing file raises",
     .before = kNoFile,
     .op = Op::kGetItemnum,
     .a = "a",
     .after = kNoFile,
     .throws = true},
    {.name = "GetItemWithIndex returns the stored line",
     .before = "[a]\r\nx=1\r\n\r\n;c\r\ny=2\r\n[b]\r\nz=3\r\n",
     .op = Op::kGetItemWithIndex,
     .a = "a",
     .n = 3,
     .result = "y=2"},
    {.name = "GetItemWithIndex beyond the count",
     .before = "[a]\r\nx=1\r\n[b]\r\nz=3\r\n",
     .op = Op::kGetItemWithIndex,
     .a = "a",
     .n = 2,
     .result = ""},
    {.name = "GetItemWithIndex 0",
     .before = "[a]\r\nx=1\r\n",
     .op = Op::kGetItemWithIndex,
     .a = "a",
     .n = 0,
     .result = ""},
    {.name = "GetSectionCount counts lines beginning with [",
     .before = "[a]\r\n x\r\n [c]\r\n[b]\r\n[\r\n",
     .op = Op::kGetSectionCount,
     .result = "3"},
    {.name = "GetSectionCount of a missing file is -1",
     .before = kNoFile,
     .op = Op::kGetSectionCount,
     .result = "-1",
     .after = kNoFile},
    {.name = "GetSectionName 1",
     .before = "x=0\r\n[main]\r\nx=1\r\n[b]\r\n",
     .op = Op::kGetSectionName,
     .n = 1,
     .result = "main"},
    {.name = "GetSectionName drops exactly one character at each end",
     .before = "[a]\r\n[b] ;c\r\n",
     .op = Op::kGetSectionName,
     .n = 2,
     .result = "b] ;"},
    {.name = "GetSectionName beyond the count",
     .before = "[a]\r\n",
     .op = Op::kGetSectionName,
     .n = 2,
     .result = ""},
    {.name = "GetSectionName of a lone [",
     .before = "[\r\n",
     .op = Op::kGetSectionName,
     .n = 1,
     .result = ""},
    {.name = "GetSectionName of a missing file",
     .before = kNoFile,
     .op = Op::kGetSectionName,
     .n = 1,
     .result = "",
     .after = kNoFile},
    {.name = "GetKey finds the key of a value",
     .before = "[s]\r\nk1`v1\r\nk2`v2\r\n",
     .op = Op::kGetKey,
     .a = "s",
     .b = "v2",
     .result = "k2"},
    {.name = "GetKey looks only after the backtick",
     .before = "[s]\r\nv2`x\r\nk2`v2\r\n",
     .op = Op::kGetKey,
     .a = "s",
     .b = "v2",
     .result = "k2"},
    {.name = "GetKey keeps looking in later sections",
     .before = "[s]\r\n[t]\r\nk`v\r\n",
     .op = Op::kGetKey,
     .a = "s",
     .b = "v",
     .result = "k"},
    {.name = "GetKey ignores lines before the section",
     .before = "k`v\r\n[s]\r\n",
     .op = Op::kGetKey,
     .a = "s",
     .b = "v",
     .result = ""},
    {.name = "GetKey finds nothing on key=value lines",
     .before = "[s]\r\nk=v\r\n",
     .op = Op::kGetKey,
     .a = "s",
     .b = "v",
     .result = ""},
    {.name = "GetKey of a missing file raises",
     .before = kNoFile,
     .op = Op::kGetKey,
     .a = "s",
     .b = "v",
     .after = kNoFile,
     .throws = true},
    {.name = "DeleteItem removes the item line",
     .before = "[s]\r\nk1`v1\r\nk2`v2\r\n",
     .op = Op::kDeleteItem,
     .a = "s",
     .b = "v2",
     .after = "[s]\r\nk1`v1\r\n"},
    {.name = "DeleteItem of a value that no item holds changes nothing",
     .before = "[s]\nk1`v1\n[t]\nk2`v2\n",
     .op = Op::kDeleteItem,
     .a = "s",
     .b = "zz"},
    {.name = "DeleteItemWithKey removes the item line",
     .before = "[s]\r\nk1`v1\r\nk2`v2\r\n",
     .op = Op::kDeleteItemWithKey,
     .a = "s",
     .b = "k1",
     .after = "[s]\r\nk2`v2\r\n"},
    {.name = "DeleteItemWithKey looks at every line of the file",
     .before = "[s]\r\nk1`v1\r\n[t]\r\nk1`v9\r\nk11`v\r\n",
     .op = Op::kDeleteItemWithKey,
     .a = "s",
     .b = "k1",
     .after = "[s]\r\n[t]\r\nk11`v\r\n"},
    {.name = "DeleteItemWithKey of an empty key changes nothing",
     .before = "[s]\nk1`v1\n",
     .op = Op::kDeleteItemWithKey,
     .a = "s",
     .b = ""},
    {.name = "ChangeKey renames in the section and in every later one",
     .before = "[a]\r\nk=1\r\n[s]\r\nk=2\r\n[t]\r\nk=3\r\n",
     .op = Op::kChangeKey,
     .a = "s",
     .b = "k",
     .c = "K2",
     .after = "[a]\r\nk=1\r\n[s]\r\nK2=2\r\n[t]\r\nK2=3\r\n"},
    {.name = "ChangeKey replaces every occurrence in a line",
     .before = "[s]\r\nkk=k",
     .op = Op::kChangeKey,
     .a = "s",
     .b = "k",
     .c = "x",
     .after = "[s]\r\nxx=x\r\n"},
    {.name = "ChangeKey keeps other lines byte for byte",
     .before = "[s]\r\nj=\x80\xFF\r\nk=1\r\n",
     .op = Op::kChangeKey,
     .a = "s",
     .b = "k",
     .c = "n",
     .after = "[s]\r\nj=\x80\xFF\r\nn=1\r\n"},
    {.name = "ChangeKey of a missing file raises",
     .before = kNoFile,
     .op = Op::kChangeKey,
     .a = "s",
     .b = "k",
     .c = "n",
     .after = kNoFile,
     .throws = true},
};

// A fresh folder in the system's temp folder (a Windows path under Wine), removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    static int serial = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() / std::string("brevant-cfg-")
                                                         .append(std::to_string(stamp))
                                                         .append("-")
                                                         .append(std::to_string(++serial));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A file of the folder as the profile functions take it: joined with "\" (the Linux
  // emulation reads "\" as "/").
  std::string ansi(std::string_view name) const {
    return path_.string() + "\\" + std::string(name);
  }

 private:
  std::filesystem::path path_;
};

inline std::string read_bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string data;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    data.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  return data;
}

inline void write_bytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#undef BREVANT_TEN
#undef BREVANT_120
#undef BREVANT_99
#undef BREVANT_FASONG

}  // namespace brevant::profile_cases
