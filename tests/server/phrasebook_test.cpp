// The phrase matcher: longest match first, unknown stretches kept, joining per script; and the
// built-in phrase lists.

#include <gtest/gtest.h>

#include "tools/trans-server/phrasebook.h"

namespace brevant::trans_server {
namespace {

struct Case {
  const char* input;
  const char* expected;
};

PhraseTable chinese_to_english() {
  PhraseTable t("zh", "en");
  t.add("你好", "hello");
  t.add("你好吗", "how are you");
  t.add("我", "I");
  t.add("很好", "fine");
  t.add("。", ".");
  t.add("，", ",");
  t.add("？", "?");
  t.add("北京", "Beijing");
  t.add("你好", "hi");  // later duplicate: ignored
  return t;
}

PhraseTable english_to_chinese() {
  PhraseTable t("en", "zh");
  t.add("hi", "嗨");
  t.add("how are you", "你好吗");
  t.add("how", "怎么");
  t.add("I'm fine", "我很好");
  t.add(",", "，");
  t.add(".", "。");
  t.add("?", "？");
  return t;
}

TEST(PhraseTable, ChineseToEnglishLongestMatchAndJoining) {
  const PhraseTable t = chinese_to_english();
  const Case cases[] = {
      {"", ""},
      {"你好", "Hello"},
      {"你好吗", "How are you"},  // longest match, not "hello" + "吗"
      {"你好吗？", "How are you?"},
      {"你好，你好吗？", "Hello, how are you?"},
      {"我很好。你好吗？", "I fine. How are you?"},  // capital after a full stop
      {"我在北京", "I 在 Beijing"},                  // unknown stretch kept, spaced off
      {"张三你好", "张三 hello"},
      {"完全不认识", "完全不认识"},  // nothing known: unchanged
      {"hello 世界", "hello 世界"},
      {"你好  我", "Hello  I"},  // existing spaces are not doubled
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t.translate(c.input), c.expected) << c.input;
  }
  EXPECT_EQ(t.size(), 8u);
}

TEST(PhraseTable, EnglishToChineseMatchesWholeWordsCaseInsensitively) {
  const PhraseTable t = english_to_chinese();
  const Case cases[] = {
      {"hi", "嗨"},
      {"HI", "嗨"},
      {"Hi, how are you?", "嗨，你好吗？"},
      {"his", "his"},  // no match inside a word
      {"chi", "chi"},
      {"this hi", "this 嗨"},
      {"how are your", "怎么 are your"},  // "how are you" is not a whole-word match here
      {"I'm fine.", "我很好。"},
      {"i'M FINE", "我很好"},
      {"hi Tom", "嗨 Tom"},  // spaces next to unknown words stay
      {"hi hi", "嗨嗨"},     // and go between translated phrases
      {"3.5", "3.5"},        // punctuation inside numbers stays
      {"a,b", "a,b"},
      {"Really??", "Really？？"},
      {"\xE4\xBD\xA0hi", "\xE4\xBD\xA0hi"},  // a non-ASCII letter joins the word
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t.translate(c.input), c.expected) << c.input;
  }
}

TEST(PhraseTable, KeepsBrokenUtf8SequencesWhole) {
  PhraseTable t("zh", "ja");
  t.add("好", "良い");
  // A cut sequence at the end must not be read past.
  EXPECT_EQ(t.translate(std::string("好\xE4\xBD", 5)), std::string("良い\xE4\xBD"));
}

TEST(Phrasebook, LoadsBothDirectionsWithFlags) {
  Phrasebook book;
  const auto bad = book.load("zh", "en",
                             "# comment\n"
                             "\n"
                             "谢谢\tthank you\n"
                             "谢谢\tthanks\t<\r\n"
                             "多谢\tthank you\t>\n"
                             "missing tab\n"
                             "a\tb\t?\n"
                             "\tempty\n"
                             "a\tb\t>\textra\n");
  EXPECT_EQ(bad, (std::vector<std::size_t>{6, 7, 8, 9}));
  const PhraseTable* forward = book.table("zh", "en");
  const PhraseTable* backward = book.table("en", "zh");
  ASSERT_NE(forward, nullptr);
  ASSERT_NE(backward, nullptr);
  EXPECT_EQ(book.table("en", "ko"), nullptr);
  EXPECT_EQ(forward->translate("谢谢"), "Thank you");
  EXPECT_EQ(forward->translate("多谢"), "Thank you");
  EXPECT_EQ(backward->translate("thanks"), "谢谢");
  EXPECT_EQ(backward->translate("thank you"), "谢谢");  // first line wins over the ">" one
}

TEST(BuiltinPhrasebook, ListsAreWellFormedAndLarge) {
  const auto lists = embedded_phrase_lists();
  ASSERT_EQ(lists.size(), 2u);
  for (const EmbeddedPhraseList& list : lists) {
    Phrasebook book;
    const std::size_t sep = list.name.find('_');
    EXPECT_TRUE(book.load(list.name.substr(0, sep), list.name.substr(sep + 1), list.tsv).empty())
        << list.name;
  }
  const Phrasebook& book = Phrasebook::builtin();
  for (const auto& [from, to] : {std::pair{"zh", "en"}, {"en", "zh"}, {"zh", "ja"}, {"ja", "zh"}}) {
    const PhraseTable* t = book.table(from, to);
    ASSERT_NE(t, nullptr) << from << to;
    EXPECT_GT(t->size(), 200u) << from << to;
  }
}

TEST(BuiltinPhrasebook, DemoConversationReadsSensibly) {
  const Phrasebook& book = Phrasebook::builtin();
  struct Line {
    const char* from;
    const char* to;
    const char* text;
    const char* expected;
  };
  const Line lines[] = {
      {"en", "zh", "Hello! How are you?", "你好！你好吗？"},
      {"zh", "en", "我很好，谢谢。你呢？", "I'm fine, thank you. And you?"},
      {"en", "zh", "I'm fine too. What are you doing?", "我也很好。你在做什么？"},
      {"zh", "en", "我在工作。你现在在哪里？", "I'm working. Where are you now?"},
      {"en", "zh", "I am in Tokyo.", "我在东京。"},
      {"zh", "en", "好的，没问题。明天见！", "OK, no problem. See you tomorrow!"},
      {"zh", "en", "我叫小明。我住在上海。", "My name is 小明. I live in Shanghai."},
      {"ja", "zh", "お元気ですか？", "你好吗？"},
      {"ja", "zh", "まだです。一緒に行きましょう！", "还没有。我们一起去吧！"},
      {"zh", "ja", "我很好，谢谢。你呢？", "元気です、ありがとう。あなたは？"},
      {"zh", "ja", "今天天气很好。我们一起去吧！", "今日はいい天気ですね。一緒に行きましょう！"},
      {"ja", "zh", "ありがとう！また明日。", "谢谢！明天见。"},
      // The question particle and the question mark after it make one mark.
      {"zh", "en", "我们一起吃饭吗？", "We together have a meal?"},
      {"zh", "en", "吃饭吗", "Have a meal?"},
      {"en", "zh", "Really??", "真的吗？？"},  // the writer's own marks stay
  };
  for (const Line& l : lines) {
    EXPECT_EQ(book.table(l.from, l.to)->translate(l.text), l.expected) << l.text;
  }
}

}  // namespace
}  // namespace brevant::trans_server
