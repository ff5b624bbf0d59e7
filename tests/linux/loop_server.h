#pragma once
// An HTTP server of the test's own on a free loopback port, served by the thread's GLib main
// loop (the plug-in's own loop in these tests); `answer` decides what each request gets.

#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <functional>
#include <string>
#include <utility>

namespace brevant::gtk_test {

class LoopServer {
 public:
  using Answer = std::function<void(SoupServerMessage*)>;

  explicit LoopServer(Answer answer) : answer_(std::move(answer)) {
    server_ = soup_server_new(nullptr, nullptr);
    soup_server_add_handler(server_, nullptr, &LoopServer::handle, this, nullptr);
    GError* error = nullptr;
    if (!soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
      return;
    }
    GSList* uris = soup_server_get_uris(server_);
    port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
  }
  ~LoopServer() {
    soup_server_disconnect(server_);
    g_object_unref(server_);
  }
  LoopServer(const LoopServer&) = delete;
  LoopServer& operator=(const LoopServer&) = delete;

  std::string url(const std::string& path = "") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  static void handle(SoupServer*, SoupServerMessage* message, const char*, GHashTable*,
                     gpointer data) {
    static_cast<LoopServer*>(data)->answer_(message);
  }

  Answer answer_;
  SoupServer* server_ = nullptr;
  int port_ = 0;
};

inline void answer_text(SoupServerMessage* message, const std::string& text) {
  soup_server_message_set_status(message, 200, nullptr);
  soup_server_message_set_response(message, "text/plain; charset=utf-8", SOUP_MEMORY_COPY,
                                   text.data(), text.size());
}

// The body of a request as sent.
inline std::string request_body(SoupServerMessage* message) {
  SoupMessageBody* body = soup_server_message_get_request_body(message);
  return std::string(body->data ? body->data : "", body->length);
}

}  // namespace brevant::gtk_test
