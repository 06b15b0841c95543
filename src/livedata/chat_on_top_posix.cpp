// The native build has no desktop to float a window over: the record stays as
// it is and no window is made.
#include "livedata/chat_on_top.h"

ChatOnTopWindow::~ChatOnTopWindow() = default;

void ChatOnTopWindow::update(std::unique_ptr<ChatOnTopWindow>& window, Project&, const std::vector<ChatEntry>&) {
    window.reset();
}

void ChatOnTopWindow::render() {}

bool renderChatOnTopImage(int, int, int, const std::vector<ChatEntry>&, std::vector<uint8_t>&) { return false; }
