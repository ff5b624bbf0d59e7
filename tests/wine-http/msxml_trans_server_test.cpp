// The translator in the Windows build against the bundled translation server itself, run
// inside this test program on a loopback port (its Windows build), through MSXML2.XMLHTTP.

#include <httplib.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/win32/msxml_http_request.h"
#include "platform/win32/win32_event_loop.h"
#include "tools/trans-server/backend.h"
#include "tools/trans-server/server.h"
#include "translate/kqtran.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;

class BundledServer {
 public:
  BundledServer() {
    trans_server::ServerOptions options;
    options.quiet = true;
    trans_server::configure_server(server_, backend_, options);
    // One request per connection: stopping then need not wait out an idle keep-alive.
    server_.set_keep_alive_max_count(1);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ > 0)
      thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && port_ > 0 && !server_.is_running(); ++i)
      Sleep(10);
  }
  ~BundledServer() {
    server_.stop();
    if (thread_.joinable())
      thread_.join();
  }
  bool ready() const { return port_ > 0; }
  Str base() const { return u("http://127.0.0.1:" + std::to_string(port_)); }

 private:
  trans_server::PhrasebookBackend backend_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

TEST(WineTransServer, ChineseAndEnglishTextsThroughMsxml) {
  BundledServer server;
  ASSERT_TRUE(server.ready());
  MsxmlHttpRequestFactory http;
  Win32EventLoop loop;
  KQTran tran(loop, http, fixed_server_address(server.base()));
  std::vector<Str> results;
  tran.TisOK = [&](const Str& trantext, const Str&, const Str&) { results.push_back(trantext); };

  struct Case {
    const char* text;
    const char* trantext;
  };
  const Case cases[] = {
      {"你好", "[ Hello ]"},
      {"thank you", "[ 谢谢 ]"},
  };
  for (const Case& c : cases) {
    results.clear();
    tran.tranit(u("en"), u(c.text), u("f"));
    loop.run_until([&] { return !results.empty(); }, milliseconds(15000));
    loop.run_until([] { return false; }, milliseconds(100));
    ASSERT_EQ(results.size(), 1u) << c.text;
    EXPECT_EQ(to_utf8(results[0]), c.trantext);
  }
}

}  // namespace
}  // namespace brevant
