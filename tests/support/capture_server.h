#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the Windows tests: it records each request as it
// arrives on the wire and answers as scripted. Windows only (Winsock); the test program starts
// Winsock.

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cctype>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace brevant::testing {

inline std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// One request as the server received it.
struct Received {
  std::string request_line;
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;

  std::vector<std::string> values(const std::string& name) const {
    std::vector<std::string> found;
    for (const auto& [key, value] : headers) {
      if (key == name)
        found.push_back(value);
    }
    return found;
  }
};

// A small HTTP/1.1 server on 127.0.0.1 (one thread per connection, bounded by the test). It
// answers after `delay_ms`; a `raw` reply is sent as it stands, and the connection is then held
// open for `hold_ms`.
class CaptureServer {
 public:
  CaptureServer(int status, int delay_ms, std::string raw = {}, int hold_ms = 0)
      : status_(status), delay_ms_(delay_ms), raw_(std::move(raw)), hold_ms_(hold_ms) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 8);
    int size = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
  }
  ~CaptureServer() {
    closesocket(listener_);
    acceptor_.join();
    for (auto& t : connections_)
      t.join();
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  Str base() const { return from_utf8(url()); }
  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void accept_loop() {
    for (;;) {
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET)
        return;
      connections_.emplace_back([this, client] { serve(client); });
    }
  }

  void serve(SOCKET client) {
    std::string data;
    char buffer[4096];
    std::size_t head_end = std::string::npos;
    std::size_t length = 0;
    for (;;) {
      if (head_end == std::string::npos) {
        head_end = data.find("\r\n\r\n");
        if (head_end != std::string::npos)
          length = content_length(data.substr(0, head_end));
      }
      if (head_end != std::string::npos && data.size() >= head_end + 4 + length)
        break;
      const int n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0)
        break;
      data.append(buffer, n);
    }
    if (head_end != std::string::npos) {
      Received r = parse(data.substr(0, head_end));
      r.body = data.substr(head_end + 4, length);
      const std::string answer =
          r.body.find("text=%E4%BD%A0%E5%A5%BD&") != std::string::npos ? "hello" : "ok";
      {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(r);
      }
      if (delay_ms_ > 0)
        Sleep(static_cast<DWORD>(delay_ms_));
      const std::string reply = !raw_.empty()
                                    ? raw_
                                    : "HTTP/1.1 " + std::to_string(status_) +
                                          " X\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                          "Content-Length: " +
                                          std::to_string(answer.size()) +
                                          "\r\nConnection: close\r\n\r\n" + answer;
      for (std::size_t sent = 0; sent < reply.size();) {
        const int n = send(client, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
        if (n <= 0)
          break;
        sent += static_cast<std::size_t>(n);
      }
      if (hold_ms_ > 0)
        Sleep(static_cast<DWORD>(hold_ms_));
    }
    shutdown(client, SD_SEND);
    closesocket(client);
  }

  static Received parse(const std::string& head) {
    Received r;
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
      std::size_t end = head.find("\r\n", start);
      if (end == std::string::npos)
        end = head.size();
      const std::string line = head.substr(start, end - start);
      if (first) {
        r.request_line = line;
        first = false;
      } else if (const auto colon = line.find(':'); colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
          value.erase(0, 1);
        r.headers.emplace_back(lower(line.substr(0, colon)), value);
      }
      start = end + 2;
    }
    return r;
  }

  static std::size_t content_length(const std::string& head) {
    for (const auto& [name, value] : parse(head).headers) {
      if (name == "content-length")
        return static_cast<std::size_t>(std::stoul(value));
    }
    return 0;
  }

  int status_;
  int delay_ms_;
  std::string raw_;
  int hold_ms_;
  SOCKET listener_;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // only the acceptor thread adds to it
  std::mutex mutex_;
  std::vector<Received> received_;
};

}  // namespace brevant::testing
