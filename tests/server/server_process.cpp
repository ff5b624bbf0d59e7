#include "tests/server/server_process.h"

#include "tests/server/http_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace brevant::trans_server::testing {

namespace {

std::string temp_file() {
  char path[] = "/tmp/trans-server-test-XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0)
    close(fd);
  return path;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Spawns the program with standard output to `out_fd` and standard error to `err_path`.
pid_t spawn(const std::vector<std::string>& args, int out_fd, const std::string& err_path) {
  std::vector<std::string> all{TRANS_SERVER_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Waits up to `within` for the child to exit; its exit status, or -1.
int wait_exit(pid_t pid, std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (true) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0 || std::chrono::steady_clock::now() > deadline)
      return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

ServerProcess::ServerProcess(std::vector<std::string> args) : log_path_(temp_file()) {
  int fds[2];
  if (pipe(fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  args.push_back("--port");
  args.push_back("0");
  pid_ = spawn(args, fds[1], log_path_);
  close(fds[1]);
  stdout_fd_ = fds[0];
  if (pid_ < 0) {
    ADD_FAILURE() << "cannot start " << TRANS_SERVER_PATH;
    return;
  }

  // The first line names the port: "trans-server listening on http://127.0.0.1:PORT/ ...".
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{stdout_fd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0)
      continue;
    char buf[256];
    const ssize_t n = read(stdout_fd_, buf, sizeof buf);
    if (n <= 0)
      break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  const std::size_t at = line.find("127.0.0.1:");
  if (at == std::string::npos) {
    ADD_FAILURE() << "no listening line; stdout: " << line << " stderr: " << log();
    return;
  }
  const int port = std::atoi(line.c_str() + at + 10);

  HttpClient client(port, std::chrono::seconds(1));
  for (int i = 0; i < 100; ++i) {
    if (auto res = client.get("/health"); res && res->status == 200) {
      port_ = port;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ADD_FAILURE() << "/health never answered";
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (stdout_fd_ >= 0)
    close(stdout_fd_);
  unlink(log_path_.c_str());
}

int ServerProcess::stop(int signal, std::chrono::milliseconds within) {
  if (pid_ <= 0)
    return -1;
  kill(pid_, signal);
  const int status = wait_exit(pid_, within);
  if (status == -2)
    return -1;
  pid_ = -1;
  return status;
}

std::string ServerProcess::log() const {
  return read_file(log_path_);
}

int run_to_exit(const std::vector<std::string>& args, std::string& out, std::string& err) {
  const std::string out_path = temp_file();
  const std::string err_path = temp_file();
  const int out_fd = open(out_path.c_str(), O_WRONLY | O_TRUNC);
  const pid_t pid = spawn(args, out_fd, err_path);
  close(out_fd);
  int status = pid > 0 ? wait_exit(pid, std::chrono::seconds(10)) : -1;
  if (status == -2) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    status = -1;
  }
  out = read_file(out_path);
  err = read_file(err_path);
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  return status;
}

}  // namespace brevant::trans_server::testing
