#pragma once
// Scripted HTTP for tests and benchmarks: every request is recorded as the server would see it,
// and answered on the event loop's clock by a responder that decides latency, status and body,
// or a failure (refused, reset, never answers).

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/event_loop.h"
#include "platform/http_request.h"

namespace brevant {

struct ScriptedReply {
  enum class Kind { kAnswer, kRefused, kReset, kNeverAnswers };
  Kind kind = Kind::kAnswer;
  int latency_ms = 0;
  int status = 200;
  Str body;

  static ScriptedReply answer(Str body, int latency_ms = 0, int status = 200) {
    return {Kind::kAnswer, latency_ms, status, std::move(body)};
  }
  static ScriptedReply refused(int latency_ms = 0) { return {Kind::kRefused, latency_ms, 0, {}}; }
  static ScriptedReply reset(int latency_ms = 0) { return {Kind::kReset, latency_ms, 0, {}}; }
  static ScriptedReply never() { return {Kind::kNeverAnswers, 0, 0, {}}; }
};

// One request as it reached the (scripted) server.
struct RecordedRequest {
  Str method;
  Str url;
  bool async = false;
  std::vector<std::pair<Str, Str>> headers;  // in the order set
  Str body;
  bool sent = false;
  bool aborted = false;
  bool released = false;  // the request object was destroyed
  bool completed = false;

  // The value of the first header of that name (exact spelling), empty when missing.
  Str header(StrView name) const;
};

class ScriptedHttp : public HttpRequestFactory {
 public:
  using Responder = std::function<ScriptedReply(const RecordedRequest&)>;

  // Without a responder every request is answered at once with status 200 and an empty body.
  explicit ScriptedHttp(EventLoop& loop, Responder responder = {});

  void respond_with(Responder responder) { shared_->responder = std::move(responder); }
  // While set, create() fails as when the request object cannot be created.
  void set_unavailable(bool unavailable) { unavailable_ = unavailable; }

  std::unique_ptr<HttpRequest> create() override;

  // Every request created so far, oldest first.
  const std::vector<std::shared_ptr<RecordedRequest>>& requests() const { return requests_; }
  std::size_t sent_count() const;
  // Ready-state callbacks delivered so far, over all requests.
  std::size_t callbacks() const { return shared_->callbacks; }
  // Drops the records of past requests (long benchmark runs); live requests keep theirs.
  void forget_requests() { requests_.clear(); }

 private:
  // Shared with the requests, which may outlive the factory (released later on the loop).
  struct Shared {
    EventLoop& loop;
    Responder responder;
    std::size_t callbacks = 0;
  };
  friend class ScriptedRequest;
  std::shared_ptr<Shared> shared_;
  bool unavailable_ = false;
  std::vector<std::shared_ptr<RecordedRequest>> requests_;
};

}  // namespace brevant
