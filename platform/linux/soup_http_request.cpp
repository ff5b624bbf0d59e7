#include "platform/linux/soup_http_request.h"

#include <libsoup/soup.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brevant {
namespace {

std::string upper_ascii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

bool equal_nocase(const std::string& a, const char* b) {
  return g_ascii_strcasecmp(a.c_str(), b) == 0;
}

class SoupHttpRequest : public HttpRequest {
 public:
  explicit SoupHttpRequest(SoupSession* session) : session_(SOUP_SESSION(g_object_ref(session))) {}

  ~SoupHttpRequest() override {
    detach();
    if (message_)
      g_object_unref(message_);
    g_object_unref(session_);
  }

  void open(StrView method, StrView url, bool async) override {
    if (!async)
      throw HttpError("only asynchronous requests are supported");
    detach();
    if (message_)
      g_object_unref(message_);
    message_ = nullptr;
    headers_.clear();
    // Methods go on the wire in upper case, as the Windows request object sends them.
    const std::string verb = upper_ascii(to_utf8(method));
    message_ = soup_message_new(verb.c_str(), to_utf8(url).c_str());
    if (message_ == nullptr)
      throw HttpError("not a valid URL: " + to_utf8(url));
    state_ = kOpened;
    status_ = 0;
    text_.clear();
  }

  void set_request_header(StrView name, StrView value) override {
    if (state_ != kOpened || pending_)
      throw HttpError("request not open");
    headers_.emplace_back(to_utf8(name), to_utf8(value));
  }

  void set_on_ready_state_change(std::function<void()> handler) override {
    handler_ = std::move(handler);
  }

  void send(StrView body) override {
    if (state_ != kOpened || pending_ || message_ == nullptr)
      throw HttpError("request not open");
    std::string content_type;
    SoupMessageHeaders* headers = soup_message_get_request_headers(message_);
    for (const auto& [name, value] : headers_) {
      if (equal_nocase(name, "content-type")) {
        content_type = value;
      } else if (equal_nocase(name, "content-length")) {
        // libsoup frames the body itself; its length is that of the bytes actually sent.
      } else {
        soup_message_headers_append(headers, name.c_str(), value.c_str());
      }
    }
    const std::string bytes = to_utf8(body);
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    soup_message_set_request_body_from_bytes(
        message_, content_type.empty() ? nullptr : content_type.c_str(), data);
    g_bytes_unref(data);

    pending_ = new Pending{this, g_cancellable_new()};
    soup_session_send_async(session_, message_, G_PRIORITY_DEFAULT, pending_->cancellable,
                            &SoupHttpRequest::sent, pending_);
  }

  void abort() override {
    detach();
    state_ = kUninitialized;
  }

  int ready_state() const override { return state_; }
  int status() const override { return status_; }
  Str response_text() const override { return text_; }

 private:
  // Lives until libsoup's last callback, even when the request object is gone by then.
  struct Pending {
    SoupHttpRequest* owner;
    GCancellable* cancellable;
    GInputStream* stream = nullptr;
    // One byte more than an answer may have: a body that fills it is too large.
    std::string body = std::string(kMaxAnswerBytes + 1, '\0');

    ~Pending() {
      if (stream)
        g_object_unref(stream);  // an unread rest closes the connection
      g_object_unref(cancellable);
    }
  };

  void detach() {
    if (pending_ == nullptr)
      return;
    pending_->owner = nullptr;
    g_cancellable_cancel(pending_->cancellable);
    pending_ = nullptr;
  }

  // The headers are in; the body is read up to one byte past the limit, never further.
  static void sent(GObject* source, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    GError* error = nullptr;
    pending->stream = soup_session_send_finish(SOUP_SESSION(source), result, &error);
    if (pending->owner == nullptr || pending->stream == nullptr) {
      finish(pending, std::nullopt);
      if (error)
        g_error_free(error);
      return;
    }
    g_input_stream_read_all_async(pending->stream, pending->body.data(), pending->body.size(),
                                  G_PRIORITY_DEFAULT, pending->cancellable, &SoupHttpRequest::read,
                                  pending);
  }

  static void read(GObject* source, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    GError* error = nullptr;
    gsize size = 0;
    const bool ok = g_input_stream_read_all_finish(G_INPUT_STREAM(source), result, &size, &error);
    if (ok && size <= kMaxAnswerBytes) {
      pending->body.resize(size);
      finish(pending, std::move(pending->body));
    } else {
      finish(pending, std::nullopt);
    }
    if (error)
      g_error_free(error);
  }

  // Hands the outcome to the request object, if it still wants it; no body: failed.
  static void finish(Pending* pending, std::optional<std::string> body) {
    SoupHttpRequest* owner = pending->owner;
    delete pending;
    if (owner != nullptr) {
      owner->pending_ = nullptr;
      owner->complete(body);
    }
  }

  void complete(const std::optional<std::string>& body) {
    if (body) {
      status_ = static_cast<int>(soup_message_get_status(message_));
      text_ = from_utf8(*body);
    } else {
      // Refused, reset, name not found, TLS failure, a body over the limit: complete without
      // an answer.
      status_ = 0;
      text_.clear();
    }
    state_ = kComplete;
    if (handler_) {
      auto handler = handler_;  // the handler may replace itself
      handler();
    }
  }

  SoupSession* session_;
  SoupMessage* message_ = nullptr;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::function<void()> handler_;
  Pending* pending_ = nullptr;
  int state_ = kUninitialized;
  int status_ = 0;
  Str text_;
};

}  // namespace

// Six translators with two engines each may all wait on the one translation server at once;
// each engine gets a connection of its own (libsoup's default is two per host), with room for
// connections still closing after a request was given up.
constexpr int kConnectionsPerHost = 16;
constexpr int kConnections = 32;

SoupHttpRequestFactory::SoupHttpRequestFactory()
    : session_(soup_session_new_with_options("timeout", 0, "idle-timeout", 60, "max-conns-per-host",
                                             kConnectionsPerHost, "max-conns", kConnections,
                                             nullptr)) {}

SoupHttpRequestFactory::~SoupHttpRequestFactory() {
  g_object_unref(session_);
}

std::unique_ptr<HttpRequest> SoupHttpRequestFactory::create() {
  return std::make_unique<SoupHttpRequest>(session_);
}

}  // namespace brevant
