#pragma once
// The Linux registry: a text file of string values that the embedding program (or a person)
// fills, read with the semantics of the Windows registry functions. Format, UTF-8:
//   [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Nls\CodePage]
//   50227=some text
// The value is everything after the first "=", less blanks at the line end. Lines starting with ";"
// or
// "#" and blank lines are ignored. Only string values exist here.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/code_page.h"
#include "platform/memory_registry.h"

namespace brevant {

// The file is read when a key is opened and the file changed since it was last read, so a file
// that the embedding program writes after the plug-in's services were made is seen.
class FileRegistry final : public MemoryRegistry {
 public:
  // Names and values are converted to `code_page`.
  FileRegistry(std::filesystem::path file, std::unique_ptr<CodePage> code_page);

  long open_key(RootKey root, const std::string& subkey, Key& key) override;

  // Stores the value; a string value is also saved to the file (other types stay in memory).
  bool set_value(RootKey root, const std::string& subkey, const std::string& name,
                 std::uint32_t type, std::string_view data) override;

 private:
  bool save();
  void load_if_changed();

  struct Stamp {
    bool exists = false;
    std::filesystem::file_time_type written{};
    std::uintmax_t size = 0;
    bool operator==(const Stamp&) const = default;
  };
  Stamp stamp() const;

  std::filesystem::path file_;
  std::unique_ptr<CodePage> code_page_;
  // String values set since the last save, as the file holds them (UTF-8).
  std::map<std::string, std::map<std::string, std::string>> pending_;
  // Values of other types than strings: the file cannot hold them, a reload keeps them.
  struct Binary {
    RootKey root;
    std::string subkey, name;
    std::uint32_t type;
    std::string data;
  };
  std::vector<Binary> binary_;
  std::optional<Stamp> loaded_;
};

}  // namespace brevant
