#include "config/ini_file.h"

#include "platform/failure.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

namespace brevant {
namespace {

constexpr int kMaxCount = std::numeric_limits<std::int16_t>::max();

// Counts as the 16-bit counters of the file format do: beyond the range is an error.
void count_one(int& count) {
  if (++count > kMaxCount)
    throw IniError("counter overflow");
}

bool starts_with_bracket(StrView s) {
  return !s.empty() && s.front() == u'[';
}

// Most lines are plain ASCII, which every ANSI code page maps one to one.
Str decode(const CodePage& code_page, std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return code_page.from_ansi(bytes);
  }
  return Str(bytes.begin(), bytes.end());
}

}  // namespace

void CIniFile::IniFileName(StrView New_IniPath) {
  file_path_ = Str(New_IniPath);
  temp_path_ = file_path_;
  temp_path_.append(u".tmp");
}

void CIniFile::CreateIni(StrView strDrv, StrView strDir) {
  file_path_ = BuildIniPath(strDrv, strDir);
}

Str CIniFile::BuildIniPath(StrView strDrv, StrView strDir) {
  while (!strDrv.empty() && strDrv.back() == u'\\')
    strDrv.remove_suffix(1);
  while (!strDir.empty() && strDir.front() == u'\\')
    strDir.remove_prefix(1);
  Str path(strDrv);
  path.push_back(u'\\');
  path.append(strDir);
  return path;
}

Str CIniFile::SectionHeader(StrView strSection) {
  Str header(1, u'[');
  header.append(strSection);
  header.push_back(u']');
  return header;
}

Str CIniFile::ItemLine(StrView strKey, StrView strValue) {
  Str line(strKey);
  line.push_back(u'`');
  line.append(strValue);
  return line;
}

Str CIniFile::GetValue(StrView strSection, StrView strKey) {
  Str text;
  skip_failure("settings read", [&] {
    const auto section = code_page_.to_ansi(strSection);
    const auto key = code_page_.to_ansi(strKey);
    const auto path = code_page_.to_ansi(file_path_);
    if (!section || !key || !path)
      return;
    // A buffer of 100 spaces: the call writes the value and a NUL, the rest stays blank.
    std::string buffer(100, ' ');
    profile_.get_string(*section, *key, "", buffer, *path);
    text = Trim(code_page_.from_ansi(buffer));
    if (!text.empty())
      text.pop_back();  // the NUL after the value
  });
  return text;
}

void CIniFile::WriteValue(StrView strSection, StrView strKey, StrView strValue) {
  // A settings write that fails is silent; the next read gives the old value.
  skip_failure("settings write", [&] {
    const auto section = code_page_.to_ansi(strSection);
    const auto key = code_page_.to_ansi(strKey);
    const auto value = code_page_.to_ansi(strValue);
    const auto path = code_page_.to_ansi(file_path_);
    if (!section || !key || !value || !path)
      return;
    profile_.write_string(*section, *key, *value, *path);
  });
}

std::string CIniFile::ansi_path(StrView path) const {
  auto ansi = code_page_.to_ansi(path);
  if (!ansi)
    throw IniError("path not representable in the code page");
  return std::move(*ansi);
}

void CIniFile::scan_lines(StrView path, const LineVisitor& visit) const {
  const auto file = profile_.file_path(ansi_path(path));
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    throw IniError("not a file");
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open())
    throw IniError("cannot open the file");
  std::string data;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    data.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad())
    throw IniError("cannot read the file");
  // A line ends at CR, LF or CR LF; the end is not part of the line.
  const std::string_view all(data);
  std::size_t pos = 0;
  while (pos < all.size()) {
    std::size_t end = pos;
    while (end < all.size() && all[end] != '\r' && all[end] != '\n')
      ++end;
    const std::string_view bytes = all.substr(pos, end - pos);
    if (!visit(bytes, decode(code_page_, bytes)))
      return;
    pos = end;
    if (pos < all.size()) {
      const bool cr = all[pos] == '\r';
      ++pos;
      if (cr && pos < all.size() && all[pos] == '\n')
        ++pos;
    }
  }
}

void CIniFile::rewrite(const std::string& out) {
  const std::string temp = ansi_path(temp_path_);
  const std::string target = ansi_path(file_path_);
  const auto temp_file = profile_.file_path(temp);
  std::error_code ec;
  {
    std::ofstream f(temp_file, std::ios::binary | std::ios::trunc);
    if (!f.is_open())
      throw IniError("cannot create the temporary file");
    f.write(out.data(), static_cast<std::streamsize>(out.size()));
    f.flush();
    if (!f) {
      f.close();
      std::filesystem::remove(temp_file, ec);
      throw IniError("cannot write the temporary file");
    }
  }
  // One step: at every moment a complete settings file is on disk.
  if (!profile_.replace_file(temp, target)) {
    std::filesystem::remove(temp_file, ec);
    throw IniError("cannot replace the file");
  }
}

void CIniFile::RemoveLines(StrView pattern) {
  if (pattern.empty())
    return;
  // Several patterns may be joined with ",,,"; a line goes when it holds any of them.
  std::vector<Str> pieces;
  for (auto& piece : split(pattern, u",,,")) {
    if (!piece.empty())
      pieces.push_back(std::move(piece));
  }
  if (pieces.empty())
    return;
  std::string out;
  scan_lines(file_path_, [&](std::string_view bytes, const Str& text) {
    bool drop = false;
    for (const auto& piece : pieces)
      drop = drop || contains(text, piece);
    if (!drop)
      out.append(bytes).append("\r\n");
    return true;
  });
  rewrite(out);
}

void CIniFile::DeleteItem(StrView strSection, StrView strValue) {
  const Str key = GetKey(strSection, strValue);
  // No item holds the value: an empty key would make the pattern a bare "`" and remove every
  // item line of the file.
  if (key.empty())
    return;
  const Str stored = GetValue(strSection, key);
  RemoveLines(ItemLine(key, stored));
}

void CIniFile::DeleteItemWithKey(StrView strSection, StrView strKey) {
  if (strKey.empty())
    return;  // as above: a bare "`" pattern matches every item line
  const Str stored = GetValue(strSection, strKey);
  RemoveLines(ItemLine(strKey, stored));
}

void CIniFile::ChangeKey(StrView strSection, StrView strSourceKey, StrView strDestKey) {
  const Str header = SectionHeader(strSection);
  bool in_section = false;
  std::string out;
  scan_lines(file_path_, [&](std::string_view bytes, const Str& text) {
    // Once the header is seen the flag stays set: later sections are treated alike.
    in_section = in_section || contains(text, header);
    std::optional<std::string> changed;
    if (in_section && !strSourceKey.empty() && contains(text, strSourceKey)) {
      const Str replaced = replace_all(text, strSourceKey, strDestKey);
      if (replaced != text)
        changed = code_page_.to_ansi(replaced);
    }
    out.append(changed ? std::string_view(*changed) : bytes).append("\r\n");
    return true;
  });
  rewrite(out);
}

Str CIniFile::GetKey(StrView strSection, StrView strValue) {
  const Str header = SectionHeader(strSection);
  bool in_section = false;
  Str key;
  scan_lines(file_path_, [&](std::string_view, const Str& text) {
    in_section = in_section || contains(text, header);
    if (!in_section)
      return true;
    const std::size_t p = instr(text, u"`");
    if (p > 0 && instr(text, strValue, p) > 0) {
      key = text.substr(0, p - 1);
      return false;
    }
    return true;
  });
  return key;
}

std::int16_t CIniFile::GetItemnum(StrView strSection) {
  const Str header = SectionHeader(strSection);
  bool in_section = false;
  int count = 0;
  scan_lines(file_path_, [&](std::string_view, const Str& text) {
    if (in_section && starts_with_bracket(text))
      return false;
    if (in_section && !text.empty())
      count_one(count);
    if (text == header)
      in_section = true;
    return true;
  });
  return static_cast<std::int16_t>(count);
}

Str CIniFile::GetItemWithIndex(StrView strSection, std::int16_t nIndex) {
  if (nIndex > GetItemnum(strSection) || nIndex <= 0)
    return Str();
  const Str header = SectionHeader(strSection);
  bool in_section = false;
  int count = 0;
  Str item;
  scan_lines(file_path_, [&](std::string_view, const Str& text) {
    if (in_section && starts_with_bracket(text))
      return false;
    if (in_section && !text.empty()) {
      count_one(count);
      if (count == nIndex) {
        item = text;
        return false;
      }
    }
    if (text == header)
      in_section = true;
    return true;
  });
  return item;
}

void CIniFile::DeleteSection(StrView strSection) {
  const Str header = SectionHeader(strSection);
  bool in_section = false;
  std::string out;
  scan_lines(file_path_, [&](std::string_view bytes, const Str& text) {
    if (in_section && starts_with_bracket(text))
      in_section = false;
    const bool is_header = text == header;
    if (!is_header && !in_section)
      out.append(bytes).append("\r\n");
    if (is_header)
      in_section = true;
    return true;
  });
  rewrite(out);
}

std::int16_t CIniFile::GetSectionCount() {
  int count = 0;
  if (!skip_failure("settings section count", [&] {
        scan_lines(file_path_, [&](std::string_view, const Str& text) {
          if (starts_with_bracket(text))
            count_one(count);
          return true;
        });
      }))
    return -1;
  return static_cast<std::int16_t>(count);
}

Str CIniFile::GetSectionName(std::int16_t Index) {
  Str name;
  if (Index > GetSectionCount())
    return name;
  skip_failure("settings section name", [&] {
    int count = 0;
    scan_lines(file_path_, [&](std::string_view, const Str& text) {
      if (!starts_with_bracket(text))
        return true;
      count_one(count);
      if (count != Index)
        return true;
      if (text.size() >= 2)
        name = text.substr(1, text.size() - 2);
      return false;
    });
  });
  return name;
}

}  // namespace brevant
