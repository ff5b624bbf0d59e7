#pragma once
// CIniFile: one INI text file on disk. Single values go through the system's profile
// functions; the line operations read the file line by line and rewrite it through a
// temporary copy. Nothing is cached: every call goes to the disk.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace brevant {

// A line operation that failed: a missing file, a temporary file that cannot be written or
// moved into place, or a counter beyond the 16-bit range.
class IniError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CIniFile {
 public:
  CIniFile(Profile& profile, const CodePage& code_page)
      : profile_(profile), code_page_(code_page) {}

  // The file path; the temporary path of the rewriting operations is this path + ".tmp".
  void IniFileName(StrView New_IniPath);
  Str IniFileName() const { return file_path_; }

  // Points at folder `strDrv` joined to file name `strDir` with exactly one "\". Leaves the
  // temporary path as it was.
  void CreateIni(StrView strDrv, StrView strDir);

  // The value (at most 99 bytes of the code page), "" when the file, section or key is
  // missing. Never throws.
  Str GetValue(StrView strSection, StrView strKey);
  // Creates file, section and key as needed. Never throws; a failed write is silent.
  void WriteValue(StrView strSection, StrView strKey, StrView strValue);

  // Item lines have the form key + "`" + value. These operations throw IniError.
  void DeleteItem(StrView strSection, StrView strValue);
  void DeleteItemWithKey(StrView strSection, StrView strKey);
  void ChangeKey(StrView strSection, StrView strSourceKey, StrView strDestKey);
  Str GetKey(StrView strSection, StrView strValue);
  std::int16_t GetItemnum(StrView strSection);
  Str GetItemWithIndex(StrView strSection, std::int16_t nIndex);
  void DeleteSection(StrView strSection);

  // -1 on any error; never throws.
  std::int16_t GetSectionCount();
  // "" on any error; never throws.
  Str GetSectionName(std::int16_t Index);

 private:
  // Called with each line of the file as stored (bytes, without its line end) and as text;
  // returns false to stop.
  using LineVisitor = std::function<bool(std::string_view bytes, const Str& text)>;

  static Str BuildIniPath(StrView strDrv, StrView strDir);
  static Str SectionHeader(StrView strSection);
  static Str ItemLine(StrView strKey, StrView strValue);
  void RemoveLines(StrView pattern);

  std::string ansi_path(StrView path) const;
  // Visits the lines of the file; throws IniError when it cannot be read.
  void scan_lines(StrView path, const LineVisitor& visit) const;
  // Writes `out` to the temporary path and moves it over the file path in one step.
  void rewrite(const std::string& out);

  Profile& profile_;
  const CodePage& code_page_;
  Str file_path_;
  Str temp_path_;
};

}  // namespace brevant
