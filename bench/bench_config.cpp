// GetValue through the profile functions: a small settings file and one of 1,000 sections.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/ini_file.h"
#include "platform/code_page.h"
#include "platform/profile.h"

namespace brevant {
namespace {

namespace fs = std::filesystem;

// A settings file in a folder of its own, removed at the end.
class BenchFile {
 public:
  explicit BenchFile(const std::string& text) {
    folder_ =
        fs::temp_directory_path() /
        std::string("brevant-bench-")
            .append(std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "configUIN.ini", std::ios::binary) << text;
  }
  ~BenchFile() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  Str path() const { return from_utf8((folder_ / "configUIN.ini").string()); }

 private:
  fs::path folder_;
};

std::string small_file() {
  return "[config]\r\nlan=cn\r\nconfiglan=en\r\nconfigformat=double\r\nconfigpreview=on\r\n"
         "[quillnetmequillnetyou]\r\nmainlan=ja\r\nshuangdan=dan\r\npreview=off\r\n";
}

// 1,000 chat sections of three keys each; the section read is the last one.
std::string large_file() {
  std::string text = "[config]\r\nlan=cn\r\nconfiglan=en\r\n";
  for (int i = 0; i < 1000; ++i) {
    text.append("[quillnetmequillnet").append(std::to_string(i)).append("]\r\n");
    text.append("mainlan=ja\r\nshuangdan=dan\r\npreview=off\r\n");
  }
  return text;
}

void run_get_value(benchmark::State& state, const std::string& text, const char16_t* section,
                   const char16_t* key, const char16_t* expected) {
  BenchFile file(text);
  auto profile = make_system_profile();
  auto code_page = make_system_code_page();
  CIniFile ini(*profile, *code_page);
  ini.IniFileName(file.path());
  if (ini.GetValue(section, key) != expected) {
    state.SkipWithError("unexpected value");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(ini.GetValue(section, key));
  state.counters["file_bytes"] = static_cast<double>(text.size());
}

void BM_GetValue_SmallFile(benchmark::State& state) {
  run_get_value(state, small_file(), u"quillnetmequillnetyou", u"preview", u"off");
}

void BM_GetValue_1000Sections_Last(benchmark::State& state) {
  run_get_value(state, large_file(), u"quillnetmequillnet999", u"preview", u"off");
}

void BM_GetValue_1000Sections_First(benchmark::State& state) {
  run_get_value(state, large_file(), u"config", u"lan", u"cn");
}

void BM_GetValue_1000Sections_Missing(benchmark::State& state) {
  run_get_value(state, large_file(), u"quillnetmequillnetnobody", u"preview", u"");
}

BENCHMARK(BM_GetValue_SmallFile);
BENCHMARK(BM_GetValue_1000Sections_First);
BENCHMARK(BM_GetValue_1000Sections_Last);
BENCHMARK(BM_GetValue_1000Sections_Missing);

}  // namespace
}  // namespace brevant
