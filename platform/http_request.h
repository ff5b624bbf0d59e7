#pragma once
// One HTTP request, shaped after the XML HTTP request object the plug-in uses on Windows: open,
// set headers, send a text body, then watch the ready state through a callback.

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/text.h"

namespace brevant {

// Thrown by open/set_request_header/send when the request cannot be started.
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A translation is a chat message: a reply body larger than this is no answer. Such a request
// completes as a failed one (status 0, no text), without the body being taken in whole.
inline constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

class HttpRequest {
 public:
  // Ready states as the request object reports them.
  static constexpr int kUninitialized = 0;
  static constexpr int kOpened = 1;
  static constexpr int kSent = 2;  // headers of the answer received
  static constexpr int kReceiving = 3;
  static constexpr int kComplete = 4;

  virtual ~HttpRequest() = default;

  virtual void open(StrView method, StrView url, bool async) = 0;
  virtual void set_request_header(StrView name, StrView value) = 0;
  // Called on the loop's thread at every ready-state change. Destroying the request from inside
  // the callback is not allowed; set a new callback or none at any time.
  virtual void set_on_ready_state_change(std::function<void()> handler) = 0;
  // Returns at once for an asynchronous request; the answer arrives through the callback.
  virtual void send(StrView body) = 0;
  // Gives up: no further callbacks.
  virtual void abort() = 0;

  virtual int ready_state() const = 0;
  // The HTTP status of a complete answer; 0 when there is none (refused, reset, aborted).
  virtual int status() const = 0;
  // The answer body decoded as text; empty when there is none.
  virtual Str response_text() const = 0;
};

// Makes the platform's request objects (one per request, as the plug-in creates them).
class HttpRequestFactory {
 public:
  virtual ~HttpRequestFactory() = default;
  virtual std::unique_ptr<HttpRequest> create() = 0;
};

}  // namespace brevant
