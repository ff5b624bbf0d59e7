#pragma once
// The fetch control: posts one translation request to the translation server and reports the
// answer record as `TisOK`. A translator owns one per engine.

#include <chrono>
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

 private:
  void on_timeout();

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
};

}  // namespace brevant
