#pragma once
// HTTP requests through the system's MSXML2.XMLHTTP object, asynchronous, with a small
// IDispatch object as its onreadystatechange handler: the request object invokes the handler's
// default method at every ready-state change, through the thread's message loop.

#include <memory>

#include "platform/http_request.h"

namespace brevant {

class MsxmlHttpRequestFactory : public HttpRequestFactory {
 public:
  MsxmlHttpRequestFactory();
  ~MsxmlHttpRequestFactory() override;
  MsxmlHttpRequestFactory(const MsxmlHttpRequestFactory&) = delete;
  MsxmlHttpRequestFactory& operator=(const MsxmlHttpRequestFactory&) = delete;

  std::unique_ptr<HttpRequest> create() override;

 private:
  bool uninitialize_ = false;
};

}  // namespace brevant
