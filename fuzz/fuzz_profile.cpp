// Arbitrary settings-file bytes through the Linux profile emulation and CIniFile: no crash, no
// hang, and a value written is read back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "config/ini_file.h"
#include "platform/linux/file_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/brevant-fuzz-" + std::to_string(getpid()) + ".ini";
  static auto profile = brevant::make_file_profile(brevant::make_system_code_page());
  static auto code_page = brevant::make_system_code_page();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  brevant::CIniFile ini(*profile, *code_page);
  ini.IniFileName(brevant::from_utf8(path));
  (void)ini.GetValue(u"config", u"lan");
  (void)ini.GetSectionCount();
  (void)ini.GetSectionName(1);
  try {
    (void)ini.GetItemnum(u"config");
    (void)ini.GetItemWithIndex(u"config", 1);
    (void)ini.GetKey(u"config", u"x");
  } catch (const brevant::IniError&) {
  }
  ini.WriteValue(u"brevantfuzz", u"server", u"http://127.0.0.1:17380");
  if (ini.GetValue(u"brevantfuzz", u"server") != u"http://127.0.0.1:17380")
    std::abort();
  std::remove(path.c_str());
  return 0;
}
