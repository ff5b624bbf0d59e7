// The Linux port at rest: 20 companion windows with their pages loaded, docked beside 20 GTK
// stand-in chat windows, nothing moving, for 10 s (or --seconds N). Reports the CPU time of
// this process (getrusage) and of the web content processes it started, as a share of one
// core. Goal: under 1 % for the process. Needs an X display: run under xvfb-run -a.

#include <dirent.h>
#include <gtk/gtk.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/process_usage.h"
#include "chatwin/frm_chat.h"
#include "platform/linux/gtk_desktop.h"
#include "plugin/module.h"

namespace {

using namespace brevant;
namespace fs = std::filesystem;

constexpr int kCompanions = 20;
constexpr double kGoalPercent = 1.0;

// CPU seconds of this process's main thread (the user-interface thread the plug-in runs on).
double main_thread_cpu_seconds() {
  std::ifstream in("/proc/self/task/" + std::to_string(getpid()) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const auto close = stat.rfind(')');
  unsigned long long skip = 0, utime = 0, stime = 0;
  char state = 0;
  if (close == std::string::npos ||
      std::sscanf(stat.c_str() + close + 2,
                  "%c %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &state, &skip,
                  &skip, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &utime,
                  &stime) != 13)
    return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool pump_until(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done() && std::chrono::steady_clock::now() < end)
    g_main_context_iteration(nullptr, TRUE);
  return done();
}

// Main-loop iterations of the last pump_for (each one a wake-up of the thread, or nearly).
long iterations = 0;

void pump_for(int ms) {
  iterations = 0;
  bool over = false;
  g_timeout_add(
      static_cast<guint>(ms),
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &over);
  while (!over) {
    g_main_context_iteration(nullptr, TRUE);
    ++iterations;
  }
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10;
  // --without-placement: the placement timers stopped, for the share of GTK and WebKit alone.
  bool placement = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--without-placement") == 0)
      placement = false;
  }
  GtkDesktop::use_x11();
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "no X display: run under xvfb-run -a\n");
    return 2;
  }

  char name[] = "/tmp/brevant-idle-XXXXXX";
  const fs::path folder = mkdtemp(name);
  for (const char* page : {"IO11", "IOEN", "common"})
    fs::create_directory_symlink(fs::path(BREVANT_PAGE_DIR) / page, folder / page);
  std::ofstream(folder / "configUIN.ini") << "[config]\r\nlan=cn\r\n";

  int status = 0;
  {
    auto module = std::make_unique<Module>(make_platform_services(from_utf8(folder.string())));
    auto& desktop = dynamic_cast<GtkDesktop&>(module->desktop());
    std::vector<GtkWidget*> hosts;
    for (int i = 0; i < kCompanions; ++i) {
      GtkWidget* host = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      GtkWidget* send = gtk_button_new_with_label("发送");
      gtk_container_add(GTK_CONTAINER(host), send);
      gtk_window_move(GTK_WINDOW(host), 20 * i, 15 * i);
      gtk_window_resize(GTK_WINDOW(host), 500, 400);
      gtk_widget_show_all(host);
      const std::string title = "contact" + std::to_string(i) + " - me";
      const Hwnd frame = desktop.register_widget(host, kHostFrameClass, from_utf8(title));
      desktop.register_widget(send, kHostButtonClass, kSendChinese, frame);
      hosts.push_back(host);

      frmChat& w =
          *module->companions().at(module->companions().add(std::make_unique<frmChat>(*module)));
      w.HostTopWnd = w.HostWnd = frame;
      w.ContactId = from_utf8("cnquorincontact" + std::to_string(i));
      desktop.ShowWindow(w.hwnd(), kSwShowNoActivate);
      w.frminit();
      w.opener();
    }
    const bool ready = pump_until(
        [&] {
          for (std::int32_t i = 1; i <= module->companions().count(); ++i) {
            if (!module->ChatWin(i)->ShowOn)
              return false;
          }
          return true;
        },
        120000);
    if (!ready) {
      std::fprintf(stderr, "not every page reported WebOk\n");
      status = 1;
    } else {
      pump_for(2000);  // the pages settle, the companions dock
      if (!placement) {
        for (std::int32_t i = 1; i <= module->companions().count(); ++i)
          module->ChatWin(i)->TimerPos.set_enabled(false);
      }
      std::fprintf(stderr, "measuring for %.0f s\n", seconds);
      const double own0 = bench::own_cpu_seconds(), web0 = bench::descendants_usage().cpu_seconds;
      const double main0 = main_thread_cpu_seconds();
      const auto t0 = std::chrono::steady_clock::now();
      pump_for(static_cast<int>(seconds * 1000));
      const double wall =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const double own = (bench::own_cpu_seconds() - own0) / wall * 100;
      const double web = (bench::descendants_usage().cpu_seconds - web0) / wall * 100;
      const double ui = (main_thread_cpu_seconds() - main0) / wall * 100;
      std::printf(
          "%d idle companions%s for %.1f s: this process %.2f %% of one core (goal < %.0f %%: %s; "
          "its user-interface thread %.2f %%, %.0f wake-ups a second), its web processes %.2f %%\n",
          kCompanions, placement ? "" : " (placement timers stopped)", wall, own, kGoalPercent,
          own < kGoalPercent ? "met" : "missed", ui, iterations / wall, web);
    }
    module.reset();
    for (GtkWidget* host : hosts)
      gtk_widget_destroy(host);
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return status;
}
