// The translator in the Windows build against the bundled translation server itself, run
// inside this test program on a loopback port (its Windows build), through MSXML2.XMLHTTP.

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
  BundledServer() : server_(backend_, options()) {
    std::string error;
    if (server_.listen(error))
      thread_ = std::thread([this] { server_.run(); });
  }
  ~BundledServer() {
    server_.stop();
    if (thread_.joinable())
      thread_.join();
  }
  bool ready() const { return thread_.joinable(); }
  Str base() const { return u("http://127.0.0.1:" + std::to_string(server_.port())); }

 private:
  static trans_server::ServerOptions options() {
    trans_server::ServerOptions o;
    o.quiet = true;
    o.port = 0;
    return o;
  }
  trans_server::PhrasebookBackend backend_;
  trans_server::HttpServer server_;
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
      // The server answers the text alone; the plug-in puts it inside the message's tags once.
      {"<font color=red>你好</font>", "<font color=red>[ Hello ]</font>"},
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
