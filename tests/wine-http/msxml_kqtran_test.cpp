// The translator in the Windows build: MSXML2.XMLHTTP posts to a loopback server that records
// the request line, headers and body exactly as they arrive, and answers as scripted.

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/msxml_http_request.h"
#include "platform/win32/win32_event_loop.h"
#include "tests/support/capture_server.h"
#include "translate/kqtran.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;
using testing::CaptureServer;
using testing::Received;

struct Result {
  Str trantext;
  Str flag;
  Str yuanwen;
};

class WineTranslation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  static void TearDownTestSuite() { WSACleanup(); }

  void use(Str base) {
    tran = std::make_unique<KQTran>(loop, http, fixed_server_address(std::move(base)));
    tran->TisOK = [this](const Str& trantext, const Str& flag, const Str& yuanwen) {
      results.push_back({trantext, flag, yuanwen});
    };
  }
  void wait_results(std::size_t n, milliseconds settle) {
    loop.run_until([&] { return results.size() >= n; }, milliseconds(15000));
    loop.run_until([] { return false; }, settle);
  }

  MsxmlHttpRequestFactory http;
  Win32EventLoop loop;
  std::unique_ptr<KQTran> tran;
  std::vector<Result> results;
};

TEST_F(WineTranslation, RequestArrivesExactlyAsTheServerExpectsIt) {
  CaptureServer server(200, 0);
  use(server.base());
  tran->tranit(u("en"), u("你好"), u("quillnetamy"));
  wait_results(1, milliseconds(200));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(to_utf8(results[0].trantext), "[ hello ]");
  EXPECT_EQ(results[0].flag, u("quillnetamy"));
  EXPECT_EQ(to_utf8(results[0].yuanwen), "你好");

  const auto received = server.received();
  ASSERT_EQ(received.size(), 1u) << "the second engine was not needed";
  const Received& r = received[0];
  EXPECT_EQ(r.request_line, "POST /trans2/index.asp HTTP/1.1");
  const std::string body = "domain=00&text=%E4%BD%A0%E5%A5%BD&lang=02";
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.values("content-length"), std::vector<std::string>{std::to_string(body.size())});
  EXPECT_EQ(r.values("content-type"),
            std::vector<std::string>{"application/x-www-form-urlencoded"});
}

TEST_F(WineTranslation, EnglishTextGoesTheOtherWay) {
  CaptureServer server(200, 0);
  use(server.base());
  tran->tranit(u("en"), u("fish & chips"), u("f"));
  wait_results(1, milliseconds(100));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ ok ]"));
  ASSERT_EQ(server.received().size(), 1u);
  EXPECT_EQ(server.received()[0].body, "domain=00&text=fish %26 chips&lang=01");
}

TEST_F(WineTranslation, ErrorPagesAndServersThatAreDownGiveNoResult) {
  {
    CaptureServer server(500, 0);
    use(server.base());
    tran->tranit(u("en"), u("你好"), u("f"));
    loop.run_until([] { return false; }, milliseconds(1600));
    EXPECT_EQ(server.received().size(), 2u) << "both engines were asked";
  }
  EXPECT_TRUE(results.empty());
  Str closed;
  {
    CaptureServer gone(200, 0);
    closed = gone.base();
  }
  use(closed);
  tran->tranit(u("en"), u("你好"), u("f"));
  loop.run_until([] { return false; }, milliseconds(1600));
  EXPECT_TRUE(results.empty());
}

TEST_F(WineTranslation, SlowServerLetsTheSecondEngineStartAndReportsOneAnswer) {
  CaptureServer server(200, 1500);
  use(server.base());
  tran->tranit(u("en"), u("你好"), u("f"));
  wait_results(1, milliseconds(1500));
  EXPECT_EQ(server.received().size(), 2u);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ hello ]"));
}

// A reply with the given headers and body, closed after it.
std::string raw_reply(const std::string& headers, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n" + headers + "\r\n" +
         body;
}

std::string chunked(const std::string& body) {
  char size[16];
  wsprintfA(size, "%x", static_cast<unsigned>(body.size()));
  return std::string(size) + "\r\n" + body + "\r\n0\r\n\r\n";
}

TEST_F(WineTranslation, ReplyOverSixtyFourKibIsAFailedRequest) {
  const std::string exact(kMaxAnswerBytes, 'a');
  const std::string over(kMaxAnswerBytes + 1, 'a');
  struct Case {
    const char* name;
    std::string raw;
    int hold_ms;
    int status;
    std::size_t size;
  };
  const Case cases[] = {
      {"exactly the limit", raw_reply("Content-Length: 65536\r\n", exact), 0, 200, exact.size()},
      {"one byte over", raw_reply("Content-Length: 65537\r\n", over), 0, 0, 0},
      {"one byte over, without a length",
       raw_reply("Transfer-Encoding: chunked\r\n", chunked(over)), 0, 0, 0},
      // Announced as 20 MB: given up at the headers, long before the server would end it.
      {"20 MB announced", raw_reply("Content-Length: 20971520\r\n", over + over), 4000, 0, 0},
  };
  for (const Case& c : cases) {
    CaptureServer server(200, 0, c.raw, c.hold_ms);
    auto request = http.create();
    bool complete = false;
    request->set_on_ready_state_change(
        [&] { complete = complete || request->ready_state() == HttpRequest::kComplete; });
    request->open(u"post", server.base() + u"/x", true);
    request->send(u"text=x");
    loop.run_until([&] { return complete; }, milliseconds(2000));
    ASSERT_TRUE(complete) << c.name;
    EXPECT_EQ(request->status(), c.status) << c.name;
    EXPECT_EQ(request->response_text().size(), c.size) << c.name;
  }
}

}  // namespace
}  // namespace brevant
