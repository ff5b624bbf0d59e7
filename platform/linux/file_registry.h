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
#include <string>
#include <tuple>

#include "platform/code_page.h"
#include "platform/sim/memory_registry.h"

namespace brevant {

class FileRegistry final : public MemoryRegistry {
 public:
  // Loads `file` when it exists; names and values are converted to `code_page`.
  FileRegistry(std::filesystem::path file, std::unique_ptr<CodePage> code_page);

  // Stores the value; a string value is also saved to the file (other types stay in memory).
  bool set_value(RootKey root, const std::string& subkey, const std::string& name,
                 std::uint32_t type, std::string_view data) override;

 private:
  bool save();

  std::filesystem::path file_;
  std::unique_ptr<CodePage> code_page_;
  // String values set since the last save, as the file holds them (UTF-8).
  std::map<std::string, std::map<std::string, std::string>> pending_;
};

}  // namespace brevant
