// One request from form body to reply, the upstream answer reader, the command line and the log.

#include <gtest/gtest.h>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/form.h"
#include "tools/trans-server/request_checks.h"
#include "tools/trans-server/server.h"
#include "tools/trans-server/shared_answers.h"

namespace brevant::trans_server {
namespace {

// Echoes the pair and text, to see what reached the back end (and keeps what it saw). A text
// holding "mangle" comes back without its placeholder brackets, as a careless service would.
class EchoBackend : public ImmediateBackend {
 public:
  Reply translate_now(const LangPair& pair, std::string_view text) const override {
    seen.emplace_back(text);
    std::string out(text);
    if (out.find("mangle") != std::string::npos) {
      for (const char* bracket : {"\xE2\x9F\xA6", "\xE2\x9F\xA7"}) {
        for (std::size_t at; (at = out.find(bracket)) != std::string::npos;)
          out.erase(at, 3);
      }
    }
    return {200, std::string(pair.source) + ">" + std::string(pair.target) + ":" + out};
  }
  mutable std::vector<std::string> seen;
};

// Runs the request handling to its end.
Reply handle(std::string body, const Backend& backend, std::string& code) {
  boost::asio::io_context ioc;
  Reply reply;
  boost::asio::co_spawn(
      ioc,
      [&]() -> boost::asio::awaitable<void> {
        reply = co_await handle_translate(std::move(body), backend, code);
      },
      boost::asio::detached);
  ioc.run();
  return reply;
}

TEST(HandleTranslate, StatusAndBodyPerRequest) {
  const EchoBackend echo;
  struct Case {
    const char* body;
    int status;
    const char* reply;  // exact, or a prefix of a reason
    const char* code;
  };
  const Case cases[] = {
      {"domain=00&text=%E4%BD%A0%E5%A5%BD&lang=02", 200, "zh>en:你好", "02"},
      {"domain=00&text=hello&lang=01", 200, "en>zh:hello", "01"},
      {"domain=00&text=a+b%2Bc%26d&lang=03", 200, "zh>ja:a b+c&d", "03"},
      {"text=x&lang=10", 200, "ja>zh:x", "10"},
      {"text=x&lang=en_ko", 200, "en>ko:x", "en_ko"},
      {"text=&lang=02", 200, "", "02"},  // nothing to translate
      {"domain=00&text=x&lang=", 400, "missing language code", ""},
      {"domain=00&text=x", 400, "missing language code", ""},
      {"domain=00&text=x&lang=XX", 400, "unknown language code XX", "XX"},
      {"domain=00&text=x&lang=EZ", 400, "unknown language code EZ", "EZ"},  // not a server code
      {"domain=00&text=x&lang=%0Aevil", 400, "unknown language code ?evil", "\nevil"},
      {"domain=00&lang=02", 400, "missing text", "02"},
      {"", 400, "missing language code", ""},
  };
  for (const Case& c : cases) {
    std::string code = "stale";
    const Reply r = handle(c.body, echo, code);
    EXPECT_EQ(r.status, c.status) << c.body;
    if (c.status == 200) {
      EXPECT_EQ(r.body, c.reply) << c.body;
    } else {
      EXPECT_EQ(r.body.rfind(c.reply, 0), 0u) << c.body << " -> " << r.body;
      EXPECT_EQ(r.body.find('\n'), std::string::npos);
    }
    EXPECT_EQ(code, c.code) << c.body;
  }
}

TEST(HandleTranslate, EveryServerCodeIsKnown) {
  const EchoBackend echo;
  const char* codes[] = {"02",    "01",    "03",    "10",    "zh_zt", "zt_zh", "en_ja",
                         "ja_en", "en_ko", "ko_en", "en_ru", "ru_en", "en_nl", "nl_en",
                         "en_fr", "fr_en", "en_de", "de_en", "en_el", "el_en", "en_it",
                         "it_en", "en_pt", "pt_en", "en_es", "es_en"};
  for (const char* code : codes) {
    std::string logged;
    EXPECT_EQ(handle(std::string("text=x&lang=") + code, echo, logged).status, 200) << code;
  }
}

TEST(PhrasebookBackend, AnswersPairsWithATableAndRefusesTheOthers) {
  const PhrasebookBackend book;
  std::string code;
  EXPECT_EQ(handle("domain=00&text=%E8%B0%A2%E8%B0%A2&lang=02", book, code).body, "Thank you");
  EXPECT_EQ(handle("text=thank+you&lang=01", book, code).body, "谢谢");
  EXPECT_EQ(handle("text=%E8%B0%A2%E8%B0%A2&lang=03", book, code).body, "ありがとう");
  EXPECT_EQ(handle("text=%E3%81%82%E3%82%8A%E3%81%8C%E3%81%A8%E3%81%86&lang=10", book, code).body,
            "谢谢");
  // Invalid UTF-8 is replaced before matching, never passed on.
  EXPECT_EQ(handle("text=%FF%E8%B0%A2%E8%B0%A2&lang=02", book, code).body,
            "\xEF\xBF\xBD thank you");
  for (const char* code_without_table : {"en_ko", "en_ja", "zh_zt", "es_en"}) {
    const Reply r = handle(std::string("text=hello&lang=") + code_without_table, book, code);
    EXPECT_EQ(r.status, 400) << code_without_table;
    EXPECT_NE(r.body.find("not available offline"), std::string::npos);
    EXPECT_EQ(r.body.find("hello"), std::string::npos);
  }
}

TEST(HandleTranslate, OnlyTextRunsAndUnprotectedTextReachTheBackEnd) {
  struct Case {
    const char* text;
    const char* code;
    const char* seen;  // what the back end got, calls joined by "|"
    const char* answer;
  };
  const Case cases[] = {
      // Formatted messages: the runs between tags as one text, the answer without the tags.
      {"<font color=red>hello</font>", "01", "hello", "en>zh:hello"},
      {"<b>one</b> <i>two</i>", "02", "one two", "zh>en:one two"},
      {"<b>one</b><i>two</i>", "02", "one two", "zh>en:one two"},
      {"<b>一</b><i>二</i>", "01", "一二", "en>zh:一二"},
      {"<b>我</b><i>very</i>", "01", "我very", "en>zh:我very"},
      {"<p> </p><p>hi</p>", "02", "hi", "zh>en:hi"},
      {"<font color=blue>see @bob 😀</font>", "01", "see ⟦0⟧ ⟦1⟧", "en>zh:see @bob 😀"},
      // Not formatted by the plug-in's rule: sent whole.
      {"a > b", "02", "a > b", "zh>en:a > b"},
      {"x > y > z", "02", "x > y > z", "zh>en:x > y > z"},
      {"<b>", "02", "<b>", "zh>en:<b>"},
      // Protected pieces.
      {"mail bob.smith@example.com or @alice_w, see https://ex.am/p?q=1.", "01",
       "mail ⟦0⟧ or ⟦1⟧, see ⟦2⟧.",
       "en>zh:mail bob.smith@example.com or @alice_w, see https://ex.am/p?q=1."},
      {"我有3个苹果，价格12.50元，@张三 看www.ex.am吧", "02",
       "我有⟦0⟧个苹果，价格⟦1⟧元，⟦2⟧ 看⟦3⟧吧",
       "zh>en:我有3个苹果，价格12.50元，@张三 看www.ex.am吧"},
      {"mp3 5pm 1,000 50% x@y", "01", "mp3 5pm ⟦0⟧ ⟦1⟧ x@y", "en>zh:mp3 5pm 1,000 50% x@y"},
      {"好👍🏽 👨‍👩‍👧 1️⃣", "02", "好⟦0⟧ ⟦1⟧ ⟦2⟧",
       "zh>en:好👍🏽 👨‍👩‍👧 1️⃣"},
      {"&lt;b&gt; &amp; tom &bogus", "01", "⟦0⟧b⟦1⟧ ⟦2⟧ tom &bogus",
       "en>zh:&lt;b&gt; &amp; tom &bogus"},
      {"⟦0⟧ hi ⟦", "02", "⟦0⟧ hi ⟦1⟧", "zh>en:⟦0⟧ hi ⟦"},  // the user's own brackets
      {"  hello  ", "02", "hello", "  zh>en:hello  "},
      // Nothing to translate: no call at all.
      {"😀 123 https://x.org !", "02", "", "😀 123 https://x.org !"},
      {"<b>42</b>", "02", "", "42"},
      // A translator that loses placeholders: the stretches between them go one by one.
      {"mangle @bob now", "02", "mangle ⟦0⟧ now|mangle|now", "zh>en:mangle @bob zh>en:now"},
  };
  for (const Case& c : cases) {
    const EchoBackend echo;
    std::string code;
    const Reply r = handle("text=" + form_escape(c.text) + "&lang=" + c.code, echo, code);
    std::string seen;
    for (const std::string& s : echo.seen)
      seen += (seen.empty() ? "" : "|") + s;
    EXPECT_EQ(r.status, 200) << c.text;
    EXPECT_EQ(seen, c.seen) << c.text;
    EXPECT_EQ(r.body, c.answer) << c.text;
  }
}

// A service-like back end: each translation takes a call from the budget. A text holding
// "mangle" comes back without its placeholder brackets.
class CountingBackend : public Backend {
 public:
  boost::asio::awaitable<Reply> translate(const LangPair&, std::string text,
                                          CallBudget& budget) const override {
    if (!budget.take())
      co_return Reply{502, "no call left"};
    ++calls;
    if (text.find("mangle") != std::string::npos) {
      for (const char* bracket : {"\xE2\x9F\xA6", "\xE2\x9F\xA7"}) {
        for (std::size_t at; (at = text.find(bracket)) != std::string::npos;)
          text.erase(at, 3);
      }
    }
    co_return Reply{200, "T(" + text + ")"};
  }
  mutable int calls = 0;
};

TEST(HandleTranslate, AMessageCostsAtMost16ServiceCalls) {
  std::string many_runs;
  std::string many_pieces = "mangle";
  std::string runs_and_pieces;
  for (int i = 0; i < 300; ++i) {
    many_runs += "<b>w</b>";
    many_pieces += " w 😀";
    runs_and_pieces += "<b>mangle " + std::to_string(i) + " x</b>";
  }
  struct Case {
    std::string text;
    int calls;
    std::string answer_start;
  };
  const Case cases[] = {
      {many_runs, 1, "T(w w w"},
      // Placeholders lost: one call, then 15 groups of neighbours; a group that loses them
      // again stays as written.
      {many_pieces, 16, "mangle w 😀 w 😀"},
      {runs_and_pieces, 16, "mangle 0 x mangle 1 x"},
      {"mangle 😀 a 😀 b", 4, "T(mangle) 😀 T(a) 😀 T(b)"},  // few stretches: one by one
  };
  for (const Case& c : cases) {
    const CountingBackend counting;
    std::string code;
    const Reply r = handle("text=" + form_escape(c.text) + "&lang=01", counting, code);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(counting.calls, c.calls) << c.text.substr(0, 40);
    EXPECT_EQ(r.body.rfind(c.answer_start, 0), 0u) << r.body.substr(0, 200);
  }
}

TEST(RequestChecks, NamesOriginsAndFraming) {
  const std::vector<std::string> allowed{"mt.example.org", "10.0.0.5:8080", "[fd00::1]"};
  struct HostCase {
    const char* host;
    const char* local;  // the address the connection came in on
    bool ok;
  };
  const HostCase hosts[] = {
      {"127.0.0.1:17380", "127.0.0.1", true},
      {"LOCALHOST:17380", "127.0.0.1", true},
      {"localhost:17380", "::1", true},
      {"[::1]:17380", "::1", true},
      {"127.0.0.1:17381", "127.0.0.1", false},  // another port
      {"127.0.0.1", "127.0.0.1", false},        // port 80
      {"evil.example:17380", "127.0.0.1", false},
      {"localhost.evil.example:17380", "127.0.0.1", false},
      {"192.168.1.9:17380", "192.168.1.9", true},  // the address reached, when serving others
      {"localhost:17380", "192.168.1.9", false},
      {"mt.example.org", "192.168.1.9", true},  // named by --allow-host, any port
      {"MT.example.org:443", "127.0.0.1", true},
      {"10.0.0.5:8080", "127.0.0.1", true},
      {"10.0.0.5:80", "127.0.0.1", false},
      {"[fd00:0::1]:1", "127.0.0.1", true},
  };
  for (const HostCase& c : hosts) {
    const auto name = parse_authority(c.host);
    ASSERT_TRUE(name) << c.host;
    EXPECT_EQ(host_allowed(*name, c.local, 17380, allowed), c.ok) << c.host << " at " << c.local;
  }
  for (const char* bad : {"", "a b", "x:", "x:99999", "[::1", "[::1]x", "ex@mple", "x:1:2"})
    EXPECT_FALSE(parse_authority(bad)) << bad;

  const auto absolute = split_absolute_form("HTTP://127.0.0.1:5/trans2/index.asp?x=1");
  ASSERT_TRUE(absolute);
  EXPECT_EQ(absolute->authority, "127.0.0.1:5");
  EXPECT_EQ(absolute->origin_form, "/trans2/index.asp?x=1");
  EXPECT_EQ(split_absolute_form("http://h")->origin_form, "/");
  EXPECT_FALSE(split_absolute_form("/health"));
  EXPECT_FALSE(split_absolute_form("http://u@h/"));

  const std::vector<std::string> origins{"https://app.example.org/"};
  EXPECT_TRUE(origin_allowed("https://APP.example.org", origins));
  EXPECT_FALSE(origin_allowed("https://app.example.org:8443", origins));
  EXPECT_FALSE(origin_allowed("null", origins));
  EXPECT_FALSE(origin_allowed("https://app.example.org", {}));

  struct FramingCase {
    const char* codings;
    bool content_length;
    Framing verdict;
  };
  const FramingCase framings[] = {
      {"chunked", false, Framing::kFine},
      {"Chunked ", false, Framing::kFine},
      {"chunked", true, Framing::kBadRequest},
      {"identity", true, Framing::kBadRequest},
      {"gzip", false, Framing::kBadRequest},
      {"chunked, gzip", false, Framing::kBadRequest},
      {"chunked,chunked", false, Framing::kBadRequest},
      {"", false, Framing::kBadRequest},
      {"gzip, chunked", false, Framing::kNotImplemented},
  };
  for (const FramingCase& c : framings)
    EXPECT_EQ(transfer_framing(c.codings, c.content_length), c.verdict) << c.codings;
}

TEST(SharedAnswers, KeepsRecentAnswersWithinItsBounds) {
  SharedAnswers shared({3, 1000, std::chrono::seconds(600)});
  boost::asio::io_context ioc;
  // Makes the call for `key` (answering `answer`) unless it is kept; true when it was kept.
  auto kept = [&](const std::string& key, const std::string& answer) {
    bool hit = false;
    boost::asio::co_spawn(
        ioc,
        [&]() -> boost::asio::awaitable<void> {
          if (auto r = co_await shared.join(key)) {
            hit = r->body == answer;
          } else {
            shared.finish(key, {key == "fail" ? 502 : 200, answer});
          }
        },
        boost::asio::detached);
    ioc.restart();
    ioc.run();
    return hit;
  };
  EXPECT_FALSE(kept("a", "A"));
  EXPECT_TRUE(kept("a", "A"));
  EXPECT_FALSE(kept("fail", "x"));  // failures are not kept
  EXPECT_FALSE(kept("fail", "x"));
  EXPECT_FALSE(kept("b", "B"));
  EXPECT_FALSE(kept("c", "C"));
  EXPECT_TRUE(kept("a", "A"));   // used last, so "b" is the oldest
  EXPECT_FALSE(kept("d", "D"));  // pushes "b" out
  EXPECT_EQ(shared.kept(), 3u);
  EXPECT_FALSE(kept("b", "B"));
  EXPECT_FALSE(kept(std::string(100, 'k'), "big"));  // over a sixteenth of the bytes: not kept
  EXPECT_FALSE(kept(std::string(100, 'k'), "big"));

  SharedAnswers brief({10, 1000, std::chrono::seconds(0)});
  ioc.restart();
  boost::asio::co_spawn(
      ioc,
      [&]() -> boost::asio::awaitable<void> {
        EXPECT_FALSE(co_await brief.join("a"));
        brief.finish("a", {200, "A"});
        EXPECT_FALSE(co_await brief.join("a"));  // expired at once
        brief.finish("a", {200, "A"});
      },
      boost::asio::detached);
  ioc.run();
}

TEST(LibreTranslateLanguages, ChineseCodesFromWhatTheServiceOffers) {
  struct Case {
    const char* body;
    bool ok;
    const char* simplified;
    const char* traditional;
  };
  const Case cases[] = {
      {R"([{"code":"en","name":"English"},{"code":"zh","name":"Chinese"},{"code":"zt"}])", true,
       "zh", "zt"},
      {R"([{"code":"en"},{"code":"zh-Hans","targets":["en"]},{"code":"zh-Hant"}])", true, "zh-Hans",
       "zh-Hant"},
      {R"([{"code":"zh-Hans"},{"code":"zt"}])", true, "zh-Hans", "zt"},
      {"[]", true, "zh", "zt"},
      {R"({"code":"zh-Hans"})", false, "zh", "zt"},
      {R"([{"code":1}])", false, "zh", "zt"},
      {"<html>", false, "zh", "zt"},
  };
  for (const Case& c : cases) {
    ChineseCodes codes;
    EXPECT_EQ(parse_languages_answer(c.body, codes), c.ok) << c.body;
    EXPECT_EQ(codes.simplified, c.simplified) << c.body;
    EXPECT_EQ(codes.traditional, c.traditional) << c.body;
    EXPECT_EQ(libretranslate_code("zh", codes), c.simplified);
    EXPECT_EQ(libretranslate_code("ja", codes), "ja");
  }
}

TEST(LibreTranslateAnswer, ReadsTranslatedTextOnly) {
  struct Case {
    std::string body;
    bool ok;
    const char* out;
  };
  const Case cases[] = {
      {R"({"translatedText":"hello"})", true, "hello"},
      {R"({"detectedLanguage":{"confidence":90,"language":"zh"},"translatedText":"a\"b\\n\u4f60\ud83d\ude00"})",
       true, "a\"b\\n你\xF0\x9F\x98\x80"},
      {R"({"translatedText":""})", true, ""},
      {"", false, "upstream error: the answer is not JSON"},
      {"<html>502 Bad Gateway</html>", false, "upstream error: the answer is not JSON"},
      {R"({"translatedText":"cut)", false, "upstream error: the answer is not JSON"},
      {"{\"translatedText\":\"\xFF\"}", false, "upstream error: the answer is not JSON"},
      {R"(["translatedText"])", false, "upstream error: the answer is not a JSON object"},
      {R"("hello")", false, "upstream error: the answer is not a JSON object"},
      {R"({"error":"Invalid request"})", false, "upstream error: the answer has no translatedText"},
      {R"({"translatedText":["a"]})", false, "upstream error: the answer has no translatedText"},
      {R"({"translatedText":null})", false, "upstream error: the answer has no translatedText"},
      {R"({"inner":{"translatedText":"x"}})", false,
       "upstream error: the answer has no translatedText"},
      {std::string(100000, '[') + std::string(100000, ']'), false,
       "upstream error: the answer is not a JSON object"},
      {std::string(100000, '['), false, "upstream error: the answer is not JSON"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(parse_libretranslate_answer(c.body, out), c.ok) << c.body.substr(0, 80);
    EXPECT_EQ(out, c.out) << c.body.substr(0, 80);
  }
}

TEST(LibreTranslateBackend, RejectsUnusableUpstreamAddresses) {
  for (const char* url : {"", "localhost:5000", "ftp://host", "http://", "http:///translate",
                          "http://host/path?x=1", "http://user@host"}) {
    std::string error;
    EXPECT_EQ(make_libretranslate_backend({url, "", std::chrono::seconds(1)}, error), nullptr)
        << url;
    EXPECT_FALSE(error.empty()) << url;
  }
  for (const char* url : {"http://127.0.0.1:5000", "http://localhost:5000/", "http://h/lt/"}) {
    std::string error;
    EXPECT_NE(make_libretranslate_backend({url, "", std::chrono::seconds(1)}, error), nullptr)
        << url << ": " << error;
  }
}

TEST(CommandLine, OptionsAndErrors) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    int exit_code;
  };
  const Case cases[] = {
      {{}, true, 0},
      {{"--port", "0"}, true, 0},
      {{"--port=8080", "--bind", "0.0.0.0"}, true, 0},
      {{"--backend", "libretranslate", "--upstream", "http://127.0.0.1:5000", "--api-key", "k"},
       true,
       0},
      {{"--help"}, false, 0},
      {{"--port", "65536"}, false, 2},
      {{"--port", "-1"}, false, 2},
      {{"--port", "80a"}, false, 2},
      {{"--port"}, false, 2},
      {{"--backend", "google"}, false, 2},
      {{"--backend", "libretranslate"}, false, 2},
      {{"--upstream", "http://127.0.0.1:5000"}, false, 2},
      {{"--read-timeout", "0"}, false, 2},
      {{"--verbose"}, false, 2},
      {{"--allow-host", "mt.example.org", "--allow-origin", "https://app.example.org"}, true, 0},
      {{"--allow-host", "a b"}, false, 2},
      {{"--allow-origin", "app.example.org"}, false, 2},
      {{"--max-connections-per-client", "0"}, false, 2},
      {{"extra"}, false, 2},
  };
  for (const Case& c : cases) {
    ServerOptions options;
    std::string message;
    int exit_code = -1;
    const bool ok = parse_command_line(c.args, options, message, exit_code);
    const std::string joined = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(ok, c.ok) << joined;
    if (!ok) {
      EXPECT_EQ(exit_code, c.exit_code) << joined;
      EXPECT_NE(message.find("Usage: trans-server"), std::string::npos);
    }
  }
  ServerOptions options;
  std::string message;
  int exit_code = 0;
  ASSERT_TRUE(parse_command_line({"--port=8080", "--bind", "0.0.0.0", "--backend=libretranslate",
                                  "--upstream", "http://h:1", "--api-key", "secret"},
                                 options, message, exit_code));
  EXPECT_EQ(options.port, 8080);
  EXPECT_EQ(options.bind, "0.0.0.0");
  EXPECT_EQ(options.backend, "libretranslate");
  EXPECT_EQ(options.upstream, "http://h:1");
  EXPECT_EQ(options.api_key, "secret");
  ServerOptions defaults;
  EXPECT_EQ(defaults.bind, "127.0.0.1");
  EXPECT_EQ(defaults.port, 17380);
  EXPECT_EQ(defaults.backend, "phrasebook");
}

TEST(RequestLog, OneSafeLinePerRequest) {
  EXPECT_EQ(log_line("2026-01-02T03:04:05.006Z", "POST", "/trans2/index.asp", "02", 200, 7),
            "2026-01-02T03:04:05.006Z POST /trans2/index.asp lang=02 200 7ms\n");
  const std::string hostile = log_line("t", "GET", "/a b\r\nforged", "\n01 x", 404, 0);
  EXPECT_EQ(hostile, "t GET /a?b??forged lang=?01?x 404 0ms\n");
  EXPECT_EQ(log_line("t", "GET", "/health", "", 200, 0), "t GET /health lang=- 200 0ms\n");
  EXPECT_EQ(log_line("t", "POST", "/p", "02", 502, 3, "upstream 403: bad\nkey"),
            "t POST /p lang=02 502 3ms (upstream 403: bad?key)\n");
}

}  // namespace
}  // namespace brevant::trans_server
