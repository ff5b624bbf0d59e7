// trans-server: the bundled translation server for the chat plug-in.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/server.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

using brevant::trans_server::Backend;
using brevant::trans_server::HttpServer;
using brevant::trans_server::ServerOptions;

#ifdef _WIN32
std::atomic<HttpServer*> g_server{nullptr};
std::atomic<int> g_handlers_running{0};

// Runs on a thread of its own that the console starts for each event.
BOOL WINAPI on_console_event(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
      event == CTRL_SHUTDOWN_EVENT) {
    // Counted before looking at the server, so that main waits for this thread before the
    // server goes away.
    ++g_handlers_running;
    if (HttpServer* server = g_server.load())
      server->stop();
    --g_handlers_running;
    return TRUE;
  }
  return FALSE;
}
#else
// Each connection is a descriptor: allow as many as the connection limit needs.
void raise_descriptor_limit(int connections) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return;
  const rlim_t wanted = static_cast<rlim_t>(connections) + 256;
  if (limit.rlim_cur >= wanted)
    return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
  setrlimit(RLIMIT_NOFILE, &limit);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  std::string message;
  int exit_code = 0;
  if (!brevant::trans_server::parse_command_line(std::vector<std::string>(argv + 1, argv + argc),
                                                 options, message, exit_code)) {
    std::fputs(message.c_str(), exit_code == 0 ? stdout : stderr);
    return exit_code;
  }

  std::unique_ptr<Backend> backend;
  if (options.backend == "libretranslate") {
    std::string error;
    brevant::trans_server::UpstreamConfig upstream;
    upstream.url = options.upstream;
    upstream.api_key = options.api_key;
    upstream.timeout = std::chrono::seconds(options.upstream_timeout_seconds);
    backend = brevant::trans_server::make_libretranslate_backend(upstream, error);
    if (!backend) {
      std::fprintf(stderr, "trans-server: %s\n", error.c_str());
      return 2;
    }
  } else {
    backend = std::make_unique<brevant::trans_server::PhrasebookBackend>();
  }

#ifndef _WIN32
  // SIGINT and SIGTERM are taken by one watcher thread; every thread inherits the mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  raise_descriptor_limit(options.max_connections);
#endif

  HttpServer server(*backend, options);
  std::string error;
  if (!server.listen(error)) {
    std::fprintf(stderr, "trans-server: %s\n", error.c_str());
    return 1;
  }

#ifdef _WIN32
  g_server = &server;
  SetConsoleCtrlHandler(on_console_event, TRUE);
#else
  std::atomic<bool> finished{false};
  std::thread watcher([&] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    if (!finished.load())
      server.stop();
  });
#endif

  std::printf("trans-server listening on http://%s:%d/ (backend %s)\n", options.bind.c_str(),
              server.port(), options.backend.c_str());
  std::fflush(stdout);

  server.run();

#ifdef _WIN32
  g_server = nullptr;
  while (g_handlers_running.load() > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
#else
  // Wakes the watcher if no signal came.
  finished = true;
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
#endif
  std::fputs("trans-server stopped\n", stderr);
  return 0;
}
