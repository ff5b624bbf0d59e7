#include "net/kqnet.h"

#include <string>
#include <utility>

#include "net/engine_contract.h"
#include "platform/failure.h"

namespace brevant {

KQNet::KQNet(EventLoop& loop, HttpRequestFactory& http, ServerAddress server)
    : loop_(loop), http_(http), server_(std::move(server)), timeout_(loop, kRequestTimeoutMs) {
  timeout_.on_tick([this] { on_timeout(); });
}

KQNet::~KQNet() {
  abandon();
  generation_.reset();
}

void KQNet::tranit(const Str& Text, const Str& lang, const Str& tranE, const Str& fromwho) {
  abandon();
  stopped = false;
  requester_ = fromwho;
  text_ = Text;
  lang_ = lang;
  engine_ = tranE;
  if (tranE != u"yahoo" && tranE != u"hj")
    return;
  if (!skip_failure("engine request",
                    [&] { sendXML(prepare_engine_text(Text), server_code(lang), tranE); })) {
    abandon();
    end_later();
  }
}

void KQNet::sendXML(StrView txt, StrView lan, StrView tranEs) {
  (void)tranEs;  // both engines post the same request to the same server
  const Str configured = server_ ? server_() : Str();
  const auto url = translation_url(configured);
  if (!url)
    throw HttpError("the server setting is not an http or https URL");
  const Str body = request_body(txt, lan);

  auto request = http_.create();
  request->open(u"post", *url, true);
  request->set_request_header(u"content-length", from_utf8(std::to_string(body.size())));
  request->set_request_header(u"content-type", kFormContentType);

  auto sink = std::make_shared<Ctran>();
  sink->doit(*this, *request);
  sink->TisOK = [this](const Str& answer) { d_TisOK(answer); };
  request->set_on_ready_state_change([sink] { sink->doSome(); });

  abandon();
  xmlhttp_ = std::move(request);
  d_ = std::move(sink);
  timeout_.set_enabled(false);
  timeout_.set_enabled(true);
  xmlhttp_->send(body);
}

void KQNet::abandon() {
  ++*generation_;
  timeout_.set_enabled(false);
  if (!xmlhttp_ && !d_)
    return;
  std::shared_ptr<HttpRequest> request(std::move(xmlhttp_));
  std::shared_ptr<Ctran> sink(std::move(d_));
  if (request) {
    // Giving up cannot fail visibly; the object is released below all the same.
    skip_failure("abandon request", [&] {
      request->set_on_ready_state_change(nullptr);
      if (request->ready_state() != HttpRequest::kComplete)
        request->abort();
    });
  }
  // This may run inside the request's own callback: release it after the call returns.
  loop_.post([request, sink] {});
}

void KQNet::on_timeout() {
  timeout_.set_enabled(false);
  if (xmlhttp_ && xmlhttp_->ready_state() != HttpRequest::kComplete) {
    abandon();
    end_later();
  }
}

void KQNet::d_Failed() {
  timeout_.set_enabled(false);
  end_later();
}

void KQNet::end_later() {
  loop_.post([this, weak = std::weak_ptr<std::uint64_t>(generation_), at = *generation_] {
    const auto generation = weak.lock();
    if (!generation || *generation != at || !Ended)
      return;
    auto handler = Ended;
    handler();
  });
}

void KQNet::d_TisOK(const Str& txt) {
  timeout_.set_enabled(false);
  Str record;
  if (!skip_failure("answer record", [&] { record = answer_record(lang_, text_, txt); })) {
    end_later();  // the record could not be built
    return;
  }
  if (TisOK) {
    const Str tranlan = lang_;
    const Str who = requester_;
    auto handler = TisOK;
    handler(record, tranlan, who);
  }
}

}  // namespace brevant
