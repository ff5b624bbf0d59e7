#pragma once
// Reading the system registry (RegOpenKeyA, RegQueryValueExA). Names and data are bytes of
// the ANSI code page. Windows: advapi32. Linux: a small file-backed store of string values
// (platform/linux/file_registry.h); tests: the in-memory store of platform/memory_registry.h.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace brevant {

enum class RootKey { ClassesRoot, CurrentUser, LocalMachine, Users };

// Value types as the registry numbers them.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

// Result codes as the registry functions return them.
constexpr long kRegOk = 0;
constexpr long kRegNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr long kRegInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr long kRegMoreData = 234;     // ERROR_MORE_DATA

class Registry {
 public:
  using Key = std::uintptr_t;  // 0 is no key
  virtual ~Registry() = default;

  // RegOpenKeyA: opens `subkey` under `root`; `key` stays 0 on failure.
  virtual long open_key(RootKey root, const std::string& subkey, Key& key) = 0;

  // RegQueryValueExA: with `data` null, reports the type and the byte size only; otherwise
  // copies the data when `size` is large enough (kRegMoreData when not). `size` always comes
  // back as the value's byte size (a string's size counts its terminating NUL).
  virtual long query_value(Key key, const std::string& name, std::uint32_t& type, char* data,
                           std::uint32_t& size) = 0;

  virtual void close_key(Key key) = 0;

  // Creates the key as needed and stores a value. The plug-in writes nothing to the registry;
  // installers, the embedding program and tests fill it with this.
  virtual bool set_value(RootKey root, const std::string& subkey, const std::string& name,
                         std::uint32_t type, std::string_view data) = 0;
};

// advapi32 on Windows. On Linux the file store "registry.txt" in `plugin_folder` (empty when
// the file is missing).
std::unique_ptr<Registry> make_system_registry(StrView plugin_folder);

}  // namespace brevant
