#pragma once
// Back ends of the translation server and the request handling around them.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "tools/trans-server/lang_codes.h"

namespace brevant::trans_server {

// What the server answers: a status and a plain-text body (the translation alone on success,
// a one-line reason otherwise).
struct Reply {
  int status = 200;
  std::string body;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Called from several server threads at once.
  virtual Reply translate(const LangPair& pair, std::string_view text) const = 0;
};

// Offline and deterministic: the built-in phrase tables. Pairs without a table get 400.
class PhrasebookBackend : public Backend {
 public:
  Reply translate(const LangPair& pair, std::string_view text) const override;
};

// A LibreTranslate-compatible service at `upstream` ("http://host:port" with an optional path
// prefix). Every failure of the service becomes 502 with a one-line reason.
struct UpstreamConfig {
  std::string url;
  std::string api_key;
  std::chrono::milliseconds timeout{10000};
};
std::unique_ptr<Backend> make_libretranslate_backend(const UpstreamConfig& config,
                                                     std::string& error);

// The service's language code for one of ours.
std::string_view libretranslate_code(std::string_view lang);

// Reads a service answer: the string "translatedText" of the top-level JSON object. On failure
// returns false and puts a one-line reason into `out`.
bool parse_libretranslate_answer(std::string_view body, std::string& out);

// The whole of POST /trans2/index.asp for one form body. `code` receives the language code sent
// (for the log).
Reply handle_translate(std::string_view body, const Backend& backend, std::string& code);

// Largest request body accepted.
inline constexpr std::size_t kMaxRequestBody = 64 * 1024;

}  // namespace brevant::trans_server
