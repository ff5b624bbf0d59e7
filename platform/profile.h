#pragma once
// The system's profile functions: single values of INI files (GetPrivateProfileStringA,
// WritePrivateProfileStringA) and the file moves used to replace a rewritten file. Every
// text and path here is bytes of the ANSI code page. Windows: kernel32. Linux: an emulation
// with the same observable behaviour (platform/linux/file_profile.cpp).

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "platform/text.h"

namespace brevant {

class Profile {
 public:
  virtual ~Profile() = default;

  // GetPrivateProfileStringA with a section and a key (never null). Writes the value, or
  // `default_value` when the file, section or key is missing, cut to buffer.size() - 1 bytes,
  // followed by a NUL; bytes after the NUL are left as they were. Returns the number of bytes
  // before the NUL. Section and key names match without regard to case; surrounding blanks
  // are trimmed; a value wholly in quotes loses them. A read never creates a file.
  virtual std::size_t get_string(const std::string& section, const std::string& key,
                                 const std::string& default_value, std::span<char> buffer,
                                 const std::string& path) = 0;

  // WritePrivateProfileStringA with a section, key and value (never null): creates the file,
  // the section and the key as needed, or replaces the existing value. CR LF line ends.
  // false when the file cannot be written.
  virtual bool write_string(const std::string& section, const std::string& key,
                            const std::string& value, const std::string& path) = 0;

  // MoveFileA: fails when `to` exists.
  virtual bool move_file(const std::string& from, const std::string& to) = 0;

  // Renames `from` over `to` in one step (MoveFileExA with MOVEFILE_REPLACE_EXISTING;
  // rename on Linux): at every moment one complete file is at `to`.
  virtual bool replace_file(const std::string& from, const std::string& to) = 0;

  // The file-system path that the profile functions use for an ANSI path, so that plain file
  // I/O reaches the same file (Linux: "\" becomes "/", and the name is decoded to UTF-8).
  virtual std::filesystem::path file_path(const std::string& path) const = 0;
};

// kernel32 on Windows; on Linux the emulation with the system code page.
std::unique_ptr<Profile> make_system_profile();

// The folder that holds the module containing this code, without a trailing "\". Windows:
// the plug-in DLL's folder. Linux: empty, since the embedding program names the folder.
Str this_module_folder();

}  // namespace brevant
