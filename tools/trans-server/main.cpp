// trans-server: the bundled translation server for the chat plug-in.

#include <httplib.h>

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
#endif

namespace {

using brevant::trans_server::Backend;
using brevant::trans_server::ServerOptions;

std::atomic<bool> g_finished{false};

// Asks the server to stop until its listening loop has really ended: a stop that comes before
// the loop has started would otherwise be lost.
void stop_until_finished(httplib::Server& server) {
  while (!g_finished.load()) {
    server.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

#ifdef _WIN32
httplib::Server* g_server = nullptr;
std::atomic<int> g_handlers_running{0};

// Runs on a thread of its own that the console starts for each event.
BOOL WINAPI on_console_event(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
      event == CTRL_SHUTDOWN_EVENT) {
    // Counted before looking at the server, so that main waits for this thread before the
    // server goes away.
    ++g_handlers_running;
    if (g_server != nullptr)
      stop_until_finished(*g_server);
    --g_handlers_running;
    return TRUE;
  }
  return FALSE;
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
    backend = brevant::trans_server::make_libretranslate_backend(
        {options.upstream, options.api_key, std::chrono::seconds(options.upstream_timeout_seconds)},
        error);
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
#endif

  httplib::Server server;
  brevant::trans_server::configure_server(server, *backend, options);

  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port(options.bind);
    if (port <= 0)
      port = -1;
  } else if (!server.bind_to_port(options.bind, port)) {
    port = -1;
  }
  if (port < 0) {
    std::fprintf(stderr, "trans-server: cannot listen on %s port %d\n", options.bind.c_str(),
                 options.port);
    return 1;
  }

#ifdef _WIN32
  g_server = &server;
  SetConsoleCtrlHandler(on_console_event, TRUE);
#else
  std::thread watcher([&] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    stop_until_finished(server);
  });
#endif

  std::printf("trans-server listening on http://%s:%d/ (backend %s)\n", options.bind.c_str(), port,
              options.backend.c_str());
  std::fflush(stdout);

  const bool ok = server.listen_after_bind();
  g_finished = true;

#ifdef _WIN32
  while (g_handlers_running.load() > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
#else
  // Wakes the watcher if no signal came.
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
#endif
  std::fputs("trans-server stopped\n", stderr);
  return ok ? 0 : 1;
}
