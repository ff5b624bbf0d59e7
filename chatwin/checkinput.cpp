#include "chatwin/checkinput.h"

namespace brevant {
namespace {

// Replaces until the token is gone; each pass shortens the text, so this ends.
void replace_until_gone(Str& text, StrView find, StrView with) {
  while (contains(text, find))
    text = replace_all(text, find, with);
}

}  // namespace

void checkinput(Str& text) {
  replace_until_gone(text, u"\uFF1F", u"?");
  replace_until_gone(text, u"9kosy", u"'");
  replace_until_gone(text, u"9kody", u"\"");
}

}  // namespace brevant
