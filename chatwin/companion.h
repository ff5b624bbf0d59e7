#pragma once
// What the router sees of a companion window: whose chat it shows, whether it still takes texts,
// and the four things it does for a routed text. The companion windows implement it; the router
// (plugin/) reaches them only through it and through the registry.

#include <optional>

#include "platform/desktop.h"
#include "platform/text.h"

namespace brevant {

// Shown as the translation of a message when no engine answered, so that the page can tell
// "no translation came back" from an empty one.
inline constexpr char16_t kNoTranslation[] = u"9konotran";

// A text the user typed in a companion page, with the page's settings at the moment it was typed:
// its result is composed by them, however the page changes before the translation comes back.
struct TypedText {
  Str lang;  // "en", "ja", or the page's word as it came
  Str text;  // after the page-side replacements and the question-mark guard
  Str format;
  Str preview;
  Str toggle;
};

// The text that goes into the host chat for a translated typed text, or nullopt when nothing
// goes (a notice, or a text only offered for review). `addressed_elsewhere`: the text goes to
// another tab's contact than the companion's own.
std::optional<Str> compose_sent(const TypedText& typed, const Str& trantext, const Str& YuanWen,
                                bool addressed_elsewhere);

class Companion {
 public:
  virtual ~Companion() = default;

  virtual const Str& contact() const = 0;
  // Still open: its host chat item has not closed it and its form has not gone.
  virtual bool live() const = 0;
  // Its page has reported it is ready.
  virtual bool page_shown() const = 0;
  virtual bool translating() const = 0;
  virtual const Str& foreign_language() const = 0;
  virtual Hwnd host_window() const = 0;
  // The page's format and preview settings now (language and text empty).
  virtual TypedText page_settings() const = 0;

  // An incoming message in its three parts (the text as the contact wrote it, its translation,
  // the sender's ID); `shown` a message that carries its own translation, as the host gave it.
  virtual void push_incoming(const Str& source, const Str& translation, const Str& sender) = 0;
  virtual void push_shown(const Str& shown) = 0;
  // Puts `text` into this companion's host chat as the message to `recipient` and presses its
  // Send button. Throws when the chat is gone.
  virtual void hand_to_host(const Str& recipient, const Str& text) = 0;
  // Shows a typed text as sent (or offered for review) with its translation, and gives the page
  // its focus back; `refocus_later` also once more after a moment.
  virtual void show_sent(const TypedText& typed, const Str& YuanWen, const Str& trantext,
                         const Str& own_name, bool refocus_later) = 0;
  // Shows that a typed text was not sent: the page marks it and offers to edit it again.
  virtual void show_failed(const TypedText& typed) = 0;
};

}  // namespace brevant
