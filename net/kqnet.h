#pragma once
// The fetch control: posts one translation request to the translation server and reports the
// answer record as `TisOK`. A translator owns one per engine.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/ctran.h"
#include "net/server_address.h"
#include "platform/event_loop.h"
#include "platform/http_request.h"
#include "platform/text.h"

namespace brevant {

class KQNet {
 public:
  // A request that has produced no complete answer by then is given up, without an event.
  static constexpr int kRequestTimeoutMs = 30000;

  KQNet(EventLoop& loop, HttpRequestFactory& http, ServerAddress server);
  ~KQNet();
  KQNet(const KQNet&) = delete;
  KQNet& operator=(const KQNet&) = delete;

  // Starts one request for engine `tranE` ("hj" or "yahoo"; any other name sends nothing).
  // The previous request, if any, is given up: its reply is never reported. Failures end the
  // call silently.
  void tranit(const Str& Text, const Str& lang, const Str& tranE, const Str& fromwho);
  // Builds and sends the POST for an already prepared text and a mapped code. Throws on failure.
  void sendXML(StrView txt, StrView lan, StrView tranEs);
  // Gives up the current request: no event will come from it.
  void abandon();

  // The request object of the latest request still watched (nullptr when none).
  HttpRequest* xmlhttp() const { return xmlhttp_.get(); }
  bool is_current(const Ctran* sink) const { return sink != nullptr && sink == d_.get(); }
  // Handler of the sink's event: builds the answer record and raises TisOK.
  void d_TisOK(const Str& txt);

  // While set, a reply is dropped without an event. Cleared by every tranit.
  bool stopped = false;
  // (answer record, unmapped language code, requester)
  std::function<void(const Str& record, const Str& tranlan, const Str& Who)> TisOK;
  // Raised once, after the call that caused it has returned, when the current request ends
  // without an answer record: it could not be started, the server answered with an error or
  // the connection broke, or it timed out. A request given up by tranit or abandon raises
  // nothing.
  std::function<void()> Ended;
  // Called by the sink when its request completed without a usable answer.
  void d_Failed();

 private:
  void on_timeout();
  void end_later();

  EventLoop& loop_;
  HttpRequestFactory& http_;
  ServerAddress server_;
  std::unique_ptr<HttpRequest> xmlhttp_;
  std::shared_ptr<Ctran> d_;
  Str text_;
  Str lang_;
  Str engine_;
  Str requester_;
  Timer timeout_;
  // Counts requests started and given up, so that a late report of an old one is dropped.
  // Shared with the posted reports, which the control may not outlive.
  std::shared_ptr<std::uint64_t> generation_ = std::make_shared<std::uint64_t>(0);
};

}  // namespace brevant
