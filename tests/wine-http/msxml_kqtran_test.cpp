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
#include "translate/kqtran.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;

std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// One request as the server received it.
struct Received {
  std::string request_line;
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;

  std::vector<std::string> values(const std::string& name) const {
    std::vector<std::string> found;
    for (const auto& [key, value] : headers) {
      if (key == name)
        found.push_back(value);
    }
    return found;
  }
};

// A small HTTP/1.1 server on 127.0.0.1 (one thread per connection, bounded by the test).
class CaptureServer {
 public:
  CaptureServer(int status, int delay_ms) : status_(status), delay_ms_(delay_ms) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 8);
    int size = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
  }
  ~CaptureServer() {
    closesocket(listener_);
    acceptor_.join();
    for (auto& t : connections_)
      t.join();
  }
  Str base() const { return u("http://127.0.0.1:" + std::to_string(port_)); }
  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void accept_loop() {
    for (;;) {
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET)
        return;
      connections_.emplace_back([this, client] { serve(client); });
    }
  }

  void serve(SOCKET client) {
    std::string data;
    char buffer[4096];
    std::size_t head_end = std::string::npos;
    std::size_t length = 0;
    for (;;) {
      if (head_end == std::string::npos) {
        head_end = data.find("\r\n\r\n");
        if (head_end != std::string::npos)
          length = content_length(data.substr(0, head_end));
      }
      if (head_end != std::string::npos && data.size() >= head_end + 4 + length)
        break;
      const int n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0)
        break;
      data.append(buffer, n);
    }
    if (head_end != std::string::npos) {
      Received r = parse(data.substr(0, head_end));
      r.body = data.substr(head_end + 4, length);
      const std::string answer =
          r.body.find("text=%E4%BD%A0%E5%A5%BD&") != std::string::npos ? "hello" : "ok";
      {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(r);
      }
      if (delay_ms_ > 0)
        Sleep(static_cast<DWORD>(delay_ms_));
      const std::string reply = "HTTP/1.1 " + std::to_string(status_) +
                                " X\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                "Content-Length: " +
                                std::to_string(answer.size()) + "\r\nConnection: close\r\n\r\n" +
                                answer;
      send(client, reply.data(), static_cast<int>(reply.size()), 0);
    }
    shutdown(client, SD_SEND);
    closesocket(client);
  }

  static Received parse(const std::string& head) {
    Received r;
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
      std::size_t end = head.find("\r\n", start);
      if (end == std::string::npos)
        end = head.size();
      const std::string line = head.substr(start, end - start);
      if (first) {
        r.request_line = line;
        first = false;
      } else if (const auto colon = line.find(':'); colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
          value.erase(0, 1);
        r.headers.emplace_back(lower(line.substr(0, colon)), value);
      }
      start = end + 2;
    }
    return r;
  }

  static std::size_t content_length(const std::string& head) {
    for (const auto& [name, value] : parse(head).headers) {
      if (name == "content-length")
        return static_cast<std::size_t>(std::stoul(value));
    }
    return 0;
  }

  int status_;
  int delay_ms_;
  SOCKET listener_;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // only the acceptor thread adds to it
  std::mutex mutex_;
  std::vector<Received> received_;
};

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

}  // namespace
}  // namespace brevant
