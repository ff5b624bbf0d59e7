// The stand-in messenger measured, with the bundled server on loopback. Needs an X display
// (run under xvfb-run -a).
//   latency: a contact's message until its translation is on the page, split into the
//            plug-in's share and the HTTP round trip to the server. Goal: plug-in share <= 5 ms.
//   idle:    20 open chats with their companions, idle; CPU time as a share of one core (goal
//            under 1 % for the messenger) and resident memory, the messenger's and its web
//            processes'.
//   placement: the chat window moved and activated over and over, its companion following
//            each time; the messenger's memory after 100 placement changes and after N
//            (goal: within 1 MiB, as nothing is kept per change).
// brevant_messenger_sim [latency|idle|placement] [--messages N] [--seconds S] [--placements N]

#include <dirent.h>
#include <gtk/gtk.h>
#include <sys/resource.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/process_usage.h"
#include "chatwin/frm_chat.h"
#include "platform/linux/gtk_desktop.h"
#include "platform/linux/webkit_browser.h"
#include "platform/services.h"
#include "plugin/module.h"
#include "tools/messenger-sim/activity.h"
#include "tools/messenger-sim/messenger.h"
#include "tools/messenger-sim/plugin_folder.h"
#include "tools/messenger-sim/server_process.h"

namespace {

using namespace brevant;
using namespace brevant::messenger;
namespace fs = std::filesystem;

std::int64_t now_us() {
  return g_get_monotonic_time();
}

bool pump_until(const std::function<bool()>& done, int ms) {
  const std::int64_t end = now_us() + ms * 1000LL;
  while (!done() && now_us() < end) {
    if (!g_main_context_iteration(nullptr, FALSE))
      g_usleep(200);
  }
  return done();
}

void pump_for(int ms) {
  bool over = false;
  g_timeout_add(
      static_cast<guint>(ms),
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &over);
  while (!over)
    g_main_context_iteration(nullptr, TRUE);
}

double percentile(std::vector<double> v, double q) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

// The messenger with its plug-in, the bundled server and a fresh plug-in folder.
struct Setup {
  fs::path folder;
  HttpActivity activity;
  ServerProcess server{BREVANT_TRANS_SERVER};
  std::unique_ptr<Module> module;
  std::unique_ptr<Messenger> messenger;

  bool start() {
    char name[] = "/tmp/brevant-bench-XXXXXX";
    folder = mkdtemp(name);
    std::string error;
    if (!server.start(0, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    prepare_plugin_folder(folder, BREVANT_PAGE_DIR, u"cnquorinxiaoming", server.url());
    Services services = make_platform_services(from_utf8(folder.string()));
    services.http = std::make_unique<CountingHttpFactory>(std::move(services.http), activity);
    module = std::make_unique<Module>(std::move(services));
    messenger = std::make_unique<Messenger>(*module, MessengerOptions{});
    messenger->sign_in();
    return true;
  }
  // Opens `contact`, switches its translation on and waits until its companion is docked.
  frmChat* open(const Str& contact, const Rect& where) {
    ChatTab& tab = messenger->open_chat(contact, where);
    tab.click_item();
    frmChat* w = tab.companion();
    if (!w || !pump_until([&] { return w->ShowOn; }, 60000))
      return nullptr;
    return w;
  }
  ~Setup() {
    messenger.reset();
    module.reset();
    server.stop();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

int latency(int messages) {
  Setup s;
  if (!s.start())
    return 1;
  frmChat* w = s.open(u"cnquorinemma", Rect{20, 40, 440, 560});
  if (!w) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  // The page tells when a message line appears, with the time on its own clock (wall-clock
  // milliseconds), through a fragment navigation without a command (the companion ignores it),
  // seen here before the companion. The page's time is what counts: the way back to this
  // process is the measurement's own cost.
  std::int64_t shown_at = 0, seen_at = 0;
  w->form()->browser().on_before_navigate([&, w](const Str& url) {
    if (const auto at = url.find(u"#shown"); at != Str::npos) {
      seen_at = now_us();
      const double page_ms = std::strtod(to_utf8(url.substr(at + 6)).c_str(), nullptr);
      // Wall clock to the monotonic clock of the other stamps.
      shown_at = static_cast<std::int64_t>(page_ms * 1000.0) -
                 (g_get_real_time() - g_get_monotonic_time());
    }
    w->ChatBrowser_BeforeNavigate2(url);
  });
  auto* view = dynamic_cast<WebKitBrowser&>(w->form()->browser()).view();
  const char observe[] =
      "new MutationObserver(function () { location.replace(location.pathname + '#shown' + "
      "(performance.timeOrigin + performance.now()).toFixed(3)); })"
      ".observe(document.getElementById('messages'), { childList: true });";
  webkit_web_view_evaluate_javascript(view, observe, -1, nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
  pump_for(500);

  std::int64_t sent_at = 0, ended_at = 0;
  s.activity.observer = [&](bool sent) {
    if (sent && sent_at == 0)
      sent_at = now_us();
    if (!sent && ended_at == 0)
      ended_at = now_us();
  };
  std::vector<double> total, http, share, before, after, back;
  for (int i = 0; i < messages; ++i) {
    shown_at = seen_at = sent_at = ended_at = 0;
    const std::int64_t t0 = now_us();
    s.messenger->contact_says(u"cnquorinemma", u"Thank you " + from_utf8(std::to_string(i)));
    if (!pump_until([&] { return shown_at != 0; }, 5000) || sent_at == 0 || ended_at == 0) {
      std::fprintf(stderr, "message %d was not shown\n", i);
      return 1;
    }
    const double t = static_cast<double>(shown_at - t0) / 1000.0;
    const double h = static_cast<double>(ended_at - sent_at) / 1000.0;
    total.push_back(t);
    http.push_back(h);
    share.push_back(t - h);
    before.push_back(static_cast<double>(sent_at - t0) / 1000.0);
    after.push_back(static_cast<double>(shown_at - ended_at) / 1000.0);
    back.push_back(static_cast<double>(seen_at - shown_at) / 1000.0);
    // Let the second engine's turn pass, so that each message starts on a quiet plug-in.
    pump_until([&] { return s.activity.quiet(1200); }, 5000);
  }
  s.activity.observer = nullptr;
  std::printf("message -> translation on the page, %d messages, ms (median / 90th percentile)\n",
              messages);
  std::printf("  total                          %7.2f / %7.2f\n", percentile(total, 0.5),
              percentile(total, 0.9));
  std::printf("  HTTP round trip to the server  %7.2f / %7.2f\n", percentile(http, 0.5),
              percentile(http, 0.9));
  std::printf("  plug-in share (total - HTTP)   %7.2f / %7.2f  (goal <= 5)\n",
              percentile(share, 0.5), percentile(share, 0.9));
  std::printf("    until the request is sent    %7.2f / %7.2f  (engine start timer, 1 ms asked)\n",
              percentile(before, 0.5), percentile(before, 0.9));
  std::printf("    answer until on the page     %7.2f / %7.2f\n", percentile(after, 0.5),
              percentile(after, 0.9));
  std::printf("  (not counted: the page's report back %7.2f / %7.2f)\n", percentile(back, 0.5),
              percentile(back, 0.9));
  return 0;
}

int idle(double seconds) {
  constexpr int kChats = 20;
  Setup s;
  if (!s.start())
    return 1;
  std::vector<Str> contacts;
  for (int i = 0; i < kChats; ++i) {
    const Str contact = from_utf8("cnquorinfriend" + std::to_string(i));
    const int x = 20 + (i % 5) * 60, y = 20 + (i / 5) * 60;
    if (!s.open(contact, Rect{x, y, x + 420, y + 520})) {
      std::fprintf(stderr, "chat %d: the page did not load\n", i);
      return 1;
    }
  }
  pump_for(2000);  // the pages settle, the companions dock
  const int server = s.server.pid();
  const double own0 = bench::own_cpu_seconds();
  const bench::Usage web0 = bench::descendants_usage(server);
  const auto start = std::chrono::steady_clock::now();
  pump_for(static_cast<int>(seconds * 1000));
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double own = bench::own_cpu_seconds() - own0;
  const bench::Usage web1 = bench::descendants_usage(server);
  const double web = web1.cpu_seconds - web0.cpu_seconds;
  std::printf("%d open chats with companions, idle for %.1f s\n", kChats, wall);
  std::printf("  messenger CPU     %6.2f %% of one core (goal < 1 %%)\n", 100 * own / wall);
  std::printf("  web processes CPU %6.2f %% of one core\n", 100 * web / wall);
  std::printf("  messenger memory  %6.1f MiB resident\n",
              static_cast<double>(bench::own_rss_kb()) / 1024);
  std::printf("  web processes     %6.1f MiB resident\n", static_cast<double>(web1.rss_kb) / 1024);
  return 0;
}

int placement(int changes) {
  Setup s;
  if (!s.start())
    return 1;
  const Str contact = u"cnquorinemma";
  frmChat* w = s.open(contact, Rect{20, 40, 460, 600});
  if (!w) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  ChatTab* tab = s.messenger->find(contact);
  GtkWindow* host = GTK_WINDOW(tab->window().widget());
  GtkDesktop& desk = s.messenger->desktop();
  const Hwnd companion = w->form()->hwnd();
  pump_for(1000);  // the page settles
  auto companion_rect = [&] {
    Rect r;
    desk.GetWindowRect(companion, r);
    return r;
  };
  int followed = 0;
  long rss_at_100 = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= changes; ++i) {
    // Alternate between two places; every other time the chat is activated as a click would.
    const Rect before = companion_rect();
    gtk_window_move(host, 20 + (i % 2) * 40, 40 + (i % 2) * 30);
    if (i % 2 == 0)
      gtk_window_present(host);
    if (pump_until([&] { return !(companion_rect() == before); }, 500))
      ++followed;
    if (i == 100) {
      pump_for(200);
      rss_at_100 = bench::own_rss_kb();
    }
  }
  pump_for(200);
  const long rss_at_end = bench::own_rss_kb();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long grown = rss_at_end - rss_at_100;
  std::printf("%d placement changes of one chat (%d followed by its companion) in %.1f s\n",
              changes, followed, wall);
  std::printf(
      "  messenger memory after 100: %.2f MiB, after %d: %.2f MiB, grown %+ld KiB "
      "(goal within 1024 KiB)\n",
      static_cast<double>(rss_at_100) / 1024, changes, static_cast<double>(rss_at_end) / 1024,
      grown);
  return grown > 1024 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = "all";
  int messages = 20;
  double seconds = 10;
  int placements = 10000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--messages") == 0 && i + 1 < argc)
      messages = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::atof(argv[++i]);
    else if (std::strcmp(argv[i], "--placements") == 0 && i + 1 < argc)
      placements = std::max(100, std::atoi(argv[++i]));
    else
      mode = argv[i];
  }
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", FALSE);
  GtkDesktop::use_x11();
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "no X display: run under xvfb-run -a\n");
    return 2;
  }
  int status = 0;
  if (mode == "all" || mode == "latency")
    status |= latency(messages);
  if (mode == "all" || mode == "idle")
    status |= idle(seconds);
  if (mode == "all" || mode == "placement")
    status |= placement(placements);
  return status;
}
