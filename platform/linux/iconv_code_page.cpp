#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/code_page.h"

namespace brevant {
namespace {

int g_default_number = 936;

std::string iconv_name(int number) {
  return number == 65001 ? "UTF-8" : "CP" + std::to_string(number);
}

// One iconv descriptor per direction, opened once; the plug-in has one thread.
class IconvCodePage final : public CodePage {
 public:
  IconvCodePage(iconv_t to, iconv_t from) : to_(to), from_(from) {}
  ~IconvCodePage() override {
    iconv_close(to_);
    iconv_close(from_);
  }
  IconvCodePage(const IconvCodePage&) = delete;
  IconvCodePage& operator=(const IconvCodePage&) = delete;

  std::optional<std::string> to_ansi(StrView s) const override {
    std::string out;
    out.reserve(s.size() * 2);
    iconv(to_, nullptr, nullptr, nullptr, nullptr);
    const char* in = reinterpret_cast<const char*>(s.data());
    std::size_t in_left = s.size() * sizeof(char16_t);
    char buf[256];
    while (in_left > 0) {
      char* o = buf;
      std::size_t o_left = sizeof buf;
      std::size_t r = iconv(to_, const_cast<char**>(&in), &in_left, &o, &o_left);
      out.append(buf, o - buf);
      if (r != static_cast<std::size_t>(-1))
        continue;
      if (errno == E2BIG)
        continue;
      if (errno == EILSEQ || errno == EINVAL) {
        // Not representable: one "?" for this code unit, as the system converter does.
        out.push_back('?');
        in += sizeof(char16_t);
        in_left -= sizeof(char16_t);
        iconv(to_, nullptr, nullptr, nullptr, nullptr);
        continue;
      }
      return std::nullopt;
    }
    return out;
  }

  Str from_ansi(std::string_view bytes) const override {
    Str out;
    out.reserve(bytes.size());
    iconv(from_, nullptr, nullptr, nullptr, nullptr);
    const char* in = bytes.data();
    std::size_t in_left = bytes.size();
    char buf[512];
    while (in_left > 0) {
      char* o = buf;
      std::size_t o_left = sizeof buf;
      std::size_t r = iconv(from_, const_cast<char**>(&in), &in_left, &o, &o_left);
      append_units(out, buf, o - buf);
      if (r != static_cast<std::size_t>(-1) || errno == E2BIG)
        continue;
      // A byte that starts no character of the code page.
      out.push_back(u'?');
      ++in;
      --in_left;
      iconv(from_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  static void append_units(Str& out, const char* p, std::size_t n) {
    for (std::size_t i = 0; i + 1 < n; i += 2) {
      char16_t c;
      std::memcpy(&c, p + i, sizeof c);
      out.push_back(c);
    }
  }

  iconv_t to_;
  iconv_t from_;
};

}  // namespace

std::unique_ptr<CodePage> make_code_page(int number) {
  const std::string name = iconv_name(number);
  iconv_t to = iconv_open(name.c_str(), "UTF-16LE");
  if (to == reinterpret_cast<iconv_t>(-1))
    return nullptr;
  iconv_t from = iconv_open("UTF-16LE", name.c_str());
  if (from == reinterpret_cast<iconv_t>(-1)) {
    iconv_close(to);
    return nullptr;
  }
  return std::make_unique<IconvCodePage>(to, from);
}

void set_default_code_page_number(int number) {
  g_default_number = number;
}

std::unique_ptr<CodePage> make_system_code_page() {
  auto cp = make_code_page(g_default_number);
  return cp ? std::move(cp) : make_code_page(936);
}

}  // namespace brevant
