#pragma once
// The bundled translation server as a child process on loopback: started on a free port (or a
// given one), stopped and started again on the same port.

#include <string>

typedef struct _GSubprocess GSubprocess;

namespace brevant::messenger {

class ServerProcess {
 public:
  explicit ServerProcess(std::string program) : program_(std::move(program)) {}
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts the server on 127.0.0.1:`port` (0: a free port, then kept for restarts) and waits
  // until it listens. False, with `error` set, when it could not.
  // `answer_delay_ms`: the server answers every translation that much later (a slow service).
  bool start(int port, std::string& error, int answer_delay_ms = 0);
  // Starts it again on the port it had.
  bool restart(std::string& error, int answer_delay_ms = 0) {
    return start(port_, error, answer_delay_ms);
  }
  void stop();
  bool running() const { return child_ != nullptr; }
  int port() const { return port_; }
  // The child's process ID, 0 when it is not running.
  int pid() const;
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  std::string program_;
  GSubprocess* child_ = nullptr;
  int port_ = 0;
};

}  // namespace brevant::messenger
