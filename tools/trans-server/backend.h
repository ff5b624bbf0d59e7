#pragma once
// Back ends of the translation server and the request handling around them.

#include <boost/asio/awaitable.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "tools/trans-server/lang_codes.h"

namespace brevant::trans_server {

// What the server answers: a status and a plain-text body (the translation alone on success,
// a one-line reason otherwise).
struct Reply {
  Reply() = default;
  Reply(int s, std::string b, std::string retry = {}, std::string n = {})
      : status(s), body(std::move(b)), retry_after(std::move(retry)), note(std::move(n)) {}

  int status = 200;
  std::string body;
  std::string retry_after;  // passed on with a 429: when the service takes requests again
  std::string note;         // for the log only: the service's reason for a failure
};

using Clock = std::chrono::steady_clock;

// Calls to the service one client request may make, however many text runs and protected
// pieces its message has.
inline constexpr int kMaxServiceCalls = 16;

// What one client request may still spend in a back end: its calls share one deadline and a
// number of calls to the service.
struct CallBudget {
  Clock::time_point deadline;
  int calls = kMaxServiceCalls;
  // Counts one call to the service; false when none is left.
  bool take() {
    if (calls <= 0)
      return false;
    --calls;
    return true;
  }
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Translates one piece of plain text (no markup; protected pieces already replaced by
  // placeholders, which the answer must keep). Work that can wait (a service call) ends by
  // the budget's deadline, and each call to a service takes one of its calls. Runs on the
  // calling coroutine's executor; called from several threads at once.
  virtual boost::asio::awaitable<Reply> translate(const LangPair& pair, std::string text,
                                                  CallBudget& budget) const = 0;
  // How long one client request may spend in this back end, all its calls together.
  virtual Clock::duration time_limit() const { return std::chrono::hours(1); }
};

// A back end that answers at once, without waiting for anything.
class ImmediateBackend : public Backend {
 public:
  boost::asio::awaitable<Reply> translate(const LangPair& pair, std::string text,
                                          CallBudget& budget) const final;
  virtual Reply translate_now(const LangPair& pair, std::string_view text) const = 0;
};

// Offline and deterministic: the built-in phrase tables. Pairs without a table get 400.
class PhrasebookBackend : public ImmediateBackend {
 public:
  Reply translate_now(const LangPair& pair, std::string_view text) const override;
};

// A LibreTranslate-compatible service at `upstream` ("http://host:port" or, in the Linux
// build, "https://...", with an optional path prefix). Every failure of the service becomes
// 502 with a one-line reason (the service's own reason after ours), its 429 a 429 with the
// service's Retry-After. Answers are shared: a text asked for while the same text is on
// its way shares that answer, and answers are kept for a while.
struct UpstreamConfig {
  std::string url;
  std::string api_key;
  std::chrono::milliseconds timeout{10000};  // for everything one client request asks of it
  std::size_t cache_entries = 10000;
  std::size_t cache_bytes = 16 * 1024 * 1024;
  std::chrono::seconds cache_time{600};
};
std::unique_ptr<Backend> make_libretranslate_backend(const UpstreamConfig& config,
                                                     std::string& error);

// The service's language codes for Chinese, chosen from what its /languages offers: releases
// from 1.7.2 name them "zh-Hans" and "zh-Hant", older ones "zh" and "zt".
struct ChineseCodes {
  std::string simplified = "zh";
  std::string traditional = "zt";
};
// Reads a /languages answer (an array of objects with a "code"). False when it is not one.
bool parse_languages_answer(std::string_view body, ChineseCodes& out);

// The service's language code for one of ours.
std::string_view libretranslate_code(std::string_view lang, const ChineseCodes& chinese);

// Reads a service answer: the string "translatedText" of the top-level JSON object. On failure
// returns false and puts a one-line reason into `out`.
bool parse_libretranslate_answer(std::string_view body, std::string& out);

// The whole of POST /trans2/index.asp for one form body: a formatted message's text runs
// translated together as one text, protected pieces kept out of the translator's sight, at
// most kMaxServiceCalls calls to a service. `code` receives the language code
// sent (for the log).
boost::asio::awaitable<Reply> handle_translate(std::string body, const Backend& backend,
                                               std::string& code);

// Largest request body accepted.
inline constexpr std::size_t kMaxRequestBody = 64 * 1024;

}  // namespace brevant::trans_server
