#pragma once
// A Ui for tests: answers yes/no questions and settings dialogs from a script and records
// every box, dialog and notice shown. A question asked after the script ran out is answered
// no, a dialog cancelled, and both are still recorded, so that a test sees what it did not
// expect.

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "platform/ui.h"

namespace brevant {

class ScriptedUi final : public Ui {
 public:
  struct Box {
    Str title;
    Str text;
    bool yes_no = false;
    bool operator==(const Box&) const = default;
  };

  // What the user does with a settings dialog: given the controls as shown, the controls on
  // accepting, or nullopt to cancel.
  using DialogAnswer = std::function<std::optional<DialogChoice>(const DialogChoice& shown)>;

  struct Dialog {
    SettingsDialogText text;
    DialogChoice shown;  // the controls as the dialog opened
    Hwnd owner = 0;
  };

  void answer(bool yes) { answers_.push_back(yes); }
  void answer_dialog(DialogAnswer answer) { dialog_answers_.push_back(std::move(answer)); }

  bool ask_yes_no(StrView title, StrView question) override {
    shown_.push_back({Str(title), Str(question), true});
    if (answers_.empty())
      return false;
    bool yes = answers_.front();
    answers_.pop_front();
    return yes;
  }

  void show_message(StrView title, StrView text) override {
    shown_.push_back({Str(title), Str(text), false});
  }

  std::optional<DialogChoice> run_settings_dialog(Hwnd owner, const SettingsDialogText& text,
                                                  const DialogChoice& initial) override {
    dialogs_.push_back({text, initial, owner});
    if (dialog_answers_.empty())
      return std::nullopt;
    DialogAnswer answer = std::move(dialog_answers_.front());
    dialog_answers_.pop_front();
    return answer(initial);
  }

  void show_notice(Hwnd owner, StrView caption, StrView text) override {
    notices_.push_back({Str(caption), Str(text), false});
    notice_owners_.push_back(owner);
  }

  const std::vector<Box>& shown() const { return shown_; }
  const std::vector<Dialog>& dialogs() const { return dialogs_; }
  const std::vector<Box>& notices() const { return notices_; }
  // The window each notice was modal over, in order.
  const std::vector<Hwnd>& notice_owners() const { return notice_owners_; }
  std::size_t answers_left() const { return answers_.size() + dialog_answers_.size(); }

 private:
  std::deque<bool> answers_;
  std::deque<DialogAnswer> dialog_answers_;
  std::vector<Box> shown_;
  std::vector<Dialog> dialogs_;
  std::vector<Box> notices_;
  std::vector<Hwnd> notice_owners_;
};

}  // namespace brevant
