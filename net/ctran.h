#pragma once
// The completion sink of one request: the request object calls `doSome` at every ready-state
// change, and the sink raises `TisOK` with the reply once the request is complete.

#include <functional>

#include "platform/http_request.h"
#include "platform/text.h"

namespace brevant {

class KQNet;

class Ctran {
 public:
  // Binds the sink to its control and to the one request it watches.
  void doit(KQNet& cc, HttpRequest& request) {
    cc_ = &cc;
    request_ = &request;
  }
  // Called at every ready-state change of its request.
  void doSome();

  // Raised at most once, with the reply of a completed request with a 2xx status.
  std::function<void(const Str& txt)> TisOK;

 private:
  KQNet* cc_ = nullptr;
  HttpRequest* request_ = nullptr;
  bool finished_ = false;
};

}  // namespace brevant
