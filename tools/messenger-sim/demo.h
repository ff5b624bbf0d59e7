#pragma once
// The demo the messenger runs without a display: two chats, an English and a Japanese
// contact, greetings and answers both ways, and a screenshot of each chat with its companion.

namespace brevant::messenger {

inline constexpr char kDemoScript[] = R"({
  "personas": true,
  "steps": [
    {"do": "open", "chat": "cnquorinemma", "x": 20, "y": 20, "height": 470},
    {"do": "item", "chat": "cnquorinemma"},
    {"do": "wait", "until": "idle"},
    {"do": "type", "chat": "cnquorinemma", "text": "我很好，谢谢。你呢？"},
    {"do": "wait", "until": "idle"},
    {"do": "type", "chat": "cnquorinemma", "text": "你明天有空吗"},
    {"do": "wait", "until": "idle"},
    {"do": "open", "chat": "cnvetmaryuki", "x": 20, "y": 530, "height": 470},
    {"do": "item", "chat": "cnvetmaryuki"},
    {"do": "wait", "until": "idle"},
    {"do": "type", "chat": "cnvetmaryuki", "text": "我很好，谢谢"},
    {"do": "wait", "until": "idle"},
    {"do": "screenshot", "chat": "cnquorinemma", "file": "chat-emma.png"},
    {"do": "screenshot", "chat": "cnvetmaryuki", "file": "chat-yuki.png"}
  ]
})";

}  // namespace brevant::messenger
