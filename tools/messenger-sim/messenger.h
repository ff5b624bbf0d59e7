#pragma once
// The stand-in messenger: signs in with its own ID, lists a few contacts, and opens chat
// windows (one contact each, or several as tabs of one window) that host the plug-in exactly as
// the messenger does: the plug-in object is connected and told of the login, every chat tab gets
// a main item and an input item, and every message a contact or the user sends is reported.
//
// A chat window is a GTK window registered with the desktop as class "StandardFrame", titled
// "contact - own ID" (both without site prefix). Each tab has a history, the input item's
// button and an input box; the window has one Send button ("StandardButton", "发送" or "Send"),
// which sends the current tab's draft.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "plugin/items.h"
#include "plugin/module.h"
#include "plugin/plugin_objects.h"
#include "tools/messenger-sim/host_objects.h"

typedef struct _GtkWidget GtkWidget;

namespace brevant {
class GtkDesktop;
class frmChat;
}  // namespace brevant

namespace brevant::messenger {

struct Contact {
  Str id;    // site prefix included
  Str name;  // shown in the contact list
};

// The contacts every messenger starts with (their personas are in personas.h).
const std::vector<Contact>& default_contacts();

struct MessengerOptions {
  Str own_id = u"cnquorinxiaoming";
  bool english_host = false;  // the Send button reads "Send" rather than "发送"
  std::vector<Contact> contacts = default_contacts();
};

class Messenger;
class ChatWindow;

// One contact of a chat window.
class ChatTab final : public TabHost {
 public:
  ChatTab(Messenger& messenger, ChatWindow& window, Str contact);
  ~ChatTab() override;

  const Str& contact() const { return contact_; }
  ChatWindow& window() { return window_; }
  // The companion window the input item made for this tab (nullptr when it has none).
  frmChat* companion();
  bool translation_on();

  // What the contact received, in order, and what was pressed in this chat.
  std::vector<Str> received;
  std::vector<std::string> pressed;

  void add_history(const Str& who, const Str& text);
  Str draft() const;
  void set_draft(const Str& text);
  // The user clicks the input item's button.
  void click_item();

  // TabHost
  void show_item(bool show) override;
  void enable_item(bool enable) override;
  void place_text(const Str& contact_id, const Str& text) override;
  std::vector<Str> window_contacts() override;
  std::shared_ptr<sdk::Object> first_slot() override;

  GtkWidget* page() const { return page_; }
  GtkWidget* item_button() const { return item_button_; }
  const std::shared_ptr<Slot>& slot() const { return slot_; }
  void create_items();
  void destroy_items();
  VbImChatMainPlugin* main_item() { return main_item_.get(); }

 private:
  Messenger& messenger_;
  ChatWindow& window_;
  Str contact_;
  GtkWidget* page_ = nullptr;
  GtkWidget* history_ = nullptr;
  GtkWidget* input_ = nullptr;
  GtkWidget* item_button_ = nullptr;
  Hwnd item_area_ = 0;  // the input item's parent window, three levels below the chat window
  std::shared_ptr<Chat> chat_;
  std::shared_ptr<Slot> slot_;
  std::unique_ptr<VbImChatMainPlugin> main_item_;
  std::unique_ptr<VbImChatInputPlugin> input_item_;
};

class ChatWindow {
 public:
  ChatWindow(Messenger& messenger, const std::optional<Rect>& where);
  ~ChatWindow();

  GtkWidget* widget() const { return window_; }
  Hwnd hwnd() const { return hwnd_; }
  std::vector<std::unique_ptr<ChatTab>>& tabs() { return tabs_; }
  ChatTab* current();
  ChatTab& add_tab(const Str& contact);
  // Removes the tab (its items are destroyed); false when the window has no tabs left.
  bool remove_tab(ChatTab& tab);
  // Makes `tab` the shown one, with the tab notifications when the window has several.
  void show_tab(ChatTab& tab);
  void retitle();
  // The Send button: the current tab's draft goes to its contact.
  void press_send();
  GtkWidget* send_button() const { return send_; }
  int send_presses = 0;

 private:
  static void on_send_clicked(GtkWidget*, void* self);
  static void on_switch_page(GtkWidget*, GtkWidget* page, unsigned, void* self);
  static int on_delete(GtkWidget*, void*, void* self);

  Messenger& messenger_;
  GtkWidget* window_ = nullptr;
  GtkWidget* notebook_ = nullptr;
  GtkWidget* heading_ = nullptr;  // the title, also where no window manager draws one
  GtkWidget* send_ = nullptr;
  Hwnd hwnd_ = 0;
  std::vector<std::unique_ptr<ChatTab>> tabs_;
  bool switching_ = false;
};

// Something the messenger tells its listener (the personas, the script's transcript).
class MessengerListener {
 public:
  virtual ~MessengerListener() = default;
  virtual void chat_opened(const Str& /*contact*/) {}
  // The user's message reached `contact`.
  virtual void delivered(const Str& /*contact*/, const Str& /*text*/) {}
};

class Messenger {
 public:
  // `module` is the plug-in's, built on the Linux services (its desktop a GtkDesktop).
  Messenger(Module& module, MessengerOptions options);
  ~Messenger();

  // Connects the plug-in and signs in; shows the contact list.
  void sign_in();

  // Opens a chat window for `contact` (or shows the tab it already has).
  ChatTab& open_chat(const Str& contact, const std::optional<Rect>& where = std::nullopt);
  // Shows `contact` as a further tab of the window that holds `beside`.
  ChatTab& add_tab(const Str& beside, const Str& contact);
  void close_chat(const Str& contact);
  // The contact writes `text` to the user.
  void contact_says(const Str& contact, const Str& text);

  ChatTab* find(const Str& contact);
  std::vector<ChatTab*> tabs();
  // Every tab ever opened that has been closed since, with what it last showed.
  const MessengerOptions& options() const { return options_; }
  Str own_short() const;
  Str display_name(const Str& contact) const;

  Module& module() { return module_; }
  GtkDesktop& desktop() { return desktop_; }
  VbBrevant& plugin() { return plugin_; }
  void add_listener(MessengerListener* l) { listeners_.push_back(l); }
  // A tab is about to close (the script reads its page first).
  std::function<void(ChatTab&)> before_close;

  // For the windows and tabs.
  void user_sent(ChatTab& tab, const Str& text);
  void window_closed(ChatWindow& window);
  void notify_chat_opened(const Str& contact);

 private:
  GtkWidget* build_contact_list();

  Module& module_;
  GtkDesktop& desktop_;
  MessengerOptions options_;
  VbBrevant plugin_;
  std::shared_ptr<Application> application_;
  GtkWidget* contact_list_ = nullptr;
  std::vector<std::unique_ptr<ChatWindow>> windows_;
  std::vector<MessengerListener*> listeners_;
};

}  // namespace brevant::messenger
