#pragma once
// The Linux profile functions: INI files read and written with the observable behaviour of
// the Windows ones, on bytes of the ANSI code page. Differences that the plug-in never meets:
// a path without a folder is relative to the working directory (Windows: the Windows folder),
// and names compare without regard to ASCII case only. A write edits the file's bytes in place
// (every other line stays byte for byte) and replaces the file by rename.

#include <memory>

#include "platform/code_page.h"
#include "platform/profile.h"

namespace brevant {

// `code_page` decodes paths to file names and tells which bytes start a double-byte
// character, so that "]" or "=" inside such a character is never taken for syntax.
std::unique_ptr<Profile> make_file_profile(std::unique_ptr<CodePage> code_page);

}  // namespace brevant
