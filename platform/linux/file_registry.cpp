#include "platform/linux/file_registry.h"

#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

namespace brevant {
namespace {

struct RootName {
  RootKey root;
  std::string_view long_name;
  std::string_view short_name;
};

constexpr RootName kRootNames[] = {
    {RootKey::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RootKey::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RootKey::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RootKey::Users, "HKEY_USERS", "HKU"},
};

bool same_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i]))
      return false;
  }
  return true;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

}  // namespace

FileRegistry::FileRegistry(std::filesystem::path file, std::unique_ptr<CodePage> code_page)
    : file_(std::move(file)), code_page_(std::move(code_page)) {
  load_if_changed();
}

FileRegistry::Stamp FileRegistry::stamp() const {
  std::error_code ec;
  Stamp s;
  s.written = std::filesystem::last_write_time(file_, ec);
  if (ec)
    return s;
  s.size = std::filesystem::file_size(file_, ec);
  s.exists = !ec;
  return s;
}

long FileRegistry::open_key(RootKey root, const std::string& subkey, Key& key) {
  load_if_changed();
  return MemoryRegistry::open_key(root, subkey, key);
}

void FileRegistry::load_if_changed() {
  const Stamp now = stamp();
  if (loaded_ && *loaded_ == now)
    return;
  loaded_ = now;
  clear();
  for (const Binary& b : binary_)
    MemoryRegistry::set_value(b.root, b.subkey, b.name, b.type, b.data);
  std::ifstream in(file_, std::ios::binary);
  std::string line;
  bool has_root = false;
  RootKey root = RootKey::LocalMachine;
  std::string subkey;
  while (in && std::getline(in, line)) {
    const std::string_view text = trim_blanks(line);
    if (text.empty() || text.front() == ';' || text.front() == '#')
      continue;
    if (text.front() == '[' && text.back() == ']') {
      const std::string_view path = text.substr(1, text.size() - 2);
      const std::string_view head = path.substr(0, path.find('\\'));
      has_root = false;
      for (const auto& r : kRootNames) {
        if (same_ascii_case(head, r.long_name) || same_ascii_case(head, r.short_name)) {
          root = r.root;
          has_root = true;
        }
      }
      subkey = head.size() < path.size() ? std::string(path.substr(head.size() + 1)) : "";
      continue;
    }
    const auto eq = text.find('=');
    if (!has_root || eq == std::string_view::npos)
      continue;
    const std::string name(trim_blanks(text.substr(0, eq)));
    const std::string value(text.substr(eq + 1));
    const auto ansi_subkey = code_page_->to_ansi(from_utf8(subkey));
    const auto ansi_name = code_page_->to_ansi(from_utf8(name));
    const auto ansi_value = code_page_->to_ansi(from_utf8(value));
    if (!ansi_subkey || !ansi_name || !ansi_value)
      continue;
    MemoryRegistry::set_value(root, *ansi_subkey, *ansi_name, kRegSz, *ansi_value);
  }
}

bool FileRegistry::set_value(RootKey root, const std::string& subkey, const std::string& name,
                             std::uint32_t type, std::string_view data) {
  load_if_changed();
  MemoryRegistry::set_value(root, subkey, name, type, data);
  if (type != kRegSz) {
    binary_.push_back({root, subkey, name, type, std::string(data)});
    return true;
  }
  std::string section;
  for (const auto& r : kRootNames) {
    if (r.root == root)
      section = r.long_name;
  }
  if (!subkey.empty())
    section.append("\\").append(to_utf8(code_page_->from_ansi(subkey)));
  pending_[section][to_utf8(code_page_->from_ansi(name))] = to_utf8(code_page_->from_ansi(data));
  return save();
}

bool FileRegistry::save() {
  // The file keeps its lines; the values set since the last save are appended, and later
  // lines win when the file is read back.
  std::ostringstream out;
  std::ifstream in(file_, std::ios::binary);
  std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  out << old;
  if (!old.empty() && old.back() != '\n')
    out << '\n';
  for (const auto& [section, values] : pending_) {
    out << '[' << section << "]\n";
    for (const auto& [name, value] : values)
      out << name << '=' << value << '\n';
  }
  const auto tmp = file_.string() + ".new";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f << out.str();
    if (!f.flush())
      return false;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, file_, ec);
  if (ec)
    return false;
  pending_.clear();
  loaded_ = stamp();  // the file now holds what memory holds
  return true;
}

}  // namespace brevant

namespace brevant {

std::unique_ptr<Registry> make_system_registry(StrView plugin_folder) {
  Str folder(plugin_folder);
  for (auto& c : folder) {
    if (c == u'\\')
      c = u'/';
  }
  std::filesystem::path file = folder.empty()
                                   ? std::filesystem::path("registry.txt")
                                   : std::filesystem::path(to_utf8(folder)) / "registry.txt";
  return std::make_unique<FileRegistry>(std::move(file), make_system_code_page());
}

}  // namespace brevant
