// One request from form body to reply, the upstream answer reader, the command line and the log.

#include <gtest/gtest.h>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/server.h"

namespace brevant::trans_server {
namespace {

// Echoes the pair and text, to see what reached the back end.
class EchoBackend : public Backend {
 public:
  Reply translate(const LangPair& pair, std::string_view text) const override {
    return {200,
            std::string(pair.source) + ">" + std::string(pair.target) + ":" + std::string(text)};
  }
};

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
    const Reply r = handle_translate(c.body, echo, code);
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
    EXPECT_EQ(handle_translate(std::string("text=x&lang=") + code, echo, logged).status, 200)
        << code;
  }
}

TEST(PhrasebookBackend, AnswersPairsWithATableAndRefusesTheOthers) {
  const PhrasebookBackend book;
  std::string code;
  EXPECT_EQ(handle_translate("domain=00&text=%E8%B0%A2%E8%B0%A2&lang=02", book, code).body,
            "Thank you");
  EXPECT_EQ(handle_translate("text=thank+you&lang=01", book, code).body, "谢谢");
  EXPECT_EQ(handle_translate("text=%E8%B0%A2%E8%B0%A2&lang=03", book, code).body, "ありがとう");
  EXPECT_EQ(
      handle_translate("text=%E3%81%82%E3%82%8A%E3%81%8C%E3%81%A8%E3%81%86&lang=10", book, code)
          .body,
      "谢谢");
  // Invalid UTF-8 is replaced before matching, never passed on.
  EXPECT_EQ(handle_translate("text=%FF%E8%B0%A2%E8%B0%A2&lang=02", book, code).body,
            "\xEF\xBF\xBD thank you");
  for (const char* code_without_table : {"en_ko", "en_ja", "zh_zt", "es_en"}) {
    const Reply r =
        handle_translate(std::string("text=hello&lang=") + code_without_table, book, code);
    EXPECT_EQ(r.status, 400) << code_without_table;
    EXPECT_NE(r.body.find("not available offline"), std::string::npos);
    EXPECT_EQ(r.body.find("hello"), std::string::npos);
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
}

}  // namespace
}  // namespace brevant::trans_server
