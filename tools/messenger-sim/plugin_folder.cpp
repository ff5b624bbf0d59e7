#include "tools/messenger-sim/plugin_folder.h"

#include <fstream>
#include <system_error>

#include "tools/messenger-sim/personas.h"

namespace brevant::messenger {

namespace fs = std::filesystem;

void prepare_plugin_folder(const fs::path& dir, const std::string& page_dir, const Str& own_id,
                           const std::string& server) {
  fs::create_directories(dir);
  for (const char* folder : {"IO11", "IOEN", "common"}) {
    std::error_code e;
    if (!fs::exists(dir / folder, e))
      fs::create_directory_symlink(fs::absolute(fs::path(page_dir) / folder), dir / folder, e);
  }
  if (!fs::exists(dir / "configUIN.ini")) {
    std::ofstream ini(dir / "configUIN.ini", std::ios::binary);
    ini << "[config]\r\nlan=cn\r\nserver=" << server << "\r\n";
    for (const Persona& p : personas()) {
      if (std::string(p.language) == "ja")
        ini << "[" << to_utf8(own_id) << to_utf8(p.contact) << "]\r\nmainlan=ja\r\n";
    }
  }
  if (!fs::exists(dir / "registry.txt")) {
    std::ofstream(dir / "registry.txt", std::ios::binary)
        << "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage]\n"
           "50227=c_936.nls\n";
  }
}

}  // namespace brevant::messenger
