#include "tools/messenger-sim/server_process.h"

#include <gio/gio.h>
#include <signal.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <string>

namespace brevant::messenger {

ServerProcess::~ServerProcess() {
  stop();
}

bool ServerProcess::start(int port, std::string& error, int answer_delay_ms) {
  stop();
  const std::string port_text = std::to_string(port);
  const std::string delay_text = std::to_string(answer_delay_ms);
  const char* argv[] = {program_.c_str(), "--bind",           "127.0.0.1",
                        "--port",         port_text.c_str(),  "--quiet",
                        "--answer-delay", delay_text.c_str(), nullptr};
  GError* e = nullptr;
  GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE);
  // The server goes with the messenger, however the messenger ends.
  g_subprocess_launcher_set_child_setup(
      launcher, [](gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); }, nullptr, nullptr);
  child_ = g_subprocess_launcher_spawnv(launcher, argv, &e);
  g_object_unref(launcher);
  if (!child_) {
    error = e ? e->message : "cannot start the translation server";
    g_clear_error(&e);
    return false;
  }
  // It prints one line once it listens: "trans-server listening on http://127.0.0.1:N/ ...".
  GDataInputStream* out = g_data_input_stream_new(g_subprocess_get_stdout_pipe(child_));
  g_filter_input_stream_set_close_base_stream(G_FILTER_INPUT_STREAM(out), FALSE);
  gchar* line = g_data_input_stream_read_line_utf8(out, nullptr, nullptr, nullptr);
  g_object_unref(out);
  const std::string first = line ? line : "";
  g_free(line);
  const auto at = first.find("127.0.0.1:");
  if (at == std::string::npos) {
    error = "the translation server did not start (" + program_ + ")";
    stop();
    return false;
  }
  port_ = std::atoi(first.c_str() + at + 10);
  return port_ > 0;
}

int ServerProcess::pid() const {
  const char* id = child_ ? g_subprocess_get_identifier(child_) : nullptr;
  return id ? std::atoi(id) : 0;
}

void ServerProcess::stop() {
  if (!child_)
    return;
  g_subprocess_send_signal(child_, SIGTERM);
  g_subprocess_wait(child_, nullptr, nullptr);
  g_object_unref(child_);
  child_ = nullptr;
}

}  // namespace brevant::messenger
