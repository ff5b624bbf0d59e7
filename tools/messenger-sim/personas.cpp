#include "tools/messenger-sim/personas.h"

#include <glib.h>

#include <algorithm>

namespace brevant::messenger {
namespace {

Str lower(Str s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return s;
}

}  // namespace

// The lines are everyday phrases the bundled server knows, so that they come out translated.
const std::vector<Persona>& personas() {
  static const std::vector<Persona> all = {
      {u"cnquorinemma",
       "en",
       {u"Hello! How are you?"},
       {{u"how are you", u"I'm fine, thank you. And you?"},
        {u"fine", u"Nice to meet you"},
        {u"hello", u"Hello! What are you doing?"},
        {u"name", u"My name is Emma"},
        {u"where", u"I am at home"},
        {u"thank", u"You're welcome"},
        {u"tomorrow", u"See you tomorrow"},
        {u"bye", u"Goodbye"},
        {u"weather", u"The weather is nice today"}},
       {u"What are you doing?", u"Are you free tomorrow?", u"Have a nice day"}},
      {u"cnvetmaryuki",
       "ja",
       {u"こんにちは、お元気ですか"},
       {{u"お元気", u"元気です、ありがとう。あなたは？"},
        {u"元気", u"はじめまして、よろしくお願いします"},
        {u"こんにちは", u"こんにちは"},
        {u"ありがとう", u"どういたしまして"},
        {u"また", u"また明日"},
        {u"さようなら", u"さようなら"}},
       {u"最近どうですか", u"ちょっと待って", u"良い週末を"}},
      {u"quillnetoliver",
       "en",
       {u"Long time no see"},
       {{u"how are you", u"I'm fine, thank you"},
        {u"hello", u"Hello"},
        {u"thank", u"You're welcome"},
        {u"bye", u"See you later"}},
       {u"How have you been?", u"What time is it there?"}},
      {u"cnpelsodharuto",
       "ja",
       {u"お久しぶりです"},
       {{u"元気", u"私も元気です"}, {u"ありがとう", u"どういたしまして"}},
       {u"最近どうですか", u"また今度"}},
      {u"cnquorinsophie", "en", {u"Good morning"}, {{u"thank", u"You're welcome"}}, {u"Hello"}},
      {u"cnvetmarsakura", "ja", {u"おはようございます"}, {}, {u"こんばんは"}},
  };
  return all;
}

Str persona_answer(const Persona& p, const Str& received, std::size_t turn) {
  const Str text = lower(received);
  for (const auto& [word, answer] : p.answers) {
    if (text.find(lower(word)) != Str::npos)
      return answer;
  }
  if (p.small_talk.empty())
    return p.greetings.empty() ? Str() : p.greetings.front();
  return p.small_talk[turn % p.small_talk.size()];
}

struct Personas::Line {
  Personas* self;
  Str contact;
  Str text;
  bool greeting = false;
  int postponed = 0;
  unsigned id = 0;
};

// A greeting waits for the user to switch translation on, a while at most, so that it shows in
// the companion.
constexpr int kGreetingPostponements = 8;

Personas::Personas(Messenger& messenger, int delay_ms)
    : messenger_(messenger), delay_ms_(delay_ms), turns_(personas().size(), 0) {
  messenger_.add_listener(this);
}

Personas::~Personas() {
  for (unsigned id : timers_)
    g_source_remove(id);
}

const Persona* Personas::of(const Str& contact) const {
  for (const Persona& p : personas()) {
    if (p.contact == contact)
      return &p;
  }
  return nullptr;
}

void Personas::chat_opened(const Str& contact) {
  const Persona* p = of(contact);
  if (p && !p->greetings.empty())
    schedule(contact, p->greetings.front(), true);
}

void Personas::delivered(const Str& contact, const Str& text) {
  const Persona* p = of(contact);
  if (!p)
    return;
  const std::size_t index = static_cast<std::size_t>(p - personas().data());
  schedule(contact, persona_answer(*p, text, turns_[index]++));
}

void Personas::schedule(const Str& contact, const Str& text, bool greeting) {
  if (text.empty())
    return;
  auto* line = new Line{this, contact, text, greeting};
  line->id = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delay_ms_),
                                reinterpret_cast<GSourceFunc>(&Personas::on_due), line,
                                [](gpointer l) { delete static_cast<Line*>(l); });
  timers_.push_back(line->id);
}

int Personas::on_due(void* data) {
  auto* line = static_cast<Line*>(data);
  Personas* self = line->self;
  ChatTab* tab = self->messenger_.find(line->contact);
  if (tab && line->greeting && !tab->translation_on() && line->postponed++ < kGreetingPostponements)
    return G_SOURCE_CONTINUE;
  std::erase(self->timers_, line->id);
  if (tab)
    self->messenger_.contact_says(line->contact, line->text);
  return G_SOURCE_REMOVE;
}

}  // namespace brevant::messenger
