#include "platform/sim/scripted_http.h"

#include <vector>

namespace brevant {

Str RecordedRequest::header(StrView name) const {
  for (const auto& [key, value] : headers) {
    if (key == name)
      return value;
  }
  return {};
}

class ScriptedRequest : public HttpRequest {
 public:
  ScriptedRequest(std::shared_ptr<ScriptedHttp::Shared> owner,
                  std::shared_ptr<RecordedRequest> record)
      : owner_(std::move(owner)), record_(std::move(record)) {}
  ~ScriptedRequest() override {
    cancel_pending();
    record_->released = true;
  }

  void open(StrView method, StrView url, bool async) override {
    if (url.empty())
      throw HttpError("scripted request: empty URL");
    record_->method = Str(method);
    record_->url = Str(url);
    record_->async = async;
    state_ = kOpened;
  }
  void set_request_header(StrView name, StrView value) override {
    if (state_ != kOpened || record_->sent)
      throw HttpError("scripted request: not open");
    record_->headers.emplace_back(Str(name), Str(value));
  }
  void set_on_ready_state_change(std::function<void()> handler) override {
    handler_ = std::move(handler);
  }
  void send(StrView body) override {
    if (state_ != kOpened || record_->sent)
      throw HttpError("scripted request: not open");
    record_->body = Str(body);
    record_->sent = true;
    const ScriptedReply reply =
        owner_->responder ? owner_->responder(*record_) : ScriptedReply::answer({});
    if (reply.kind == ScriptedReply::Kind::kNeverAnswers)
      return;
    if (!record_->async) {
      complete(reply);
      return;
    }
    const auto delay = std::chrono::milliseconds(reply.latency_ms);
    if (reply.kind == ScriptedReply::Kind::kAnswer || reply.kind == ScriptedReply::Kind::kReset) {
      pending_.push_back(owner_->loop.call_later(delay, [this] { change(kSent); }));
      pending_.push_back(owner_->loop.call_later(delay, [this] { change(kReceiving); }));
    }
    pending_.push_back(owner_->loop.call_later(delay, [this, reply] { complete(reply); }));
  }
  void abort() override {
    cancel_pending();
    record_->aborted = true;
    state_ = kUninitialized;
  }

  int ready_state() const override { return state_; }
  int status() const override { return status_; }
  Str response_text() const override { return text_; }

 private:
  void cancel_pending() {
    for (auto id : pending_)
      owner_->loop.cancel(id);
    pending_.clear();
  }
  void complete(const ScriptedReply& reply) {
    if (reply.kind == ScriptedReply::Kind::kAnswer) {
      status_ = reply.status;
      text_ = reply.body;
    } else {
      status_ = 0;
      text_.clear();
    }
    record_->completed = true;
    change(kComplete);
  }
  void change(int state) {
    state_ = state;
    ++owner_->callbacks;
    if (handler_) {
      auto handler = handler_;  // the handler may replace itself
      handler();
    }
  }

  std::shared_ptr<ScriptedHttp::Shared> owner_;
  std::shared_ptr<RecordedRequest> record_;
  std::function<void()> handler_;
  std::vector<EventLoop::TaskId> pending_;
  int state_ = kUninitialized;
  int status_ = 0;
  Str text_;
};

ScriptedHttp::ScriptedHttp(EventLoop& loop, Responder responder)
    : shared_(std::make_shared<Shared>(Shared{loop, std::move(responder), 0})) {}

std::unique_ptr<HttpRequest> ScriptedHttp::create() {
  if (unavailable_)
    throw HttpError("scripted request object unavailable");
  requests_.push_back(std::make_shared<RecordedRequest>());
  return std::make_unique<ScriptedRequest>(shared_, requests_.back());
}

std::size_t ScriptedHttp::sent_count() const {
  std::size_t n = 0;
  for (const auto& r : requests_)
    n += r->sent ? 1 : 0;
  return n;
}

}  // namespace brevant
