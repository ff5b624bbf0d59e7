#include "platform/linux/file_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace brevant {
namespace {

// Blanks trimmed around names and values; 0x1A is the old end-of-file mark.
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view trim_left(std::string_view s) {
  while (!s.empty() && is_blank(s.front()))
    s.remove_prefix(1);
  return s;
}

std::string_view trim_right(std::string_view s) {
  while (!s.empty() && is_blank(s.back()))
    s.remove_suffix(1);
  return s;
}

std::string_view trim(std::string_view s) {
  return trim_right(trim_left(s));
}

// One line of the file: its content [begin, end) and where the next line starts. A line
// ends at CR LF, CR or LF.
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

// The line that starts at `pos`.
Line line_at(std::string_view text, std::size_t pos) {
  std::size_t end = pos;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n')
    ++end;
  std::size_t next = end;
  if (next < text.size()) {
    const bool cr = text[next] == '\r';
    ++next;
    if (cr && next < text.size() && text[next] == '\n')
      ++next;
  }
  return {pos, end, next};
}

enum class ReadResult { kOk, kMissing, kError };

ReadResult read_all(const std::filesystem::path& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::kMissing : ReadResult::kError;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::kError;
  }
  // Read straight into the string, sized from the file and grown if the file grows.
  out.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == out.size())
      out.resize(out.size() * 2);
    const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      ::close(fd);
      return ReadResult::kError;
    }
    used += static_cast<std::size_t>(n);
  }
  out.resize(used);
  ::close(fd);
  return ReadResult::kOk;
}

// Writes a new file beside the old one and renames it over, so that the settings file is
// always either the old or the new content, never a truncated one.
bool write_replacing(const std::filesystem::path& path, std::string_view text,
                     std::optional<mode_t> mode) {
  const std::string tmp = path.string() + ".brevant-new";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  bool ok = !mode || ::fchmod(fd, *mode) == 0;
  std::size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok)
    ::unlink(tmp.c_str());
  return ok;
}

class FileProfile final : public Profile {
 public:
  explicit FileProfile(std::unique_ptr<CodePage> code_page) : code_page_(std::move(code_page)) {
    // A byte starts a double-byte character when it and some second byte decode to one
    // character. Single-byte code pages have none.
    for (int b = 0x81; b <= 0xFE; ++b) {
      for (const char trail : {'\x41', '\x61', '\x5c', '\x7e', '\x80', '\xa1', '\xfe'}) {
        const char pair[2] = {static_cast<char>(b), trail};
        const Str s = code_page_->from_ansi(std::string_view(pair, 2));
        if (s.size() == 1 && s[0] != u'?' && s[0] != u'\xfffd') {
          lead_[static_cast<unsigned char>(b)] = true;
          break;
        }
      }
    }
  }

  std::size_t get_string(const std::string& section, const std::string& key,
                         const std::string& default_value, std::span<char> buffer,
                         const std::string& path) override {
    if (buffer.empty())
      return 0;
    // Trailing blanks of the default are dropped, as the system does.
    std::string_view value = trim_right(default_value);
    std::string text;
    std::optional<Location> found;
    if (read_all(file_path(path), text) == ReadResult::kOk) {
      found = locate(text, trim(section), trim(key));
      if (found->key_line && found->value)
        value = unquote(*found->value);
    }
    std::size_t n = char_boundary(value, std::min(value.size(), buffer.size() - 1));
    std::memcpy(buffer.data(), value.data(), n);
    buffer[n] = '\0';
    return n;
  }

  bool write_string(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path) override {
    const std::string_view sec = trim(section);
    const std::string_view k = trim(key);
    const std::string_view v = trim_left(value);
    const auto file = file_path(path);
    std::string text;
    std::optional<mode_t> mode;
    switch (read_all(file, text)) {
      case ReadResult::kError:
        return false;
      case ReadResult::kMissing:
        text.clear();
        break;
      case ReadResult::kOk: {
        struct stat st {};
        if (::access(file.c_str(), W_OK) != 0 || ::stat(file.c_str(), &st) != 0)
          return false;
        mode = st.st_mode & 07777;
        break;
      }
    }
    const Location at = locate(text, sec, k);
    std::string out;
    if (at.key_line) {
      if (at.value && *at.value == v)
        return true;  // unchanged: the file is not touched
      const Line& line = *at.key_line;
      out.reserve(text.size() + v.size() + k.size());
      out.append(text, 0, line.begin);
      out.append(at.key_name).append("=").append(v);
      out.append(text, line.end, std::string::npos);
    } else if (at.section_found) {
      // After the section's last non-blank line, so that blank separators stay in place.
      std::size_t pos = at.section_last ? at.section_last->next : 0;
      out.append(text, 0, pos);
      if (at.section_last && at.section_last->end == pos)
        out.append("\r\n");
      out.append(k).append("=").append(v).append("\r\n");
      out.append(text, pos, std::string::npos);
    } else {
      out = text;
      if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out.append("\r\n");
      out.append("[").append(sec).append("]\r\n");
      out.append(k).append("=").append(v).append("\r\n");
    }
    return write_replacing(file, out, mode);
  }

  bool move_file(const std::string& from, const std::string& to) override {
    const auto target = file_path(to);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec)))
      return false;
    return ::rename(file_path(from).c_str(), target.c_str()) == 0;
  }

  bool replace_file(const std::string& from, const std::string& to) override {
    return ::rename(file_path(from).c_str(), file_path(to).c_str()) == 0;
  }

  std::filesystem::path file_path(const std::string& path) const override {
    Str name = code_page_->from_ansi(path);
    for (auto& c : name) {
      if (c == u'\\')
        c = u'/';
    }
    return std::filesystem::path(to_utf8(name));
  }

 private:
  struct Location {
    bool section_found = false;
    std::optional<Line> section_last;  // the section's last non-blank line
    std::optional<Line> key_line;
    std::string_view key_name;              // as spelled in the file
    std::optional<std::string_view> value;  // none for a line without "="
  };

  // The first occurrence of the section (names without regard to case) and the first line of
  // the key in it. Lines before the first header form the section with the empty name.
  Location locate(std::string_view text, std::string_view section, std::string_view key) const {
    Location at;
    bool in_section = section.empty();
    at.section_found = in_section;
    for (std::size_t pos = 0; pos < text.size();) {
      const Line here = line_at(text, pos);
      pos = here.next;
      const std::string_view line = trim(text.substr(here.begin, here.end - here.begin));
      if (line.empty())
        continue;
      if (line.front() == '[') {
        const std::size_t close = find_byte(line, ']', 1);
        if (close != std::string_view::npos) {
          if (in_section)
            return at;  // the first occurrence ends here
          // "[ s ]" names section "s": blanks inside the brackets are not part of the name.
          if (same_name(trim(line.substr(1, close - 1)), section)) {
            in_section = at.section_found = true;
            at.section_last = here;
          }
          continue;
        }
        // A "[" without "]" is an ordinary line.
      }
      if (!in_section)
        continue;
      at.section_last = here;
      if (at.key_line)
        continue;
      const std::size_t eq = find_byte(line, '=', 0);
      const std::string_view name = trim_right(line.substr(0, eq));
      if (!same_name(name, key))
        continue;
      at.key_line = here;
      at.key_name = name;
      if (eq != std::string_view::npos)
        at.value = trim_left(line.substr(eq + 1));
    }
    return at;
  }

  // A value wholly in double (or single) quotes loses them.
  static std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      return v.substr(1, v.size() - 2);
    }
    return v;
  }

  bool is_lead(char c) const { return lead_[static_cast<unsigned char>(c)]; }

  // Position of the single-byte character `c` at or after `from`, skipping double-byte
  // characters.
  std::size_t find_byte(std::string_view s, char c, std::size_t from) const {
    for (std::size_t i = from; i < s.size(); ++i) {
      if (is_lead(s[i]) && i + 1 < s.size()) {
        ++i;
        continue;
      }
      if (s[i] == c)
        return i;
    }
    return std::string_view::npos;
  }

  // The largest n' <= n that does not cut a double-byte character in two.
  std::size_t char_boundary(std::string_view s, std::size_t n) const {
    std::size_t i = 0;
    while (i < n) {
      const std::size_t width = (is_lead(s[i]) && i + 1 < s.size()) ? 2 : 1;
      if (i + width > n)
        break;
      i += width;
    }
    return i;
  }

  // Names compare without regard to ASCII case; double-byte characters compare exactly.
  bool same_name(std::string_view a, std::string_view b) const {
    if (a.size() != b.size())
      return false;
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (is_lead(a[i]) && i + 1 < a.size()) {
        if (a[i] != b[i] || a[i + 1] != b[i + 1])
          return false;
        ++i;
        continue;
      }
      if (fold(a[i]) != fold(b[i]))
        return false;
    }
    return true;
  }

  std::unique_ptr<CodePage> code_page_;
  std::array<bool, 256> lead_{};
};

}  // namespace

std::unique_ptr<Profile> make_file_profile(std::unique_ptr<CodePage> code_page) {
  return std::make_unique<FileProfile>(std::move(code_page));
}

std::unique_ptr<Profile> make_system_profile() {
  return make_file_profile(make_system_code_page());
}

Str this_module_folder() {
  return Str();
}

}  // namespace brevant
