#pragma once
// The plug-in's HTTP requests, counted on their way: how many are in flight and when the last
// one started or ended, so that a script can wait until the conversation has settled.

#include <glib.h>

#include <functional>
#include <memory>
#include <utility>

#include "platform/http_request.h"

namespace brevant::messenger {

struct HttpActivity {
  int in_flight = 0;
  std::int64_t last_change_us = 0;
  int sent = 0;
  // Told of every request sent (true) and ended (false), for measurements.
  std::function<void(bool sent)> observer;
  void touch() { last_change_us = g_get_monotonic_time(); }
  // No request in flight, and none started or ended for `quiet_ms`.
  bool quiet(int quiet_ms) const {
    return in_flight == 0 && g_get_monotonic_time() - last_change_us >= quiet_ms * 1000LL;
  }
};

class CountingHttpFactory final : public HttpRequestFactory {
 public:
  CountingHttpFactory(std::unique_ptr<HttpRequestFactory> inner, HttpActivity& activity)
      : inner_(std::move(inner)), activity_(activity) {}
  std::unique_ptr<HttpRequest> create() override {
    return std::make_unique<Request>(inner_->create(), activity_);
  }

 private:
  class Request final : public HttpRequest {
   public:
    Request(std::unique_ptr<HttpRequest> inner, HttpActivity& a) : inner_(std::move(inner)), a_(a) {
      inner_->set_on_ready_state_change([this] {
        if (inner_->ready_state() == kComplete)
          end();
        if (handler_)
          handler_();
      });
    }
    ~Request() override { end(); }
    void open(StrView m, StrView u, bool async) override { inner_->open(m, u, async); }
    void set_request_header(StrView n, StrView v) override { inner_->set_request_header(n, v); }
    void set_on_ready_state_change(std::function<void()> h) override { handler_ = std::move(h); }
    void send(StrView body) override {
      end();
      flying_ = true;
      ++a_.in_flight;
      ++a_.sent;
      a_.touch();
      if (a_.observer)
        a_.observer(true);
      try {
        inner_->send(body);
      } catch (...) {
        end();
        throw;
      }
    }
    void abort() override {
      end();
      inner_->abort();
    }
    int ready_state() const override { return inner_->ready_state(); }
    int status() const override { return inner_->status(); }
    Str response_text() const override { return inner_->response_text(); }

   private:
    void end() {
      if (!flying_)
        return;
      flying_ = false;
      --a_.in_flight;
      a_.touch();
      if (a_.observer)
        a_.observer(false);
    }
    std::unique_ptr<HttpRequest> inner_;
    HttpActivity& a_;
    std::function<void()> handler_;
    bool flying_ = false;
  };

  std::unique_ptr<HttpRequestFactory> inner_;
  HttpActivity& activity_;
};

}  // namespace brevant::messenger
