// The translator over real HTTP: libsoup on the GLib loop against the bundled trans-server on a
// loopback port, a port where nothing listens, and a server that takes 1.5 s to answer.

#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/glib_event_loop.h"
#include "platform/linux/soup_http_request.h"
#include "tests/linux/loop_server.h"
#include "translate/kqtran.h"

namespace brevant {
namespace {

using gtk_test::answer_text;
using gtk_test::LoopServer;
using gtk_test::request_body;
using std::chrono::milliseconds;

// A loopback port that was free a moment ago.
int free_port() {
  GSocket* socket =
      g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr);
  GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* any = g_inet_socket_address_new(loopback, 0);
  int port = 0;
  if (g_socket_bind(socket, any, FALSE, nullptr)) {
    GSocketAddress* bound = g_socket_get_local_address(socket, nullptr);
    port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
    g_object_unref(bound);
  }
  g_object_unref(any);
  g_object_unref(loopback);
  g_socket_close(socket, nullptr);
  g_object_unref(socket);
  return port;
}

// The bundled server, started once for the whole suite.
class TransServer {
 public:
  TransServer() {
    port_ = free_port();
    const std::string port = std::to_string(port_);
    const char* argv[] = {BREVANT_TRANS_SERVER, "--bind", "127.0.0.1", "--port",
                          port.c_str(),         nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(
            nullptr, const_cast<char**>(argv), nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL),
            nullptr, nullptr, &pid_, &error)) {
      ADD_FAILURE() << "cannot start trans-server: " << error->message;
      g_error_free(error);
      pid_ = 0;
      return;
    }
    ready_ = wait_healthy();
  }
  ~TransServer() {
    if (pid_ == 0)
      return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    g_spawn_close_pid(pid_);
  }
  bool ready() const { return ready_; }
  Str base() const { return u("http://127.0.0.1:" + std::to_string(port_)); }

 private:
  bool wait_healthy() {
    SoupSession* session = soup_session_new_with_options("timeout", 2, nullptr);
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/health";
    bool ok = false;
    for (int attempt = 0; attempt < 100 && !ok; ++attempt) {
      SoupMessage* message = soup_message_new("GET", url.c_str());
      GBytes* body = soup_session_send_and_read(session, message, nullptr, nullptr);
      ok = body != nullptr && soup_message_get_status(message) == 200;
      if (body)
        g_bytes_unref(body);
      g_object_unref(message);
      if (!ok)
        g_usleep(100 * 1000);
    }
    g_object_unref(session);
    return ok;
  }

  int port_ = 0;
  GPid pid_ = 0;
  bool ready_ = false;
};

// A server of our own in the same loop that answers every request after 1.5 s, and records
// each request as it arrived.
class SlowServer {
 public:
  struct Seen {
    std::string method;
    std::string path;
    std::string content_type;
    std::string content_length;
    std::string body;
  };

  explicit SlowServer(GlibEventLoop& loop)
      : loop_(loop), server_([this](SoupServerMessage* message) { handle(message); }) {}
  Str base() const { return u(server_.url()); }
  const std::vector<Seen>& seen() const { return seen_; }

 private:
  void handle(SoupServerMessage* message) {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    auto header = [&](const char* name) {
      const char* value = soup_message_headers_get_one(headers, name);
      return std::string(value ? value : "");
    };
    seen_.push_back({soup_server_message_get_method(message),
                     g_uri_get_path(soup_server_message_get_uri(message)), header("Content-Type"),
                     header("Content-Length"), request_body(message)});
    const std::string answer = "slow answer " + std::to_string(seen_.size());
    soup_server_message_pause(message);
    g_object_ref(message);
    loop_.call_later(milliseconds(1500), [message, answer] {
      answer_text(message, answer);
      soup_server_message_unpause(message);
      g_object_unref(message);
    });
  }

  GlibEventLoop& loop_;
  LoopServer server_;
  std::vector<Seen> seen_;
};

// Streams a chunked body of 16 KiB pieces, 20 MB in all, and then never ends it.
struct EndlessBody {
  static constexpr std::size_t kChunk = 16 * 1024;
  static constexpr std::size_t kTotal = 20 * 1024 * 1024;

  void start(SoupServerMessage* message) {
    soup_message_headers_set_encoding(soup_server_message_get_response_headers(message),
                                      SOUP_ENCODING_CHUNKED);
    soup_server_message_set_status(message, 200, nullptr);
    g_signal_connect(message, "wrote-chunk", G_CALLBACK(&EndlessBody::next), this);
    next(message, this);
  }
  static void next(SoupServerMessage* message, gpointer data) {
    auto* self = static_cast<EndlessBody*>(data);
    if (self->written >= kTotal)
      return;
    const std::string chunk(kChunk, 'z');
    soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_COPY,
                             chunk.data(), chunk.size());
    self->written += kChunk;
  }

  std::size_t written = 0;
};

struct Result {
  Str trantext;
  Str flag;
  Str yuanwen;
};

class LinuxTranslation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TransServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void use(Str base) {
    tran = std::make_unique<KQTran>(loop, http, fixed_server_address(std::move(base)));
    tran->TisOK = [this](const Str& trantext, const Str& flag, const Str& yuanwen) {
      results.push_back({trantext, flag, yuanwen});
    };
  }
  // Waits for the n-th result, then a little longer to see that no other comes.
  void wait_results(std::size_t n, milliseconds settle) {
    loop.run_until([&] { return results.size() >= n; }, milliseconds(10000));
    loop.run_until([] { return false; }, settle);
  }

  static TransServer* server_;
  GlibEventLoop loop;
  SoupHttpRequestFactory http;
  std::unique_ptr<KQTran> tran;
  std::vector<Result> results;
};

TransServer* LinuxTranslation::server_ = nullptr;

TEST_F(LinuxTranslation, ChineseAndEnglishTextsThroughTheBundledServer) {
  ASSERT_TRUE(server_->ready()) << "trans-server did not come up";
  use(server_->base());
  struct Case {
    const char* main_lan;
    const char* text;
    const char* trantext;
  };
  const Case cases[] = {
      {"en", "你好", "[ Hello ]"},
      {"en", "thank you", "[ 谢谢 ]"},
      {"en", "你好吗？", "[ How are you? ]"},
  };
  for (const Case& c : cases) {
    results.clear();
    tran->tranit(u(c.main_lan), u(c.text), u("quillnetamy"));
    wait_results(1, milliseconds(100));
    ASSERT_EQ(results.size(), 1u) << c.text;
    EXPECT_EQ(to_utf8(results[0].trantext), c.trantext);
    EXPECT_EQ(results[0].flag, u("quillnetamy"));
    EXPECT_EQ(results[0].yuanwen, u(c.text));
  }
}

TEST_F(LinuxTranslation, ServerThatIsDownGivesNoResult) {
  use(u("http://127.0.0.1:" + std::to_string(free_port())));
  tran->tranit(u("en"), u("你好"), u("f"));
  loop.run_until([] { return false; }, milliseconds(1600));
  EXPECT_TRUE(results.empty());
}

TEST_F(LinuxTranslation, SlowServerLetsTheSecondEngineStartAndReportsOneAnswer) {
  SlowServer slow(loop);
  use(slow.base());
  tran->tranit(u("en"), u("你好"), u("f"));
  wait_results(1, milliseconds(1500));  // past the second engine's answer too
  ASSERT_EQ(slow.seen().size(), 2u) << "the second engine started at one second";
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ slow answer 1 ]"));
  for (const auto& seen : slow.seen()) {
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/trans2/index.asp");
    EXPECT_EQ(seen.content_type, "application/x-www-form-urlencoded");
    EXPECT_EQ(seen.body, "domain=00&text=%E4%BD%A0%E5%A5%BD&lang=02");
    EXPECT_EQ(seen.content_length, std::to_string(seen.body.size()));
  }
}

TEST_F(LinuxTranslation, ReplyOverSixtyFourKibIsAFailedRequestAndIsNotReadToTheEnd) {
  EndlessBody endless;
  LoopServer server([&endless](SoupServerMessage* message) {
    const std::string path = g_uri_get_path(soup_server_message_get_uri(message));
    if (path == "/exact")
      answer_text(message, std::string(kMaxAnswerBytes, 'a'));
    else if (path == "/over")
      answer_text(message, std::string(kMaxAnswerBytes + 1, 'a'));
    else
      endless.start(message);
  });
  struct Case {
    const char* path;
    int status;
    std::size_t size;
  };
  const Case cases[] = {{"/exact", 200, kMaxAnswerBytes}, {"/over", 0, 0}, {"/endless", 0, 0}};
  for (const Case& c : cases) {
    auto request = http.create();
    bool complete = false;
    request->set_on_ready_state_change(
        [&] { complete = complete || request->ready_state() == HttpRequest::kComplete; });
    request->open(u"post", u(server.url(c.path)), true);
    request->send(u"text=x");
    loop.run_until([&] { return complete; }, milliseconds(10000));
    ASSERT_TRUE(complete) << c.path;
    EXPECT_EQ(request->status(), c.status) << c.path;
    EXPECT_EQ(request->response_text().size(), c.size) << c.path;
  }
  EXPECT_LT(endless.written, EndlessBody::kTotal) << "reading stopped at the limit";
}

TEST_F(LinuxTranslation, SixTranslatorsHaveAllTwelveEngineRequestsOnTheWireAtOnce) {
  // Holds every request until twelve are held, then answers them all.
  std::vector<SoupServerMessage*> held;
  std::size_t most_held = 0;
  LoopServer server([&](SoupServerMessage* message) {
    soup_server_message_pause(message);
    held.push_back(message);
    most_held = std::max(most_held, held.size());
    if (held.size() < 12)
      return;
    for (SoupServerMessage* m : held) {
      answer_text(m, "ok");
      soup_server_message_unpause(m);
    }
    held.clear();
  });
  std::vector<std::unique_ptr<KQTran>> translators;
  for (int i = 0; i < 6; ++i) {
    translators.push_back(
        std::make_unique<KQTran>(loop, http, fixed_server_address(u(server.url()))));
    translators.back()->TisOK = [this](const Str& trantext, const Str& flag, const Str& yuanwen) {
      results.push_back({trantext, flag, yuanwen});
    };
    translators.back()->tranit(u("en"), u("hello"), u(std::to_string(i)));
  }
  wait_results(6, milliseconds(200));
  EXPECT_EQ(most_held, 12u) << "every engine has a connection of its own";
  EXPECT_EQ(results.size(), 6u);
}

}  // namespace
}  // namespace brevant
