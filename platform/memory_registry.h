#pragma once
// An in-memory registry with the semantics of RegOpenKeyA / RegQueryValueExA: key and value
// names match without regard to ASCII case, a missing key or value is reported by code, and a
// string's byte size counts its terminating NUL. The Linux store loads it from a file; the tests
// use it as it is.

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace brevant {

class MemoryRegistry : public Registry {
 public:
  long open_key(RootKey root, const std::string& subkey, Key& key) override {
    key = 0;
    const auto path = normal_path(root, subkey);
    if (!keys_.count(path))
      return kRegNotFound;
    // A closed key's slot is taken again, so that opening and closing keys all day holds no memory.
    auto slot = std::find(open_.begin(), open_.end(), std::nullopt);
    if (slot == open_.end())
      slot = open_.insert(open_.end(), std::nullopt);
    *slot = path;
    key = static_cast<Key>(slot - open_.begin()) + 1;
    return kRegOk;
  }

  long query_value(Key key, const std::string& name, std::uint32_t& type, char* data,
                   std::uint32_t& size) override {
    if (key == 0 || key > open_.size() || !open_[key - 1])
      return kRegInvalidHandle;
    const auto values = keys_.find(*open_[key - 1]);
    if (values == keys_.end())
      return kRegNotFound;
    const auto it = values->second.find(lower(name));
    if (it == values->second.end())
      return kRegNotFound;
    type = it->second.first;
    const auto& bytes = it->second.second;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) {
      size = needed;
      return kRegOk;
    }
    if (size < needed) {
      size = needed;
      return kRegMoreData;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    size = needed;
    return kRegOk;
  }

  void close_key(Key key) override {
    if (key != 0 && key <= open_.size())
      open_[key - 1].reset();
  }

  bool set_value(RootKey root, const std::string& subkey, const std::string& name,
                 std::uint32_t type, std::string_view data) override {
    std::string path = normal_path(root, subkey);
    std::string bytes(data);
    if (type == kRegSz || type == kRegExpandSz)
      bytes.push_back('\0');
    keys_[path][lower(name)] = {type, std::move(bytes)};
    // Every ancestor exists as a key of its own.
    for (auto cut = path.rfind('\\'); cut != std::string::npos; cut = path.rfind('\\')) {
      path.resize(cut);
      keys_[path];
    }
    return true;
  }

 protected:
  // Forgets every key and value; open keys stay open and find nothing.
  void clear() { keys_ = {{"0", {}}, {"1", {}}, {"2", {}}, {"3", {}}}; }

 private:
  static std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return s;
  }

  // "<root>\sub\key" in lower case, without doubled or surrounding "\".
  static std::string normal_path(RootKey root, const std::string& subkey) {
    std::string path = std::to_string(static_cast<int>(root));
    std::string part;
    for (char c : subkey + "\\") {
      if (c != '\\') {
        part.push_back(c);
      } else if (!part.empty()) {
        path.push_back('\\');
        path.append(lower(part));
        part.clear();
      }
    }
    return path;
  }

  using Values = std::map<std::string, std::pair<std::uint32_t, std::string>>;
  std::map<std::string, Values> keys_{{"0", {}}, {"1", {}}, {"2", {}}, {"3", {}}};
  std::vector<std::optional<std::string>> open_;
};

}  // namespace brevant
