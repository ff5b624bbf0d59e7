#pragma once
// A Ui for tests: answers yes/no questions from a script and records every box shown.
// A question asked after the script ran out is answered no, and still recorded, so that a
// test sees questions it did not expect.

#include <deque>
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

  void answer(bool yes) { answers_.push_back(yes); }

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

  const std::vector<Box>& shown() const { return shown_; }
  std::size_t answers_left() const { return answers_.size(); }

 private:
  std::deque<bool> answers_;
  std::vector<Box> shown_;
};

}  // namespace brevant
