#include "tools/messenger-sim/messenger.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "platform/failure.h"
#include "platform/linux/gtk_desktop.h"
#include "plugin/frmmain.h"

namespace brevant::messenger {
namespace {

std::int32_t next_cookie() {
  static std::int32_t cookie = 100;
  return ++cookie;
}

constexpr int kChatWidth = 420;
constexpr int kChatHeight = 520;

}  // namespace

const std::vector<Contact>& default_contacts() {
  static const std::vector<Contact> contacts = {
      {u"cnquorinemma", u"Emma"},     {u"cnvetmaryuki", u"Yuki"},
      {u"quillnetoliver", u"Oliver"}, {u"cnpelsodharuto", u"Haruto"},
      {u"cnquorinsophie", u"Sophie"}, {u"cnvetmarsakura", u"Sakura"},
  };
  return contacts;
}

// ------------------------------------------------------------------ ChatTab

ChatTab::ChatTab(Messenger& messenger, ChatWindow& window, Str contact)
    : messenger_(messenger), window_(window), contact_(std::move(contact)) {
  chat_ = std::make_shared<Chat>(contact_);
  slot_ = std::make_shared<Slot>(chat_);
  chat_->host = this;
  slot_->host = this;

  page_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(page_), 4);
  history_ = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(history_), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(history_), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(history_), GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(history_), 6);
  GtkTextBuffer* hb = gtk_text_view_get_buffer(GTK_TEXT_VIEW(history_));
  gtk_text_buffer_create_tag(hb, "who", "weight", PANGO_WEIGHT_BOLD, "foreground", "#2a6db0",
                             nullptr);
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(scroll), history_);
  gtk_box_pack_start(GTK_BOX(page_), scroll, TRUE, TRUE, 0);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  GtkWidget* area = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  item_button_ = gtk_button_new_with_label("");
  gtk_widget_set_no_show_all(item_button_, TRUE);
  gtk_box_pack_start(GTK_BOX(area), item_button_, FALSE, FALSE, 0);
  g_signal_connect(item_button_, "clicked", G_CALLBACK(+[](GtkWidget*, gpointer tab) {
                     static_cast<ChatTab*>(tab)->click_item();
                   }),
                   this);
  input_ = gtk_text_view_new();
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(input_), GTK_WRAP_WORD_CHAR);
  GtkWidget* input_scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_size_request(input_scroll, -1, 64);
  gtk_container_add(GTK_CONTAINER(input_scroll), input_);
  gtk_box_pack_start(GTK_BOX(row), area, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), input_scroll, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(page_), row, FALSE, FALSE, 0);
  gtk_widget_show_all(page_);

  // The input item's window lies three levels below the chat window, as in the messenger.
  GtkDesktop& d = messenger_.desktop();
  const Hwnd page_hwnd = d.register_widget(page_, u"Panel", u"", window_.hwnd());
  const Hwnd row_hwnd = d.register_widget(row, u"Panel", u"", page_hwnd);
  item_area_ = d.register_widget(area, u"Input", u"", row_hwnd);
}

ChatTab::~ChatTab() {
  chat_->host = nullptr;
  slot_->host = nullptr;
}

void ChatTab::create_items() {
  main_item_ = std::make_unique<VbImChatMainPlugin>(messenger_.module());
  input_item_ = std::make_unique<VbImChatInputPlugin>(messenger_.module());
  skip_failure("main item OnCreate", [&] {
    main_item_->OnCreate(slot_, static_cast<std::int32_t>(item_area_), next_cookie());
  });
  skip_failure("input item OnCreate", [&] {
    input_item_->OnCreate(slot_, static_cast<std::int32_t>(item_area_), next_cookie());
  });
  show_item(true);
}

void ChatTab::destroy_items() {
  if (input_item_)
    skip_failure("input item OnDestroy", [&] { input_item_->OnDestroy(); });
  if (main_item_)
    skip_failure("main item OnDestroy", [&] { main_item_->OnDestroy(); });
  chat_->host = nullptr;
  slot_->host = nullptr;
}

frmChat* ChatTab::companion() {
  if (!input_item_)
    return nullptr;
  frmChat* w = messenger_.module().ChatWin(input_item_->window_index());
  return w && !w->unloaded() ? w : nullptr;
}

bool ChatTab::translation_on() {
  frmChat* w = companion();
  return w && w->TranOn;
}

void ChatTab::click_item() {
  pressed.push_back("item");
  if (input_item_)
    skip_failure("input item OnClick", [&] { input_item_->OnClick(); });
  show_item(gtk_widget_get_visible(item_button_));
}

void ChatTab::show_item(bool show) {
  const bool en = messenger_.options().english_host;
  const char* label =
      translation_on() ? (en ? "Translate: on" : "翻译：开") : (en ? "Translate: off" : "翻译：关");
  gtk_button_set_label(GTK_BUTTON(item_button_), label);
  gtk_widget_set_visible(item_button_, show);
}

void ChatTab::enable_item(bool enable) {
  gtk_widget_set_sensitive(item_button_, enable);
}

void ChatTab::add_history(const Str& who, const Str& text) {
  GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(history_));
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(b, &end);
  const std::string w = to_utf8(who) + "\n";
  gtk_text_buffer_insert_with_tags_by_name(b, &end, w.c_str(), -1, "who", nullptr);
  gtk_text_buffer_get_end_iter(b, &end);
  const std::string t = to_utf8(replace_all(text, u"\r\n", u"\n")) + "\n\n";
  gtk_text_buffer_insert(b, &end, t.c_str(), -1);
  gtk_text_buffer_get_end_iter(b, &end);
  gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(history_), &end, 0, FALSE, 0, 0);
}

Str ChatTab::draft() const {
  GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(input_));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(b, &start, &end);
  gchar* text = gtk_text_buffer_get_text(b, &start, &end, FALSE);
  Str s = from_utf8(text);
  g_free(text);
  return s;
}

void ChatTab::set_draft(const Str& text) {
  const std::string t = to_utf8(text);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(input_)), t.c_str(), -1);
}

void ChatTab::place_text(const Str& contact_id, const Str& text) {
  ChatTab* target = this;
  for (auto& tab : window_.tabs()) {
    if (tab->contact() == contact_id)
      target = tab.get();
  }
  target->set_draft(text);
  window_.show_tab(*target);
}

std::vector<Str> ChatTab::window_contacts() {
  std::vector<Str> ids;
  for (auto& tab : window_.tabs())
    ids.push_back(tab->contact());
  return ids;
}

std::shared_ptr<sdk::Object> ChatTab::first_slot() {
  return window_.tabs().empty() ? nullptr : window_.tabs().front()->slot();
}

// ------------------------------------------------------------------ ChatWindow

ChatWindow::ChatWindow(Messenger& messenger, const std::optional<Rect>& where)
    : messenger_(messenger) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  heading_ = gtk_label_new("");
  gtk_widget_set_halign(heading_, GTK_ALIGN_START);
  g_object_set(heading_, "margin", 4, nullptr);
  gtk_box_pack_start(GTK_BOX(box), heading_, FALSE, FALSE, 0);
  notebook_ = gtk_notebook_new();
  gtk_notebook_set_show_tabs(GTK_NOTEBOOK(notebook_), FALSE);
  gtk_notebook_set_scrollable(GTK_NOTEBOOK(notebook_), TRUE);
  gtk_box_pack_start(GTK_BOX(box), notebook_, TRUE, TRUE, 0);
  const Str caption = messenger_.options().english_host ? kSendEnglish : kSendChinese;
  send_ = gtk_button_new_with_label(to_utf8(caption).c_str());
  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(bar), 4);
  gtk_box_pack_end(GTK_BOX(bar), send_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  const Rect r = where.value_or(Rect{40, 40, 40 + kChatWidth, 40 + kChatHeight});
  gtk_window_move(GTK_WINDOW(window_), r.left, r.top);
  gtk_window_resize(GTK_WINDOW(window_), r.right - r.left, r.bottom - r.top);
  g_signal_connect(send_, "clicked", G_CALLBACK(on_send_clicked), this);
  g_signal_connect(notebook_, "switch-page", G_CALLBACK(on_switch_page), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  gtk_widget_show_all(window_);
  hwnd_ = messenger_.desktop().register_widget(window_, kHostFrameClass, u"");
  messenger_.desktop().register_widget(send_, kHostButtonClass, caption, hwnd_);
}

ChatWindow::~ChatWindow() {
  for (auto& tab : tabs_)
    tab->destroy_items();
  tabs_.clear();
  if (window_)
    gtk_widget_destroy(window_);
}

ChatTab* ChatWindow::current() {
  const int n = gtk_notebook_get_current_page(GTK_NOTEBOOK(notebook_));
  if (n < 0 || n >= static_cast<int>(tabs_.size()))
    return tabs_.empty() ? nullptr : tabs_.front().get();
  GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook_), n);
  for (auto& tab : tabs_) {
    if (tab->page() == page)
      return tab.get();
  }
  return nullptr;
}

ChatTab& ChatWindow::add_tab(const Str& contact) {
  tabs_.push_back(std::make_unique<ChatTab>(messenger_, *this, contact));
  ChatTab& tab = *tabs_.back();
  const std::string label = to_utf8(messenger_.display_name(contact));
  switching_ = true;
  gtk_notebook_append_page(GTK_NOTEBOOK(notebook_), tab.page(), gtk_label_new(label.c_str()));
  gtk_notebook_set_show_tabs(GTK_NOTEBOOK(notebook_), tabs_.size() > 1);
  switching_ = false;
  tab.create_items();
  if (tabs_.size() > 1)
    show_tab(tab);
  else
    retitle();
  return tab;
}

bool ChatWindow::remove_tab(ChatTab& tab) {
  tab.destroy_items();
  const int n = gtk_notebook_page_num(GTK_NOTEBOOK(notebook_), tab.page());
  switching_ = true;
  if (n >= 0)
    gtk_notebook_remove_page(GTK_NOTEBOOK(notebook_), n);
  switching_ = false;
  std::erase_if(tabs_, [&](const auto& t) { return t.get() == &tab; });
  gtk_notebook_set_show_tabs(GTK_NOTEBOOK(notebook_), tabs_.size() > 1);
  if (tabs_.empty())
    return false;
  if (ChatTab* now = current())
    show_tab(*now);
  return true;
}

void ChatWindow::show_tab(ChatTab& tab) {
  const int n = gtk_notebook_page_num(GTK_NOTEBOOK(notebook_), tab.page());
  if (n < 0)
    return;
  const bool changed = current() != &tab;
  if (changed) {
    switching_ = true;
    gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook_), n);
    switching_ = false;
  }
  retitle();
  if (tabs_.size() > 1 && tab.main_item()) {
    // The tab notifications go to the main item of the tab being shown.
    skip_failure("tab changing",
                 [&] { tab.main_item()->OnNotify(0, std::make_shared<TabChange>(tab.contact())); });
    skip_failure("tab changed",
                 [&] { tab.main_item()->OnNotify(1, std::make_shared<TabChange>(tab.contact())); });
  }
}

void ChatWindow::retitle() {
  ChatTab* tab = current();
  if (!tab || hwnd_ == 0)
    return;
  const Str title = contact_short(tab->contact()) + u" - " + messenger_.own_short();
  messenger_.desktop().set_title(hwnd_, title);
  gchar* markup = g_markup_printf_escaped("<b>%s</b>", to_utf8(title).c_str());
  gtk_label_set_markup(GTK_LABEL(heading_), markup);
  g_free(markup);
}

void ChatWindow::press_send() {
  ++send_presses;
  ChatTab* tab = current();
  if (!tab)
    return;
  tab->pressed.push_back("Send");
  const Str text = tab->draft();
  if (text.empty())
    return;
  tab->set_draft(u"");
  messenger_.user_sent(*tab, text);
}

void ChatWindow::on_send_clicked(GtkWidget*, void* self) {
  static_cast<ChatWindow*>(self)->press_send();
}

void ChatWindow::on_switch_page(GtkWidget*, GtkWidget* page, unsigned, void* self) {
  auto* w = static_cast<ChatWindow*>(self);
  if (w->switching_)
    return;
  // The user clicked a tab.
  for (auto& tab : w->tabs_) {
    if (tab->page() == page) {
      ChatTab* t = tab.get();
      w->retitle();
      if (t->main_item()) {
        skip_failure("tab changing", [&] {
          t->main_item()->OnNotify(0, std::make_shared<TabChange>(t->contact()));
        });
        skip_failure("tab changed", [&] {
          t->main_item()->OnNotify(1, std::make_shared<TabChange>(t->contact()));
        });
      }
    }
  }
}

int ChatWindow::on_delete(GtkWidget*, void*, void* self) {
  auto* w = static_cast<ChatWindow*>(self);
  w->messenger_.window_closed(*w);
  return TRUE;  // the messenger destroys it
}

// ------------------------------------------------------------------ Messenger

Messenger::Messenger(Module& module, MessengerOptions options)
    : module_(module),
      desktop_(dynamic_cast<GtkDesktop&>(module.desktop())),
      options_(std::move(options)),
      plugin_(module) {}

Messenger::~Messenger() {
  windows_.clear();
  if (contact_list_)
    gtk_widget_destroy(contact_list_);
}

Str Messenger::own_short() const {
  return strip_site_prefixes(options_.own_id);
}

Str Messenger::display_name(const Str& contact) const {
  for (const Contact& c : options_.contacts) {
    if (c.id == contact)
      return c.name;
  }
  return contact_short(contact);
}

void Messenger::sign_in() {
  application_ = std::make_shared<Application>(options_.own_id);
  skip_failure("OnConnect", [&] { plugin_.OnConnect(application_, 1); });
  skip_failure("login", [&] { plugin_.OnNotify(0, nullptr); });
  contact_list_ = build_contact_list();
}

GtkWidget* Messenger::build_contact_list() {
  GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  const bool en = options_.english_host;
  const std::string title = to_utf8(own_short()) + (en ? " - Contacts" : " - 联系人");
  gtk_window_set_title(GTK_WINDOW(w), title.c_str());
  // At the screen's right edge, out of the way of the chats and their companions.
  const int width = gdk_window_get_width(gdk_get_default_root_window());
  gtk_window_move(GTK_WINDOW(w), std::max(0, width - 250), 40);
  gtk_window_set_default_size(GTK_WINDOW(w), 220, 360);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  const std::string me = (en ? "Signed in as " : "已登录：") + to_utf8(options_.own_id);
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new(me.c_str()), FALSE, FALSE, 0);
  for (const Contact& c : options_.contacts) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    const std::string label = to_utf8(c.name) + "  (" + to_utf8(c.id) + ")";
    GtkWidget* open = gtk_button_new_with_label(label.c_str());
    gtk_widget_set_tooltip_text(open, en ? "Open a chat" : "打开聊天");
    GtkWidget* tab = gtk_button_new_with_label(en ? "+ tab" : "+ 标签");
    gtk_widget_set_tooltip_text(
        tab, en ? "Add as a tab to the newest chat window" : "作为标签加入最新的聊天窗口");
    auto* id = new Str(c.id);
    g_object_set_data_full(
        G_OBJECT(open), "contact", id, +[](gpointer p) { delete static_cast<Str*>(p); });
    g_object_set_data(G_OBJECT(tab), "contact", id);
    g_signal_connect(open, "clicked", G_CALLBACK(+[](GtkWidget* b, gpointer self) {
                       auto* m = static_cast<Messenger*>(self);
                       m->open_chat(*static_cast<Str*>(g_object_get_data(G_OBJECT(b), "contact")));
                     }),
                     this);
    g_signal_connect(tab, "clicked", G_CALLBACK(+[](GtkWidget* b, gpointer self) {
                       auto* m = static_cast<Messenger*>(self);
                       const Str contact =
                           *static_cast<Str*>(g_object_get_data(G_OBJECT(b), "contact"));
                       if (m->windows_.empty() || m->windows_.back()->tabs().empty())
                         m->open_chat(contact);
                       else
                         m->add_tab(m->windows_.back()->tabs().front()->contact(), contact);
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(row), open, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(row), tab, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
  }
  gtk_container_add(GTK_CONTAINER(w), box);
  g_signal_connect(w, "delete-event", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(w);
  return w;
}

ChatTab* Messenger::find(const Str& contact) {
  for (auto& w : windows_) {
    for (auto& tab : w->tabs()) {
      if (tab->contact() == contact)
        return tab.get();
    }
  }
  return nullptr;
}

std::vector<ChatTab*> Messenger::tabs() {
  std::vector<ChatTab*> all;
  for (auto& w : windows_) {
    for (auto& tab : w->tabs())
      all.push_back(tab.get());
  }
  return all;
}

ChatTab& Messenger::open_chat(const Str& contact, const std::optional<Rect>& where) {
  if (ChatTab* tab = find(contact)) {
    tab->window().show_tab(*tab);
    gtk_window_present(GTK_WINDOW(tab->window().widget()));
    return *tab;
  }
  std::optional<Rect> place = where;
  if (!place) {
    // Side by side, each with room for its companion on the right.
    const int n = static_cast<int>(windows_.size()) % 2;
    const int x = 20 + n * (kChatWidth + 340);
    place = Rect{x, 40, x + kChatWidth, 40 + kChatHeight};
  }
  windows_.push_back(std::make_unique<ChatWindow>(*this, place));
  ChatTab& tab = windows_.back()->add_tab(contact);
  notify_chat_opened(contact);
  return tab;
}

ChatTab& Messenger::add_tab(const Str& beside, const Str& contact) {
  ChatTab* host = find(beside);
  if (!host)
    return open_chat(contact);
  if (ChatTab* tab = find(contact))
    return *tab;
  ChatTab& tab = host->window().add_tab(contact);
  notify_chat_opened(contact);
  return tab;
}

void Messenger::notify_chat_opened(const Str& contact) {
  for (MessengerListener* l : listeners_)
    l->chat_opened(contact);
}

void Messenger::close_chat(const Str& contact) {
  ChatTab* tab = find(contact);
  if (!tab)
    return;
  if (before_close)
    before_close(*tab);
  ChatWindow& w = tab->window();
  if (!w.remove_tab(*tab)) {
    std::erase_if(windows_, [&](const auto& p) { return p.get() == &w; });
  }
}

void Messenger::window_closed(ChatWindow& window) {
  std::vector<Str> contacts;
  for (auto& tab : window.tabs())
    contacts.push_back(tab->contact());
  for (const Str& c : contacts)
    close_chat(c);
}

void Messenger::contact_says(const Str& contact, const Str& text) {
  ChatTab* tab = find(contact);
  if (!tab)
    tab = &open_chat(contact);
  tab->add_history(display_name(contact), text);
  skip_failure("chat message",
               [&] { plugin_.OnNotify(3, std::make_shared<ChatMessage>(contact, text)); });
}

void Messenger::user_sent(ChatTab& tab, const Str& text) {
  tab.received.push_back(text);
  tab.add_history(options_.english_host ? u"Me" : u"我", text);
  skip_failure("chat message",
               [&] { plugin_.OnNotify(3, std::make_shared<ChatMessage>(options_.own_id, text)); });
  const Str contact = tab.contact();
  for (MessengerListener* l : listeners_)
    l->delivered(contact, text);
}

}  // namespace brevant::messenger
