#include "tools/messenger-sim/script.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "chatwin/frm_chat.h"
#include "platform/linux/gtk_desktop.h"
#include "platform/linux/key_input.h"
#include "platform/linux/webkit_browser.h"

namespace brevant::messenger {
namespace {

using nlohmann::json;

std::int64_t now_us() {
  return g_get_monotonic_time();
}

// A phase that holds until `ms` have passed since it was first asked.
std::function<bool()> after(int ms) {
  auto since = std::make_shared<std::int64_t>(0);
  return [since, ms] {
    if (*since == 0)
      *since = now_us();
    return now_us() - *since >= ms * 1000LL;
  };
}

// A phase that does `f` once and is done.
std::function<bool()> once(std::function<void()> f) {
  return [f = std::move(f)] {
    f();
    return true;
  };
}

// Runs the main loop until the script's value is back. Only for reading the page: a script
// that opens a modal dialog would hold this loop until the dialog closes.
std::optional<std::string> evaluate(WebKitWebView* view, const std::string& script) {
  struct Result {
    bool done = false;
    std::optional<std::string> value;
  };
  auto* holder = new std::shared_ptr<Result>(std::make_shared<Result>());
  std::shared_ptr<Result> mine = *holder;
  webkit_web_view_evaluate_javascript(
      view, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* res, gpointer data) {
        auto* h = static_cast<std::shared_ptr<Result>*>(data);
        GError* error = nullptr;
        JSCValue* v =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
        if (v) {
          gchar* s = jsc_value_to_string(v);
          (*h)->value = s;
          g_free(s);
          g_object_unref(v);
        }
        g_clear_error(&error);
        (*h)->done = true;
        delete h;
      },
      holder);
  const std::int64_t end = now_us() + 5'000'000;
  while (!mine->done && now_us() < end) {
    if (!g_main_context_iteration(nullptr, FALSE))
      g_usleep(1000);
  }
  return mine->value;
}

// Starts a script in the page without waiting for it (it may open a modal dialog).
void fire(WebKitWebView* view, const std::string& script) {
  webkit_web_view_evaluate_javascript(view, script.data(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, nullptr, nullptr, nullptr);
}

WebKitWebView* view_of(frmChat& w) {
  if (!w.form())
    return nullptr;
  auto* b = dynamic_cast<WebKitBrowser*>(&w.form()->browser());
  return b ? b->view() : nullptr;
}

const char kReadPage[] = R"((function () {
  function has(e, c) { return (' ' + e.className + ' ').indexOf(' ' + c + ' ') >= 0; }
  function one(m, s) { var e = m.querySelector(s); return e ? e.textContent : null; }
  function pressed(id) { var e = document.getElementById(id); return !!e && e.getAttribute('aria-pressed') === 'true'; }
  function shown(id) { var e = document.getElementById(id); return !!e && e.style.display !== 'none'; }
  var list = Array.prototype.map.call(document.querySelectorAll('#messages .msg'), function (m) {
    return { own: has(m, 'out'), who: one(m, '.who'), source: one(m, '.src'),
             translation: one(m, '.tr'),
             state: has(m, 'failed') ? 'failed' : has(m, 'pending') ? 'pending' : 'shown',
             edit_again: !!m.querySelector('.again') };
  });
  var p = document.getElementById('preview');
  return JSON.stringify({ messages: list,
    language: pressed('lan-ja') ? 'japaness' : pressed('lan-en') ? 'english' : '',
    format: pressed('fmt-double') ? 'Double' : pressed('fmt-single') ? 'Single' : '',
    preview: !!p && p.getAttribute('aria-checked') === 'true',
    stopped: shown('stopped'), reviewing: shown('review'),
    input: document.getElementById('input').value });
})())";

// The page's controls a script may click, by their element IDs.
const char* const kControls[] = {"lan-en",   "lan-ja",   "fmt-single", "fmt-double",
                                 "preview",  "collapse", "stop",       "reopen",
                                 "settings", "ui-lan",   "send"};

GtkWidget* find_named(GtkWidget* w, const char* name) {
  if (g_strcmp0(gtk_widget_get_name(w), name) == 0)
    return w;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(w)) {
    struct Search {
      const char* name;
      GtkWidget** found;
    } search{name, &found};
    gtk_container_forall(
        GTK_CONTAINER(w),
        +[](GtkWidget* child, gpointer data) {
          auto* s = static_cast<Search*>(data);
          if (!*s->found)
            *s->found = find_named(child, s->name);
        },
        &search);
  }
  return found;
}

GtkWidget* open_dialog() {
  GList* all = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = all; w; w = w->next) {
    if (GTK_IS_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
      found = GTK_WIDGET(w->data);
  }
  g_list_free(all);
  return found;
}

json rect_json(const Rect& r) {
  return json::array({r.left, r.top, r.right, r.bottom});
}

std::string file_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

json read_page(frmChat& companion) {
  WebKitWebView* view = view_of(companion);
  if (!view)
    return json::object();
  const std::optional<std::string> text = evaluate(view, kReadPage);
  if (!text)
    return json::object();
  json page = json::parse(*text, nullptr, false);
  return page.is_discarded() ? json::object() : page;
}

bool screenshot(ChatTab& tab, const std::string& file) {
  auto extents = [](GtkWidget* w, GdkRectangle& r) {
    if (!w || !gtk_widget_get_window(w) || !gtk_widget_get_mapped(w))
      return false;
    gdk_window_get_frame_extents(gtk_widget_get_window(w), &r);
    return true;
  };
  GdkRectangle area{};
  if (!extents(tab.window().widget(), area))
    return false;
  frmChat* w = tab.companion();
  GdkRectangle side{};
  WebKitWebView* view = w ? view_of(*w) : nullptr;
  if (view && extents(gtk_widget_get_toplevel(GTK_WIDGET(view)), side) && side.width > 2)
    gdk_rectangle_union(&area, &side, &area);
  GdkWindow* root = gdk_get_default_root_window();
  const int rw = gdk_window_get_width(root), rh = gdk_window_get_height(root);
  GdkRectangle screen{0, 0, rw, rh};
  if (!gdk_rectangle_intersect(&area, &screen, &area))
    return false;
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, area.x, area.y, area.width, area.height);
  if (!shot)
    return false;
  const bool saved = gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr) != FALSE;
  g_object_unref(shot);
  return saved;
}

// ------------------------------------------------------------------ the runner

struct ScriptRunner::Step {
  std::string what;
  std::vector<std::function<bool()>> phases;
  std::size_t phase = 0;
  std::int64_t deadline_us = 0;
  bool timeout_ok = false;  // running out of time still counts as carried out
};

// Every kind of step: its name, the fields it needs, what else a well-formed one has (an error
// appended to "step N", or "" when nothing is wrong) and how it runs.
struct ScriptRunner::Kind {
  const char* name;
  int fields;
  std::string (*check)(const json& s);
  void (ScriptRunner::*run)(const json& s, Step& step);
};

namespace {
constexpr int kChat = 1;  // "chat" names the contact
constexpr int kText = 2;  // "text" is given
}  // namespace

const ScriptRunner::Kind* ScriptRunner::kind(const std::string& name) {
  static const Kind kinds[] = {
      {"open", kChat, nullptr, &ScriptRunner::open_step},
      {"tab", kChat,
       [](const json& s) -> std::string {
         return s.contains("beside") && s["beside"].is_string()
                    ? ""
                    : " (tab): \"beside\" names a contact of the window";
       },
       &ScriptRunner::tab_step},
      {"switch", kChat, nullptr, &ScriptRunner::switch_step},
      {"close", kChat, nullptr, &ScriptRunner::close_step},
      {"say", kChat | kText, nullptr, &ScriptRunner::say_step},
      {"send", kChat | kText, nullptr, &ScriptRunner::send_step},
      {"type", kChat | kText, nullptr, &ScriptRunner::type_step},
      {"click", kChat,
       [](const json& s) -> std::string {
         const std::string c = s.value("control", "");
         if (std::find(std::begin(kControls), std::end(kControls), c) == std::end(kControls) &&
             c != "edit-again")
           return ": unknown control \"" + c + "\"";
         return "";
       },
       &ScriptRunner::click_step},
      {"item", kChat, nullptr, &ScriptRunner::item_step},
      {"dialog", 0, nullptr, &ScriptRunner::dialog_step},
      {"move", kChat, nullptr, &ScriptRunner::move_step},
      {"wait", 0, nullptr, &ScriptRunner::wait_step},
      {"server", 0, nullptr, &ScriptRunner::server_step},
      {"snapshot", 0, nullptr, &ScriptRunner::snapshot_step},
      {"screenshot", kChat,
       [](const json& s) -> std::string {
         return s.contains("file") ? "" : " (screenshot): \"file\" is missing";
       },
       &ScriptRunner::screenshot_step},
  };
  for (const Kind& k : kinds) {
    if (name == k.name)
      return &k;
  }
  return nullptr;
}

bool ScriptRunner::wants_personas(const json& script) {
  return script.is_object() && script.value("personas", false);
}

const json& ScriptRunner::steps_of(const json& script) {
  if (script.is_array())
    return script;
  if (script.is_object() && script.contains("steps") && script["steps"].is_array())
    return script["steps"];
  throw std::invalid_argument("a script is an array of steps, or an object with \"steps\"");
}

ScriptRunner::ScriptRunner(ScriptContext context, const json& steps) : ctx_(std::move(context)) {
  std::size_t n = 0;
  for (const json& s : steps) {
    ++n;
    const std::string where = "step " + std::to_string(n);
    if (!s.is_object() || !s.contains("do") || !s["do"].is_string())
      throw std::invalid_argument(where + ": a step is an object with \"do\"");
    const std::string what = s["do"];
    const Kind* k = kind(what);
    if (!k)
      throw std::invalid_argument(where + ": unknown step \"" + what + "\"");
    if ((k->fields & kChat) && !(s.contains("chat") && s["chat"].is_string()))
      throw std::invalid_argument(where + " (" + what + "): \"chat\" names the contact");
    if ((k->fields & kText) && !(s.contains("text") && s["text"].is_string()))
      throw std::invalid_argument(where + " (" + what + "): \"text\" is missing");
    if (k->check) {
      if (const std::string wrong = k->check(s); !wrong.empty())
        throw std::invalid_argument(where + wrong);
    }
    steps_.push_back(s);
  }
  ctx_.messenger.before_close = [this](ChatTab& tab) {
    closed_.push_back(chat_record(tab, false));
  };
}

ScriptRunner::~ScriptRunner() {
  if (source_)
    g_source_remove(source_);
  ctx_.messenger.before_close = nullptr;
}

void ScriptRunner::start(std::function<void(bool)> done) {
  done_ = std::move(done);
  source_ = g_timeout_add(20, reinterpret_cast<GSourceFunc>(&ScriptRunner::on_tick), this);
}

int ScriptRunner::on_tick(void* self) {
  auto* r = static_cast<ScriptRunner*>(self);
  if (r->tick())
    return G_SOURCE_CONTINUE;
  r->source_ = 0;
  bool ok = r->error_.empty();
  if (r->done_)
    r->done_(ok);
  return G_SOURCE_REMOVE;
}

ChatTab& ScriptRunner::chat(const json& s) {
  const Str contact = from_utf8(s["chat"].get<std::string>());
  ChatTab* tab = ctx_.messenger.find(contact);
  if (!tab)
    throw std::runtime_error("no open chat with " + s["chat"].get<std::string>());
  return *tab;
}

// One step of the script; false when the script is over.
bool ScriptRunner::tick() {
  try {
    if (!current_) {
      if (index_ >= steps_.size())
        return false;
      current_ = std::make_unique<Step>(make(steps_[index_]));
    }
    Step& s = *current_;
    while (s.phase < s.phases.size() && s.phases[s.phase]())
      ++s.phase;
    if (s.phase < s.phases.size()) {
      if (s.deadline_us != 0 && now_us() > s.deadline_us) {
        if (!s.timeout_ok)
          throw std::runtime_error("timed out");
        s.phase = s.phases.size();
      } else {
        return true;
      }
    }
    current_.reset();
    ++index_;
    return true;
  } catch (const std::exception& e) {
    error_ = "step " + std::to_string(index_ + 1) + " (" +
             steps_[index_].value("do", std::string("?")) + "): " + e.what();
    current_.reset();
    return false;
  }
}

// Holds until the chat's companion page is ready (or it has none after a while).
std::function<bool()> ScriptRunner::page_ready(Str contact) {
  auto waited = after(10000);
  return [this, contact, waited] {
    ChatTab* tab = ctx_.messenger.find(contact);
    frmChat* w = tab ? tab->companion() : nullptr;
    return (w && w->ShowOn) || waited();
  };
}

ScriptRunner::Step ScriptRunner::make(const json& s) {
  Step step;
  step.what = s["do"];
  step.deadline_us = now_us() + 20'000'000;
  (this->*kind(step.what)->run)(s, step);
  return step;
}

void ScriptRunner::open_step(const json& s, Step& step) {
  Messenger& m = ctx_.messenger;
  const Str contact = from_utf8(s["chat"].get<std::string>());
  std::optional<Rect> where;
  if (s.contains("x")) {
    const int x = s.value("x", 20), y = s.value("y", 40);
    where = Rect{x, y, x + s.value("width", 420), y + s.value("height", 520)};
  }
  step.phases = {once([&m, contact, where] { m.open_chat(contact, where); }), page_ready(contact)};
}

void ScriptRunner::tab_step(const json& s, Step& step) {
  Messenger& m = ctx_.messenger;
  const Str contact = from_utf8(s["chat"].get<std::string>());
  const Str beside = from_utf8(s["beside"].get<std::string>());
  step.phases = {once([&m, contact, beside] { m.add_tab(beside, contact); }), page_ready(contact)};
}

void ScriptRunner::switch_step(const json& s, Step& step) {
  ChatTab& tab = chat(s);
  step.phases = {once([&tab] {
                   tab.window().show_tab(tab);
                   gtk_window_present(GTK_WINDOW(tab.window().widget()));
                 }),
                 after(200)};
}

void ScriptRunner::close_step(const json& s, Step& step) {
  Messenger& m = ctx_.messenger;
  const Str contact = chat(s).contact();
  step.phases = {once([&m, contact] { m.close_chat(contact); }), after(200)};
}

void ScriptRunner::say_step(const json& s, Step& step) {
  Messenger& m = ctx_.messenger;
  const Str contact = chat(s).contact();
  const Str text = from_utf8(s["text"].get<std::string>());
  step.phases = {once([&m, contact, text] { m.contact_says(contact, text); })};
}

void ScriptRunner::send_step(const json& s, Step& step) {
  ChatTab& tab = chat(s);
  const Str text = from_utf8(s["text"].get<std::string>());
  step.phases = {once([&tab, text] {
    tab.window().show_tab(tab);
    tab.set_draft(text);
    gtk_button_clicked(GTK_BUTTON(tab.window().send_button()));
  })};
}

void ScriptRunner::type_step(const json& s, Step& step) {
  ChatTab& tab = chat(s);
  frmChat* w = tab.companion();
  WebKitWebView* view = w ? view_of(*w) : nullptr;
  if (!view || !w->ShowOn)
    throw std::runtime_error("the chat has no companion page to type into");
  const std::string text = s["text"];
  const bool enter = s.value("enter", true);
  tab.pressed.push_back(enter ? "type+Enter" : "type");
  step.phases = {once([view] { fire(view, "document.getElementById('input').focus()"); }),
                 after(100),
                 [view, text, enter] {
                   GtkWidget* widget = GTK_WIDGET(view);
                   if (!gtk_keys::type_text(widget, text))
                     throw std::runtime_error("the text could not be typed");
                   if (enter && !gtk_keys::press_key(widget, GDK_KEY_Return))
                     throw std::runtime_error("Enter could not be pressed");
                   return true;
                 },
                 after(150)};
}

void ScriptRunner::click_step(const json& s, Step& step) {
  ChatTab& tab = chat(s);
  frmChat* w = tab.companion();
  WebKitWebView* view = w ? view_of(*w) : nullptr;
  if (!view)
    throw std::runtime_error("the chat has no companion page");
  const std::string control = s["control"];
  tab.pressed.push_back("page:" + control);
  // A real click event on the element, as the page's own handlers receive it.
  const std::string js =
      control == "edit-again"
          ? "(function () { var b = document.querySelectorAll('#messages .again');"
            " if (b.length) b[b.length - 1].click(); })()"
          : "document.getElementById('" + control + "').click()";
  step.phases = {once([view, js] { fire(view, js); }), after(250)};
}

void ScriptRunner::item_step(const json& s, Step& step) {
  ChatTab& tab = chat(s);
  step.phases = {once([&tab] { gtk_button_clicked(GTK_BUTTON(tab.item_button())); }), after(150)};
}

void ScriptRunner::dialog_step(const json& s, Step& step) {
  const json answer = s;
  step.deadline_us = now_us() + 10'000'000;
  step.phases = {
      [this, answer] {
        GtkWidget* d = open_dialog();
        if (!d)
          return false;
        json record;
        record["title"] =
            gtk_window_get_title(GTK_WINDOW(d)) ? gtk_window_get_title(GTK_WINDOW(d)) : "";
        if (GtkWidget* ok = find_named(d, "Command1")) {
          record["kind"] = "settings";
          for (const char* group : {"language", "format"}) {
            if (answer.contains(group)) {
              const std::string option = answer[group];
              GtkWidget* b = find_named(d, option.c_str());
              if (!b)
                throw std::runtime_error("the dialog has no option " + option);
              gtk_button_clicked(GTK_BUTTON(b));
            }
          }
          if (answer.contains("preview")) {
            GtkWidget* b = find_named(d, "preview");
            gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(b), FALSE);
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b), answer["preview"].get<bool>());
          }
          const std::string button = answer.value("button", "ok");
          record["answer"] = button;
          gtk_button_clicked(GTK_BUTTON(button == "cancel" ? find_named(d, "Command2") : ok));
        } else {
          GtkWidget* label = find_named(d, "Label1");
          record["kind"] = label ? "notice" : "message";
          const std::string button = answer.value("button", label ? "close" : "ok");
          record["answer"] = button;
          const int response = button == "yes"  ? GTK_RESPONSE_YES
                               : button == "no" ? GTK_RESPONSE_NO
                               : button == "ok" ? GTK_RESPONSE_OK
                                                : GTK_RESPONSE_CLOSE;
          gtk_dialog_response(GTK_DIALOG(d), response);
        }
        dialogs_.push_back(record);
        return true;
      },
      after(200)};
}

void ScriptRunner::move_step(const json& s, Step& step) {
  ChatTab& tab = chat(s);
  GtkWindow* win = GTK_WINDOW(tab.window().widget());
  int x = 0, y = 0, wd = 0, ht = 0;
  gtk_window_get_position(win, &x, &y);
  gtk_window_get_size(win, &wd, &ht);
  x = s.value("x", x);
  y = s.value("y", y);
  wd = s.value("width", wd);
  ht = s.value("height", ht);
  step.phases = {once([win, x, y, wd, ht] {
                   gtk_window_move(win, x, y);
                   gtk_window_resize(win, wd, ht);
                 }),
                 after(400)};
}

void ScriptRunner::wait_step(const json& s, Step& step) {
  if (s.contains("ms")) {
    step.phases = {after(s["ms"].get<int>())};
  } else {
    const int quiet = s.value("quiet_ms", 1500);
    step.deadline_us = now_us() + s.value("timeout_ms", 60000) * 1000LL;
    step.timeout_ok = true;
    // Quiet also since the step began: a message just handed over starts its request on
    // the next timer tick.
    step.phases = {after(quiet), [this, quiet] {
                     return ctx_.activity.quiet(quiet) &&
                            (!ctx_.personas || ctx_.personas->pending() == 0);
                   }};
  }
}

void ScriptRunner::server_step(const json& s, Step& step) {
  if (!ctx_.server)
    throw std::runtime_error("the messenger did not start the translation server");
  const std::string state = s.value("state", "");
  ServerProcess* server = ctx_.server;
  if (state == "stop") {
    step.phases = {once([server] { server->stop(); })};
  } else if (state == "start") {
    // "answer_delay_ms": the server answers each translation that much later.
    const int delay = s.value("answer_delay_ms", 0);
    step.phases = {once([server, delay] {
      std::string error;
      if (!server->restart(error, delay))
        throw std::runtime_error(error);
    })};
  } else {
    throw std::runtime_error("\"state\" is \"stop\" or \"start\"");
  }
}

void ScriptRunner::snapshot_step(const json& s, Step& step) {
  const std::string name = s.value("name", std::to_string(index_ + 1));
  step.phases = {once([this, name] {
    json chats = json::array();
    for (ChatTab* tab : ctx_.messenger.tabs())
      chats.push_back(chat_record(*tab, true));
    snapshots_[name] = chats;
  })};
}

void ScriptRunner::screenshot_step(const json& s, Step& step) {
  Messenger& m = ctx_.messenger;
  ChatTab& tab = chat(s);
  const std::string file =
      (std::filesystem::path(ctx_.out_dir) / s["file"].get<std::string>()).string();
  const Str contact = tab.contact();
  step.phases = {once([&tab] { gtk_window_present(GTK_WINDOW(tab.window().widget())); }),
                 after(600), once([this, &m, contact, file] {
                   ChatTab* t = m.find(contact);
                   if (!t || !screenshot(*t, file))
                     throw std::runtime_error("the screenshot could not be written");
                   shots_.push_back(file);
                 })};
}

json ScriptRunner::chat_record(ChatTab& tab, bool open) {
  Messenger& m = ctx_.messenger;
  json c;
  c["contact"] = to_utf8(tab.contact());
  c["name"] = to_utf8(m.display_name(tab.contact()));
  c["open"] = open;
  c["title"] = to_utf8(m.desktop().GetWindowTextA(tab.window().hwnd(), 800));
  c["tabs"] = tab.window().tabs().size();
  Rect host;
  if (m.desktop().GetWindowRect(tab.window().hwnd(), host))
    c["host_rect"] = rect_json(host);
  json received = json::array();
  for (const Str& t : tab.received)
    received.push_back(to_utf8(t));
  c["received"] = received;
  c["pressed"] = tab.pressed;
  frmChat* w = tab.companion();
  c["translation_on"] = w && w->TranOn;
  if (w) {
    c["show_state"] = w->ShowState;
    Rect r;
    if (w->hwnd() != 0 && m.desktop().GetWindowRect(w->hwnd(), r))
      c["companion_rect"] = rect_json(r);
    const Str url = w->page_url();
    c["page"] = url.ends_with(u"IO11/IO.htm")   ? "IO11"
                : url.ends_with(u"IOEN/IO.htm") ? "IOEN"
                                                : "";
    json page = read_page(*w);
    for (auto& [key, value] : page.items())
      c[key] = value;
  }
  if (!c.contains("messages"))
    c["messages"] = json::array();
  return c;
}

json ScriptRunner::transcript() {
  Messenger& m = ctx_.messenger;
  json t;
  t["own"] = to_utf8(m.options().own_id);
  t["ok"] = error_.empty();
  if (!error_.empty())
    t["error"] = error_;
  json chats = closed_;
  for (ChatTab* tab : m.tabs())
    chats.push_back(chat_record(*tab, true));
  t["chats"] = chats;
  t["dialogs"] = dialogs_;
  t["screenshots"] = shots_;
  t["snapshots"] = snapshots_;
  t["requests"] = ctx_.activity.sent;
  const std::filesystem::path ini =
      std::filesystem::path(to_utf8(m.module().settings().plugin_folder())) / "configUIN.ini";
  t["settings"] = to_utf8(m.module().code_page().from_ansi(file_text(ini)));
  return t;
}

std::string ScriptRunner::as_text(const json& t) {
  std::ostringstream out;
  for (const json& c : t["chats"]) {
    out << "== " << c.value("name", "") << " (" << c.value("contact", "") << ")"
        << (c.value("open", false) ? "" : ", closed") << ", translation "
        << (c.value("translation_on", false) ? "on" : "off") << "\n";
    for (const json& msg : c["messages"]) {
      const std::string who = msg["who"].is_string() ? msg["who"].get<std::string>() : "";
      out << "  " << who << ": "
          << (msg["source"].is_string() ? msg["source"].get<std::string>() : "") << "\n";
      if (msg["translation"].is_string())
        out << "  " << std::string(who.size() > 0 ? 2 : 0, ' ') << "  -> "
            << msg["translation"].get<std::string>() << "\n";
      if (msg.value("state", "") != "shown")
        out << "     (" << msg.value("state", "") << ")\n";
    }
    for (const json& r : c["received"])
      out << "  " << c.value("name", "") << " received: " << r.get<std::string>() << "\n";
  }
  if (t.contains("error"))
    out << "script stopped: " << t["error"].get<std::string>() << "\n";
  return out.str();
}

}  // namespace brevant::messenger
