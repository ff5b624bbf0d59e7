#pragma once
// Script mode: a JSON file of steps that the messenger carries out one after the other, as a
// person would (chats opened and closed, contacts writing, texts typed into a companion page
// with real key events, page controls and dialogs clicked, windows moved), and the transcript
// of what came of it: for each chat what its companion page shows, what the contact received
// and what was pressed, and the settings file. The format is in the README.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/messenger-sim/activity.h"
#include "tools/messenger-sim/messenger.h"
#include "tools/messenger-sim/personas.h"
#include "tools/messenger-sim/server_process.h"

namespace brevant::messenger {

// A chat's page as read from its DOM: every message in order, and the page's controls.
nlohmann::json read_page(frmChat& companion);

// Writes the screen area of the chat window holding `tab` and its companion to `file` (PNG).
bool screenshot(ChatTab& tab, const std::string& file);

struct ScriptContext {
  Messenger& messenger;
  HttpActivity& activity;
  Personas* personas = nullptr;     // nullptr: the contacts write only what the script says
  ServerProcess* server = nullptr;  // the bundled server, when the messenger started it
  std::string out_dir = ".";        // where screenshots go
};

class ScriptRunner {
 public:
  // Throws std::invalid_argument when the script is malformed (an unknown step, a missing field).
  ScriptRunner(ScriptContext context, const nlohmann::json& steps);
  ~ScriptRunner();

  // Runs the steps on the main loop; `done` gets whether every step was carried out.
  void start(std::function<void(bool)> done);

  // The transcript: the chats (open ones read now), dialogs answered, screenshots, settings.
  nlohmann::json transcript();
  static std::string as_text(const nlohmann::json& transcript);
  const std::string& error() const { return error_; }

  // Whether a script asks for the personas ("personas": true at the top).
  static bool wants_personas(const nlohmann::json& script);
  static const nlohmann::json& steps_of(const nlohmann::json& script);

 private:
  struct Step;
  struct Kind;
  static const Kind* kind(const std::string& name);
  static int on_tick(void* self);
  bool tick();
  Step make(const nlohmann::json& s);
  std::function<bool()> page_ready(Str contact);
  // The kinds of step.
  void open_step(const nlohmann::json& s, Step& step);
  void tab_step(const nlohmann::json& s, Step& step);
  void switch_step(const nlohmann::json& s, Step& step);
  void close_step(const nlohmann::json& s, Step& step);
  void say_step(const nlohmann::json& s, Step& step);
  void send_step(const nlohmann::json& s, Step& step);
  void type_step(const nlohmann::json& s, Step& step);
  void click_step(const nlohmann::json& s, Step& step);
  void item_step(const nlohmann::json& s, Step& step);
  void dialog_step(const nlohmann::json& s, Step& step);
  void move_step(const nlohmann::json& s, Step& step);
  void wait_step(const nlohmann::json& s, Step& step);
  void server_step(const nlohmann::json& s, Step& step);
  void snapshot_step(const nlohmann::json& s, Step& step);
  void screenshot_step(const nlohmann::json& s, Step& step);
  ChatTab& chat(const nlohmann::json& s);
  nlohmann::json chat_record(ChatTab& tab, bool open);

  ScriptContext ctx_;
  std::vector<nlohmann::json> steps_;
  std::size_t index_ = 0;
  std::unique_ptr<Step> current_;
  std::function<void(bool)> done_;
  unsigned source_ = 0;
  std::string error_;
  nlohmann::json closed_ = nlohmann::json::array();
  nlohmann::json dialogs_ = nlohmann::json::array();
  nlohmann::json shots_ = nlohmann::json::array();
  nlohmann::json snapshots_ = nlohmann::json::object();
};

}  // namespace brevant::messenger
