#pragma once
// Runs the real trans-server program on a free loopback port for a test.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace brevant::trans_server::testing {

class ServerProcess {
 public:
  // Starts the program with `args` and "--port 0" and waits until /health answers; a failure to
  // start is reported through GoogleTest and leaves port() at 0.
  explicit ServerProcess(std::vector<std::string> args = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  int pid() const { return pid_; }

  // Sends `signal` and waits for the exit; returns the exit status, or -1 when the program did
  // not exit normally within `within`.
  int stop(int signal, std::chrono::milliseconds within = std::chrono::seconds(5));

  // What the program has written to standard error so far.
  std::string log() const;

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string log_path_;
  int port_ = 0;
};

// Runs the program to its end; returns the exit status and what it wrote.
int run_to_exit(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace brevant::trans_server::testing
