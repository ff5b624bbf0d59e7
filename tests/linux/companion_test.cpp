// The companion window on the Linux port: a real GTK companion with the real page in WebKitGTK,
// beside a GTK stand-in chat window, driven through frmChat and the Linux services.

#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "config/settings.h"
#include "platform/linux/gtk_desktop.h"
#include "platform/linux/key_input.h"
#include "platform/linux/webkit_browser.h"
#include "platform/sim/scripted_ui.h"
#include "plugin/frmmain.h"
#include "plugin/module.h"
#include "tests/linux/gtk_fixture.h"
#include "tests/linux/loop_server.h"
#include "tests/support/sim_host.h"

namespace brevant {
namespace {

namespace fs = std::filesystem;
using gtk_test::answer_text;
using gtk_test::evaluate;
using gtk_test::gtk_ready;
using gtk_test::pump_until;
using gtk_test::request_body;

// A plug-in folder holding the page folders (links to the source tree) and a settings file.
class PluginFolder {
 public:
  explicit PluginFolder(const std::string& settings) {
    char name[] = "/tmp/brevant-companion-XXXXXX";
    path_ = mkdtemp(name);
    for (const char* folder : {"IO11", "IOEN", "common"})
      fs::create_directory_symlink(fs::path(BREVANT_PAGE_DIR) / folder, path_ / folder);
    std::ofstream(path_ / "configUIN.ini") << settings;
  }
  ~PluginFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Str path() const { return from_utf8(path_.string()); }

 private:
  fs::path path_;
};

// The stand-in chat window: a GTK window registered as the host registers its chat windows,
// with a Send button that counts its clicks.
struct ChatWindow {
  GtkWidget* window = nullptr;
  Hwnd hwnd = 0;
  int clicks = 0;
};

class CompanionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_ready())
      GTEST_SKIP() << "no X display (run the linux tier under xvfb-run)";
  }
  void TearDown() override {
    module.reset();
    for (auto& chat : chats) {
      if (chat->window)
        gtk_widget_destroy(chat->window);
    }
    pump_until([] { return false; }, 20);
  }

  void start(const std::string& settings) {
    folder = std::make_unique<PluginFolder>(settings);
    Services services = make_platform_services(folder->path());
    // The page's settings and language controls open modal dialogs; these tests answer them
    // from a script (the real dialogs have a test of their own).
    auto ui = std::make_unique<ScriptedUi>();
    this->ui = ui.get();
    services.ui = std::move(ui);
    module = std::make_unique<Module>(std::move(services));
    module->MainUin = u"quillnetme";
    desktop = dynamic_cast<GtkDesktop*>(&module->desktop());
    ASSERT_TRUE(desktop);
  }

  ChatWindow& chat_window(const char* title, int x, int y, int width, int height) {
    auto chat = std::make_unique<ChatWindow>();
    chat->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_add_weak_pointer(G_OBJECT(chat->window), reinterpret_cast<gpointer*>(&chat->window));
    GtkWidget* button = gtk_button_new_with_label("发送");
    gtk_container_add(GTK_CONTAINER(chat->window), button);
    g_signal_connect(button, "clicked",
                     G_CALLBACK(+[](GtkButton*, gpointer n) { ++*static_cast<int*>(n); }),
                     &chat->clicks);
    gtk_window_move(GTK_WINDOW(chat->window), x, y);
    gtk_window_resize(GTK_WINDOW(chat->window), width, height);
    gtk_widget_show_all(chat->window);
    chat->hwnd = desktop->register_widget(chat->window, kHostFrameClass, from_utf8(title));
    desktop->register_widget(button, kHostButtonClass, kSendChinese, chat->hwnd);
    chats.push_back(std::move(chat));
    return *chats.back();
  }

  // What the chat's input item does when the host opens a chat window; every navigation the
  // page makes is recorded on its way to the companion.
  frmChat& open(const char16_t* contact, Hwnd host) {
    frmChat& w =
        *module->companions().at(module->companions().add(std::make_unique<frmChat>(*module)));
    w.HostTopWnd = host;
    w.HostWnd = host;
    w.ContactId = contact;
    w.form()->browser().on_before_navigate([this, &w](const Str& url) {
      navigations.push_back(url);
      w.ChatBrowser_BeforeNavigate2(url);
    });
    desktop->ShowWindow(w.hwnd(), kSwShowNoActivate);
    w.frminit();
    w.opener();
    return w;
  }

  static WebKitBrowser& browser(frmChat& w) {
    return dynamic_cast<WebKitBrowser&>(w.form()->browser());
  }
  static std::string js(frmChat& w, const std::string& script) {
    return evaluate(browser(w).view(), script).value_or("<script failed>");
  }
  // The conversation, oldest first: sender, source and translation of each message as shown.
  using Shown = std::array<Str, 3>;
  static std::vector<Shown> conversation(frmChat& w) {
    // Each text percent-encoded, so that any character (NUL included) comes back intact.
    const std::string all = js(w, R"(Array.prototype.map.call(
        document.querySelectorAll('#messages .msg'), function (m) {
          function one(s) { var e = m.querySelector(s); return encodeURIComponent(e ? e.textContent : ''); }
          return one('.who') + ' ' + one('.src') + ' ' + one('.tr');
        }).join(' '))");
    std::vector<Shown> list;
    const std::vector<Str> fields = split(from_utf8(all), u" ");
    for (std::size_t i = 0; i + 2 < fields.size(); i += 3)
      list.push_back({percent_decode(fields[i]), percent_decode(fields[i + 1]),
                      percent_decode(fields[i + 2])});
    return list;
  }
  static Rect rect_of(GtkDesktop& d, Hwnd hwnd) {
    Rect r;
    d.GetWindowRect(hwnd, r);
    return r;
  }

  std::unique_ptr<PluginFolder> folder;
  std::unique_ptr<Module> module;
  ScriptedUi* ui = nullptr;
  GtkDesktop* desktop = nullptr;
  std::vector<std::unique_ptr<ChatWindow>> chats;
  std::vector<Str> navigations;
};

// The whole life of one companion: the page loads by "lan", reports WebOk and gets init_web with
// this chat's settings; the window docks beside its host and follows it; messages pushed both
// ways appear as given; Send is pressed in its own chat only; closing the host closes it.
TEST_F(CompanionTest, DocksFollowsShowsMessagesAndPressesItsOwnSend) {
  start(
      "[config]\r\nlan=cn\r\nconfigformat=single\r\n"
      "[quillnetmecnquorinbob]\r\nmainlan=ja\r\nshuangdan=shuang\r\npreview=off\r\n");
  ChatWindow& other = chat_window("ann - me", 40, 600, 500, 300);
  ChatWindow& host = chat_window("bob - me", 100, 50, 600, 400);
  frmChat& w = open(u"cnquorinbob", host.hwnd);
  ASSERT_TRUE(pump_until([&] { return w.ShowOn; }, 10000)) << "the page never reported WebOk";
  EXPECT_EQ(navigations.front(), w.page_url());
  EXPECT_TRUE(w.page_url().ends_with(u"/IO11/IO.htm")) << to_utf8(w.page_url());

  // init_web carried this chat's own settings over the defaults.
  ASSERT_TRUE(pump_until([&] {
    return js(w,
              "document.getElementById('lan-ja').getAttribute('aria-pressed') + "
              "document.getElementById('fmt-double').getAttribute('aria-pressed') + "
              "document.getElementById('preview').getAttribute('aria-checked')") == "truetruefalse";
  }));

  // Docked at the host's right edge, 630 twips below its top, down to its bottom edge.
  const Hwnd self = w.hwnd();
  ASSERT_TRUE(pump_until([&] { return rect_of(*desktop, self) == Rect{700, 92, 1029, 450}; }));
  // The user moves and resizes the host: the companion follows on the next ticks.
  gtk_window_move(GTK_WINDOW(host.window), 40, 20);
  gtk_window_resize(GTK_WINDOW(host.window), 500, 600);
  EXPECT_TRUE(pump_until([&] {
    return rect_of(*desktop, self) == Rect{540, 62, 869, 620};
  })) << rect_of(*desktop, self).left
      << "," << rect_of(*desktop, self).top << "," << rect_of(*desktop, self).right << ","
      << rect_of(*desktop, self).bottom;
  // ... and so does the GTK window itself.
  GtkWidget* companion = desktop->widget(self);
  EXPECT_TRUE(pump_until([&] {
    GdkRectangle f;
    gdk_window_get_frame_extents(gtk_widget_get_window(companion), &f);
    return Rect{f.x, f.y, f.x + f.width, f.y + f.height} == Rect{540, 62, 869, 620};
  }));

  // An incoming message as the coordinator pushes it, and an own one after translation.
  w.pushmsg_to_web(u"How are you?\r\n[ 你好吗？ ][9kovera]cnquorinbob");
  w.send_to_web(u"谢谢 'a' \"b\"", u"[ Thank you ]", u"cnquorinbob");
  EXPECT_EQ(conversation(w), (std::vector<Shown>{
                                 {u"bob", u"How are you？", u"你好吗？"},
                                 {u"我", u"谢谢 'a' \"b\"", u"Thank you"},
                             }));

  // Send goes to this chat's button only, through the posted click.
  w.getreg();
  EXPECT_TRUE(pump_until([&] { return host.clicks == 1; }, 1000));
  EXPECT_EQ(other.clicks, 0);

  // The input item marks the window dead; the next tick closes it.
  EXPECT_EQ(browser(w).script_errors(), 0);
  w.IsLive = false;
  ASSERT_TRUE(pump_until([&] { return w.unloaded(); }, 1000));
  EXPECT_FALSE(desktop->exists(self));
  EXPECT_EQ(desktop->widget(self), nullptr);
}

// The page's side of the channel, read through the same C++ parser and line builder the
// companion uses: the command URLs the page sends and the script lines it reads.
TEST_F(CompanionTest, PageCommandsReadByTheCommandParser) {
  start("[config]\r\nlan=en\r\n");
  ChatWindow& host = chat_window("bob - me", 100, 50, 600, 400);
  frmChat& w = open(u"cnquorinbob", host.hwnd);
  ASSERT_TRUE(pump_until([&] { return w.ShowOn; }, 10000));
  EXPECT_TRUE(w.page_url().ends_with(u"/IOEN/IO.htm"));
  ASSERT_EQ(navigations.size(), 2u);
  EXPECT_EQ(navigations[1], w.page_url() + u"#WebOk%60");

  auto commands = [&] {
    std::vector<PageCommand> list;
    for (const Str& url : navigations) {
      if (auto c = parse_page_command(url, w.page_url()))
        list.push_back(*c);
    }
    return list;
  };
  // init_web through the line builder, then the extra value goes back with typed text.
  const Str init[] = {u"false", u"Pclose", u"Single", u"a'b#c`d", u"english"};
  w.form()->browser().exec_script(script_line(u"init_web", init));
  js(w, R"(var i = document.getElementById('input');
           i.value = 'It\'s "ok"? #1 50% a`b 你好\nline two';
           document.getElementById('send').click())");
  // Every control sends its word, the same one twice twice.
  const char* controls[] = {"lan-ja",     "lan-en",  "lan-en",  "fmt-double",
                            "fmt-single", "preview", "preview", "settings",
                            "collapse",   "stop",    "stop",    "ui-lan"};
  for (const char* id : controls)
    js(w, std::string("document.getElementById('") + id + "').click()");
  ASSERT_TRUE(pump_until([&] { return commands().size() >= 14; }, 3000));
  gtk_test::pump_for(100);

  const std::vector<PageCommand> got = commands();
  ASSERT_EQ(got.size(), 14u);
  EXPECT_EQ(ui->dialogs().size(), 1u) << "the settings control opened the English dialog";
  EXPECT_EQ(ui->notices().size(), 1u) << "the interface-language control showed its notice";
  EXPECT_EQ(got[0], (PageCommand{u"WebOk", {u""}}));
  EXPECT_EQ(got[1], (PageCommand{u"Word_From_User",
                                 {u"It9kosys 9kodyok9kody？ #1 50% a`b 你好\r\nline two",
                                  u"english", u"Pclose", u"Single", u"a9kosyb#c`d"}}));
  const char16_t* words[] = {u"set_ja",
                             u"set_en",
                             u"set_en",
                             u"set_double",
                             u"set_single",
                             u"set_previewopen",
                             u"set_previewcclose",
                             u"setfullen",
                             u"setclose",
                             u"skype_stop",
                             u"skype_open",
                             u"msn_buy"};
  for (std::size_t i = 0; i < std::size(words); ++i)
    EXPECT_EQ(got[i + 2], (PageCommand{words[i], {u""}})) << i;
  // Whatever else the page navigated to was its own file with an empty fragment (ignored).
  for (const Str& url : navigations) {
    EXPECT_TRUE(url.starts_with(w.page_url())) << to_utf8(url);
  }
  EXPECT_EQ(browser(w).script_errors(), 0);
}

// Texts from a contact or from the translation server, pushed into the page as an incoming
// source, translation and sender name and as an own message: none may run script, navigate or
// show as anything but the text it is. `shown` is how the page shows it where that differs from
// the text: the quote tokens and "%20" read as what they stand for, surrounding white space
// trimmed, a source's "?" full-width, a translation's tags removed (the engines wrap their
// answers in the message's own tags) and its entities read. Square brackets are left out: they
// are the separators of the pushed message itself.
struct Hostile {
  const char16_t* text;
  const char16_t* shown = nullptr;        // as source and name; nullptr: as written
  const char16_t* translation = nullptr;  // nullptr: as `shown`
  const char16_t* source = nullptr;       // nullptr: as `shown`
};

const Hostile kHostile[] = {
    {u"<script>__trap()</script>", nullptr, u"__trap()"},
    {u"<img src=x onerror=__trap()>", nullptr, u""},
    {u"<svg onload=__trap()>", nullptr, u""},
    {u"<iframe src=\"javascript:__trap()\"></iframe>", nullptr, u""},
    {u"<body onload=__trap()>", nullptr, u""},
    {u"<a href=\"javascript:__trap()\">click</a>", nullptr, u"click"},
    {u"\"><img src=x onerror=__trap()>", nullptr, u"\">"},
    {u"'><script>__trap()</script>", nullptr, u"'>__trap()"},
    {u"</script><script>__trap()</script>", nullptr, u"__trap()"},
    {u"</textarea><script>__trap()</script>", nullptr, u"__trap()"},
    {u"<!--<script>__trap()</script>-->", nullptr, u""},
    {u"<style>@import \"javascript:__trap()\";</style>", nullptr,
     u"@import \"javascript:__trap()\";"},
    {u"&lt;script&gt;__trap()&lt;/script&gt;", nullptr, u"<script>__trap()</script>"},
    {u"&#60;img src=x onerror=__trap()&#62;", nullptr, u"<img src=x onerror=__trap()>"},
    {u"'';!--\"<XSS>=&{()}", nullptr, u"'';!--\"=&{()}"},
    {u"javascript:__trap()"},
    {u"');__trap();//"},
    {u"\");__trap();//"},
    {u"\\');__trap();//"},
    {u"' onmouseover='__trap()"},
    {u"\" autofocus onfocus=\"__trap()"},
    {u"\\"},
    {u"ends with a backslash\\"},
    {u"\\\\ two \\\\"},
    {u"\\x3cscript\\x3e__trap()\\x3c/script\\x3e"},
    {u"\\u003cimg src=x onerror=__trap()\\u003e"},
    {u"\\u2028 written out, and the real one:\u2028here"},
    {u"line\u2028separator"},
    {u"paragraph\u2029separator"},
    {u"line\nfeed"},
    {u"carriage\rreturn"},
    {u"tab\there"},
    {u"nul\u0000inside"},
    {u"9kosy);__trap();//", u"');__trap();//"},
    {u"9kody);__trap();//", u"\");__trap();//"},
    {u"9kosy9kody9kosy", u"'\"'"},
    {u"It9kosys 9kodyquoted9kody", u"It's \"quoted\""},
    {u"a%20b", u"a b"},
    {u"why?", nullptr, nullptr, u"why？"},
    {u"'"},
    {u"\""},
    {u"   padded   ", u"padded"},
    {u"${__trap()}"},
    {u"{{constructor.constructor('__trap()')()}}"},
    {u"%3Cscript%3E__trap()%3C/script%3E"},
    {u"IO.htm#setclose`"},
    {u"http://example.invalid/IO.htm#Word_From_User`x`english"},
    {u"window.location='http://example.invalid'"},
    {u"\u202Eright-to-left override\u202C then text"},
    {u"\U0001F469\u200D\U0001F4BB \U0001F525 emoji"},
    {u"长长的中文消息，包含“引号”和‘单引号’。"},
};

TEST_F(CompanionTest, HostileTextsRunNothingNavigateNowhereAndShowAsWritten) {
  ASSERT_GE(std::size(kHostile), 40u);
  start("[config]\r\nlan=cn\r\n");
  ChatWindow& host = chat_window("bob - me", 100, 50, 600, 400);
  frmChat& w = open(u"cnquorinbob", host.hwnd);
  ASSERT_TRUE(pump_until([&] { return w.ShowOn; }, 10000));
  js(w,
     "window.__trapped = 0; window.__trap = function () { window.__trapped += 1; };"
     "window.alert = window.__trap;");
  const std::size_t navigated = navigations.size();

  for (const Hostile& h : kHostile) {
    const Str t = h.text;
    w.pushmsg_to_web(t + u"\r\n[ ok ][9kovera]cnquorinbob");
    w.pushmsg_to_web(u"ok\r\n[ " + t + u" ][9kovera]cnquorinbob");
    w.pushmsg_to_web(u"ok\r\n[ ok ][9kovera]" + t);
    w.send_to_web(t, u"[ " + t + u" ]", u"cnquorinbob");
  }
  gtk_test::pump_for(200);  // let anything that would load or fire do so

  const std::vector<Shown> shown = conversation(w);
  ASSERT_EQ(shown.size(), std::size(kHostile) * 4);
  for (std::size_t i = 0; i < std::size(kHostile); ++i) {
    const Hostile& h = kHostile[i];
    const Str as_text = h.shown ? Str(h.shown) : Str(h.text);
    const Str as_source = h.source ? Str(h.source) : as_text;
    const Str as_translation = h.translation ? Str(h.translation) : as_text;
    const Str as_name = as_text.empty() ? Str(u"对方") : as_text;
    const std::string label = "#" + std::to_string(i) + " " + to_utf8(h.text);
    EXPECT_EQ(shown[i * 4], (Shown{u"bob", as_source, u"ok"})) << "source " << label;
    EXPECT_EQ(shown[i * 4 + 1], (Shown{u"bob", u"ok", as_translation})) << "translation " << label;
    EXPECT_EQ(shown[i * 4 + 2], (Shown{as_name, u"ok", u"ok"})) << "name " << label;
    EXPECT_EQ(shown[i * 4 + 3], (Shown{u"我", as_source, as_translation})) << "own " << label;
  }
  // No element came from a text, no script ran, every line was read, nothing navigated.
  EXPECT_EQ(js(w, R"((function () {
      var seen = {};
      Array.prototype.forEach.call(document.querySelectorAll('#messages *'),
                                   function (e) { seen[e.tagName] = 1; });
      return Object.keys(seen).sort().join(','); })())"),
            "DIV,SPAN");
  EXPECT_EQ(js(w, "String(window.__trapped)"), "0");
  EXPECT_EQ(browser(w).script_errors(), 0);
  EXPECT_EQ(navigations.size(), navigated);
  EXPECT_EQ(js(w, "location.hash"), "#WebOk%60");
}

// A translation server in the test's own loop on a loopback port: it records every request as
// the engines sent it and answers at once from its phrase table (anything else comes back as
// written).
class PhraseServer {
 public:
  struct Request {
    std::string lang;  // the server's language code
    Str text;
  };

  explicit PhraseServer(std::map<Str, Str> phrases)
      : phrases_(std::move(phrases)),
        server_([this](SoupServerMessage* message) { handle(message); }) {}
  std::string base() const { return server_.url(); }
  const std::vector<Request>& requests() const { return requests_; }

 private:
  void handle(SoupServerMessage* message) {
    if (std::string(g_uri_get_path(soup_server_message_get_uri(message))) != "/trans2/index.asp") {
      soup_server_message_set_status(message, 404, nullptr);
      return;
    }
    GHashTable* fields = soup_form_decode(request_body(message).c_str());
    auto field = [&](const char* name) {
      const auto* value = static_cast<const char*>(g_hash_table_lookup(fields, name));
      return std::string(value ? value : "");
    };
    const Request r{field("lang"), from_utf8(field("text"))};
    g_hash_table_unref(fields);
    requests_.push_back(r);
    const auto known = phrases_.find(r.text);
    answer_text(message, to_utf8(known != phrases_.end() ? known->second : r.text));
  }

  std::map<Str, Str> phrases_;
  gtk_test::LoopServer server_;
  std::vector<Request> requests_;
};

// The user writes Chinese into the page's input with real key strokes and presses Enter: the
// text reaches the send translator with this chat's language and contact, goes to the server,
// and its translation comes back into the page and into the chat (method 5, then Send), once.
// With preview on, the first Enter only offers the translation for review in the input; the
// user edits it with keys (brackets included) and the second Enter sends it as it stands, in
// the bilingual format below its source.
TEST_F(CompanionTest, TypedTextIsTranslatedShownAndSentOnce) {
  const Str typed = u"谢谢你的帮助";
  const Str translation = u"Thank you for your help.";
  const Str reviewed = u"Thank you for your help! [1]";
  const Str bilingual = u"[ Thank you for your help! ［1］ ]";  // its own brackets full-width
  struct Case {
    const char* name;
    const char* shuangdan;
    bool preview;
    Str sent;  // what the chat gets
    Str shown_source, shown_translation;
    Str second_request;  // with preview: the reviewed text as it reaches the server
  };
  const Case cases[] = {
      {"single", "dan", false, u"[ " + translation + u" ]", typed, translation, u""},
      {"bilingual", "shuang", false, typed + u"\r\n[ " + translation + u" ]", typed, translation,
       u""},
      {"single, preview", "dan", true, reviewed, reviewed, typed + u"！", reviewed},
      {"bilingual, preview", "shuang", true, typed + u"\r\n" + bilingual, typed, reviewed,
       typed + bilingual},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TearDown();
    chats.clear();
    navigations.clear();
    PhraseServer server({{typed, translation}, {reviewed, typed + u"！"}});
    start("[config]\r\nlan=cn\r\nserver=" + server.base() +
          "\r\n[quillnetmecnquorinbob]\r\nmainlan=en\r\nshuangdan=" + k.shuangdan +
          "\r\npreview=" + (k.preview ? "on" : "off") + "\r\n");
    module->MainUinShort = u"me";
    Frmmain& coordinator = module->coordinator();
    ChatWindow& host = chat_window("bob - me", 100, 50, 600, 400);
    frmChat& w = open(u"cnquorinbob", host.hwnd);
    auto chat = std::make_shared<sim_host::Chat>(u"cnquorinbob");
    w.HostChat = [chat](const Str& recipient, const Str& text) {
      chat->send_text(recipient, text, 0);
    };
    ASSERT_TRUE(pump_until([&] { return w.ShowOn; }, 10000)) << "the page never reported WebOk";
    ASSERT_TRUE(pump_until([&] {
      return js(w, "document.getElementById('preview').getAttribute('aria-checked')") ==
             (k.preview ? "true" : "false");
    }));
    w.web_set_foucs();
    ASSERT_TRUE(pump_until([&] { return js(w, "document.activeElement.id") == "input"; }));
    GtkWidget* view = GTK_WIDGET(browser(w).view());
    auto input = [&] { return from_utf8(js(w, "document.getElementById('input').value")); };

    ASSERT_TRUE(gtk_keys::type_text(view, to_utf8(typed)));
    ASSERT_TRUE(pump_until([&] { return input() == typed; })) << to_utf8(input());
    ASSERT_TRUE(gtk_keys::press_key(view, GDK_KEY_Return));
    ASSERT_TRUE(pump_until([&] { return server.requests().size() == 1; }));
    EXPECT_EQ(server.requests()[0].lang, "02");  // Chinese to English
    EXPECT_EQ(server.requests()[0].text, typed);
    EXPECT_EQ(coordinator.KQTranS.MainLan, u"en");
    EXPECT_EQ(coordinator.KQTranS.flag, u"cnquorinbob");

    if (k.preview) {
      // Offered for review: in the input, nothing sent, nothing in the conversation yet.
      ASSERT_TRUE(pump_until([&] { return input() == translation; })) << to_utf8(input());
      EXPECT_EQ(js(w, "document.getElementById('review').style.display"), "");
      EXPECT_EQ(js(w, "document.getElementById('review-source').textContent"), to_utf8(typed));
      gtk_test::pump_for(200);
      EXPECT_TRUE(chat->sent.empty());
      EXPECT_EQ(host.clicks, 0);
      EXPECT_TRUE(conversation(w).empty());
      ASSERT_TRUE(gtk_keys::press_key(view, GDK_KEY_BackSpace));
      ASSERT_TRUE(gtk_keys::type_text(view, "! [1]"));
      ASSERT_TRUE(pump_until([&] { return input() == reviewed; })) << to_utf8(input());
      ASSERT_TRUE(gtk_keys::press_key(view, GDK_KEY_Return));
      ASSERT_TRUE(pump_until([&] { return server.requests().size() == 2; }));
      EXPECT_EQ(server.requests()[1].text, k.second_request);
    }

    ASSERT_TRUE(pump_until([&] { return !chat->sent.empty() && host.clicks > 0; }));
    gtk_test::pump_for(300);  // anything sent twice would be by now
    std::vector<Str> sent;
    for (const sim_host::Sent& s : chat->sent) {
      EXPECT_EQ(s.contact, u"cnquorinbob");
      sent.push_back(s.text);
    }
    EXPECT_EQ(sent, std::vector<Str>{k.sent});
    EXPECT_EQ(host.clicks, 1);
    ASSERT_TRUE(pump_until([&] { return !conversation(w).empty(); }));
    EXPECT_EQ(conversation(w), (std::vector<Shown>{{u"我", k.shown_source, k.shown_translation}}));
    EXPECT_EQ(input(), u"");
    EXPECT_EQ(browser(w).script_errors(), 0);
    EXPECT_EQ(server.requests().size(), k.preview ? 2u : 1u);
  }
}

}  // namespace
}  // namespace brevant
