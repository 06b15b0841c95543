#pragma once
// The always-on-top chat window; never opened in this build.

class ChatOnTopWindow {
public:
    ChatOnTopWindow() = default;
    ChatOnTopWindow(const ChatOnTopWindow&) = delete;
    ChatOnTopWindow& operator=(const ChatOnTopWindow&) = delete;
};
