// The server setting: which values give which URL, which give no request at all, and how
// the setting is read from the settings file.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "config/settings.h"
#include "net/server_address.h"

namespace brevant {
namespace {

TEST(TranslationUrl, AppendsThePathToValidBaseAddresses) {
  struct Case {
    const char* setting;
    const char* url;
  };
  const Case cases[] = {
      {"", "http://127.0.0.1:17380/trans2/index.asp"},
      {"   ", "http://127.0.0.1:17380/trans2/index.asp"},
      {"https://mt.example.org:8443", "https://mt.example.org:8443/trans2/index.asp"},
      {" http://mt.example.org ", "http://mt.example.org/trans2/index.asp"},
      {"http://mt.example.org/", "http://mt.example.org/trans2/index.asp"},
      {"HTTPS://Mt.Example.org", "https://Mt.Example.org/trans2/index.asp"},
      {"http://h:1/api/", "http://h:1/api/trans2/index.asp"},
      {"http://[::1]:65535", "http://[::1]:65535/trans2/index.asp"},
  };
  for (const Case& c : cases) {
    const auto url = translation_url(u(c.setting));
    ASSERT_TRUE(url.has_value()) << c.setting;
    EXPECT_EQ(*url, u(c.url)) << c.setting;
  }
}

TEST(TranslationUrl, RejectsWhatIsNotAnHttpUrl) {
  for (const char* bad : {"ftp://h", "mt.example.org", "127.0.0.1:17380", "http://", "https://:80",
                          "http://h:", "http://h:0", "http://h:65536", "http://h:8o",
                          "http://user:pw@h", "http://h?x=1", "http://h/p#f", "http://h h",
                          "http://[::1", "javascript:alert(1)", "http:/h"}) {
    EXPECT_FALSE(translation_url(u(bad)).has_value()) << bad;
  }
}

}  // namespace
}  // namespace brevant

namespace brevant {
namespace {

TEST(IniServerAddress, ReadsTheSettingAtEveryCallAndLeavesTheSharedObjectAlone) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "brevant-server-address-test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  auto profile = make_system_profile();
  auto code_page = make_system_code_page();
  Settings settings(*profile, *code_page, from_utf8(folder.string()));
  const ServerAddress address = ini_server_address(*profile, *code_page, settings);

  EXPECT_EQ(address(), u("")) << "no file yet";
  EXPECT_EQ(*translation_url(address()), u("http://127.0.0.1:17380/trans2/index.asp"));

  settings.use(kConfigUinFile)
      .WriteValue(kConfigSection, kKeyServer, u("https://mt.example.org:8443"));
  settings.use(kConfigImFile);  // someone else's current file
  EXPECT_EQ(address(), u("https://mt.example.org:8443"));
  EXPECT_EQ(settings.shared().IniFileName(), settings.path_of(kConfigImFile));

  settings.use(kConfigUinFile).WriteValue(kConfigSection, kKeyServer, u("gopher://x"));
  EXPECT_FALSE(translation_url(address()).has_value());
  fs::remove_all(folder);
}

}  // namespace
}  // namespace brevant
