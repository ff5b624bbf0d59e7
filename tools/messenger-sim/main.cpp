// messenger-sim: the stand-in messenger on Linux. By hand: a contact list and chat windows with
// the plug-in's companions beside them and contacts that write by themselves. With --script:
// the steps of a JSON file, then the transcript. With --demo: the built-in demo, for machines
// without a display (run it under xvfb-run), with screenshots.

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/settings.h"
#include "net/server_address.h"
#include "platform/failure.h"
#include "platform/linux/gtk_desktop.h"
#include "platform/services.h"
#include "tools/messenger-sim/activity.h"
#include "tools/messenger-sim/demo.h"
#include "tools/messenger-sim/messenger.h"
#include "tools/messenger-sim/personas.h"
#include "tools/messenger-sim/plugin_folder.h"
#include "tools/messenger-sim/script.h"
#include "tools/messenger-sim/server_process.h"

namespace {

using namespace brevant;
using namespace brevant::messenger;
namespace fs = std::filesystem;
using nlohmann::json;

const char kUsage[] = R"(usage: messenger-sim [options]
  --own ID              own account ID, site prefix included (default cnquorinxiaoming)
  --host-language L     cn (default: the Send button reads 发送) or en ("Send")
  --plugin-dir DIR      use this plug-in folder (pages and configUIN.ini) as it is
  --server URL          use this translation server; the bundled one is not started
  --script FILE         carry out the steps of FILE (JSON), print the transcript and exit
  --transcript FILE     also write the transcript to FILE as JSON
  --demo                run the built-in demo (screenshots and transcript in --out)
  --out DIR             where screenshots go (default: the working folder)
  --personas, --no-personas   contacts answer by themselves (default: on by hand and in the
                        demo; in a script as its "personas" says)
  --trans-server PATH   the bundled translation server program
  --page-dir DIR        the folder holding the pages IO11/, IOEN/ and common/
)";

struct Args {
  Str own = u"cnquorinxiaoming";
  bool english_host = false;
  std::string plugin_dir, server, script, transcript, out_dir = ".";
  std::string trans_server = BREVANT_TRANS_SERVER, page_dir = BREVANT_PAGE_DIR;
  bool demo = false;
  int personas = -1;  // -1: the mode decides
};

bool parse(int argc, char** argv, Args& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string o = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "messenger-sim: %s needs a value\n", o.c_str());
        return false;
      }
      into = argv[++i];
      return true;
    };
    std::string v;
    if (o == "--own") {
      if (!value(v))
        return false;
      a.own = from_utf8(v);
    } else if (o == "--host-language") {
      if (!value(v))
        return false;
      a.english_host = v == "en";
    } else if (o == "--plugin-dir") {
      if (!value(a.plugin_dir))
        return false;
    } else if (o == "--server") {
      if (!value(a.server))
        return false;
    } else if (o == "--script") {
      if (!value(a.script))
        return false;
    } else if (o == "--transcript") {
      if (!value(a.transcript))
        return false;
    } else if (o == "--out") {
      if (!value(a.out_dir))
        return false;
    } else if (o == "--trans-server") {
      if (!value(a.trans_server))
        return false;
    } else if (o == "--page-dir") {
      if (!value(a.page_dir))
        return false;
    } else if (o == "--demo") {
      a.demo = true;
    } else if (o == "--personas") {
      a.personas = 1;
    } else if (o == "--no-personas") {
      a.personas = 0;
    } else if (o == "--help" || o == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else {
      std::fprintf(stderr, "messenger-sim: unknown option %s\n%s", o.c_str(), kUsage);
      return false;
    }
  }
  return true;
}

// The folder the messenger keeps between runs by hand.
fs::path kept_folder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  fs::path base = state && *state ? fs::path(state)
                  : home && *home ? fs::path(home) / ".local" / "state"
                                  : fs::temp_directory_path();
  return base / "brevant-messenger" / "plugin";
}

// The port of a server key on this machine's loopback, 17380 when there is none, 0 when the
// key names another machine.
int loopback_port(const Str& key) {
  const std::string s = to_utf8(key);
  if (s.empty())
    return 17380;
  const std::string prefix = "http://127.0.0.1:";
  if (s.rfind(prefix, 0) != 0)
    return 0;
  return std::atoi(s.c_str() + prefix.size());
}

std::optional<json> load_script(const Args& a) {
  if (a.demo)
    return json::parse(kDemoScript);
  std::ifstream in(a.script, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "messenger-sim: cannot read %s\n", a.script.c_str());
    return std::nullopt;
  }
  json s = json::parse(in, nullptr, false);
  if (s.is_discarded()) {
    std::fprintf(stderr, "messenger-sim: %s is not valid JSON\n", a.script.c_str());
    return std::nullopt;
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  if (!parse(argc, argv, a))
    return 2;
  const bool scripted = a.demo || !a.script.empty();
  std::optional<json> script;
  if (scripted && !(script = load_script(a)))
    return 2;

  // Screenshots need the page drawn without DMA-BUF (which Xvfb has not).
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", FALSE);
  GtkDesktop::use_x11();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr,
                 "messenger-sim: no display. Run scripts/run-messenger.sh, which runs the demo "
                 "under Xvfb, or xvfb-run -a messenger-sim --demo\n");
    return 2;
  }

  // A skipped failure is logged once per step, by the step's name only: an error's own message
  // might quote a chat text.
  std::set<std::string, std::less<>> failed_steps;
  set_failure_sink([&failed_steps](std::string_view step, std::string_view) {
    if (failed_steps.insert(std::string(step)).second)
      std::fprintf(stderr, "messenger-sim: %.*s failed (skipped; logged once)\n",
                   static_cast<int>(step.size()), step.data());
  });
  struct SinkReset {
    ~SinkReset() { set_failure_sink(nullptr); }
  } sink_reset;  // before failed_steps goes

  // The plug-in folder: as given, fresh for a script, or the one kept between runs by hand.
  fs::path folder;
  std::unique_ptr<fs::path> fresh;
  if (!a.plugin_dir.empty()) {
    folder = fs::absolute(a.plugin_dir);
  } else if (scripted) {
    char name[] = "/tmp/brevant-messenger-XXXXXX";
    if (!mkdtemp(name)) {
      std::perror("messenger-sim: mkdtemp");
      return 2;
    }
    folder = name;
    fresh = std::make_unique<fs::path>(folder);
  } else {
    folder = kept_folder();
  }

  HttpActivity activity;
  Services services = make_platform_services(from_utf8(folder.string()));
  services.http = std::make_unique<CountingHttpFactory>(std::move(services.http), activity);
  auto module = std::make_unique<Module>(std::move(services));

  // The translation server: as given, or the bundled one on loopback.
  ServerProcess server(a.trans_server);
  std::string server_url = a.server;
  if (server_url.empty()) {
    int port = 0;
    if (!a.plugin_dir.empty()) {
      Str key;
      skip_failure("read the server setting", [&] {
        key = module->settings().use(kConfigUinFile).GetValue(kConfigSection, kKeyServer);
      });
      port = loopback_port(key);
    }
    std::string error;
    if ((a.plugin_dir.empty() || port != 0) && !server.start(port, error)) {
      std::fprintf(stderr, "messenger-sim: %s\n", error.c_str());
      if (a.plugin_dir.empty())
        return 2;
    }
    if (server.running())
      server_url = server.url();
  }
  if (a.plugin_dir.empty())
    prepare_plugin_folder(folder, a.page_dir, a.own, server_url);
  // The plug-in learns its server from the settings file only: a kept folder may name the
  // server of an earlier run, and a given server goes into a given folder too.
  if (a.plugin_dir.empty() || !a.server.empty()) {
    skip_failure("write the server setting", [&] {
      module->settings()
          .use(kConfigUinFile)
          .WriteValue(kConfigSection, kKeyServer, from_utf8(server_url));
    });
  }

  MessengerOptions options;
  options.own_id = a.own;
  options.english_host = a.english_host;
  auto messenger = std::make_unique<Messenger>(*module, options);
  const bool with_personas =
      a.personas >= 0 ? a.personas == 1 : !scripted || ScriptRunner::wants_personas(*script);
  std::unique_ptr<Personas> personas;
  if (with_personas)
    personas = std::make_unique<Personas>(*messenger);
  messenger->sign_in();
  std::fprintf(stderr, "messenger-sim: signed in as %s; plug-in folder %s; server %s\n",
               to_utf8(a.own).c_str(), folder.string().c_str(),
               server_url.empty() ? "(from configUIN.ini)" : server_url.c_str());

  // Ctrl-C and SIGTERM end the messenger as closing it does, the server with it.
  auto quit = +[](gpointer) -> gboolean {
    gtk_main_quit();
    return G_SOURCE_CONTINUE;
  };
  const guint on_int = g_unix_signal_add(SIGINT, quit, nullptr);
  const guint on_term = g_unix_signal_add(SIGTERM, quit, nullptr);

  int status = 0;
  if (scripted) {
    std::unique_ptr<ScriptRunner> runner;
    try {
      fs::create_directories(a.out_dir);
      runner = std::make_unique<ScriptRunner>(
          ScriptContext{*messenger, activity, personas.get(), server.running() ? &server : nullptr,
                        a.out_dir},
          ScriptRunner::steps_of(*script));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "messenger-sim: %s\n", e.what());
      return 2;
    }
    bool ok = false;
    runner->start([&](bool done) {
      ok = done;
      gtk_main_quit();
    });
    gtk_main();
    const json transcript = runner->transcript();
    std::fputs(ScriptRunner::as_text(transcript).c_str(), stdout);
    std::string transcript_file = a.transcript;
    if (transcript_file.empty() && a.demo)
      transcript_file = (fs::path(a.out_dir) / "transcript.json").string();
    if (!transcript_file.empty())
      std::ofstream(transcript_file, std::ios::binary) << transcript.dump(2) << "\n";
    if (a.demo) {
      std::printf("\nScreenshots:\n");
      for (const json& f : transcript["screenshots"])
        std::printf("  %s\n", fs::absolute(f.get<std::string>()).string().c_str());
      std::printf("Transcript: %s\n", fs::absolute(transcript_file).string().c_str());
    }
    if (!ok) {
      std::fprintf(stderr, "messenger-sim: %s\n", runner->error().c_str());
      status = 1;
    }
  } else {
    messenger->open_chat(u"cnquorinemma");
    gtk_main();
  }
  g_source_remove(on_int);
  g_source_remove(on_term);

  personas.reset();
  messenger.reset();
  module.reset();
  server.stop();
  if (fresh) {
    std::error_code ignored;
    fs::remove_all(*fresh, ignored);
  }
  return status;
}
