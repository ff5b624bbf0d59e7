#pragma once
// HTTP requests through libsoup 3 on the GLib main loop (HTTPS through glib-networking).

#include <memory>

#include "platform/http_request.h"

typedef struct _SoupSession SoupSession;

namespace brevant {

class SoupHttpRequestFactory : public HttpRequestFactory {
 public:
  SoupHttpRequestFactory();
  ~SoupHttpRequestFactory() override;
  SoupHttpRequestFactory(const SoupHttpRequestFactory&) = delete;
  SoupHttpRequestFactory& operator=(const SoupHttpRequestFactory&) = delete;

  std::unique_ptr<HttpRequest> create() override;

 private:
  SoupSession* session_;
};

}  // namespace brevant
