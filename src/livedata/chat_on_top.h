#pragma once
// The always-on-top chat window that the presenter sees over a game: never
// activated, dragged from anywhere, resized from its edges, left out of screen
// captures, drawn with GDI into a per-pixel-alpha layered window. The native
// build has no such window; the geometry and pixel rules below are shared.

#include <cstdint>
#include <memory>
#include <vector>

#include "livedata/live_data_feed.h"
#include "project/project.h"

struct ChatOnTopRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The place of a new window: the record's when it lies on a monitor, else
// beside the right edge of the primary work area. Computed in 64 bits and
// clamped, so that any record gives a valid rectangle.
ChatOnTopRect chatOnTopPlacement(const Project& record, bool recordOnMonitor, const ChatOnTopRect& workArea);

// Where a point of the window grabs it: the edges resize, the rest drags.
enum class ChatOnTopZone { Caption, Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };
ChatOnTopZone chatOnTopZone(int x, int y, const ChatOnTopRect& window, int dpi);

// The smallest size the system lets the user drag the window to.
void chatOnTopMinimumSize(int dpi, int& width, int& height);

// Rounds the corners of a drawn top-down BGRA image, makes it slightly
// translucent and premultiplies it, ready for a layered window.
void chatOnTopFinishPixels(uint8_t* bgra, int width, int height, double scale);

// Draws the window's image as render() does: top-down BGRA, premultiplied.
// False when no image could be made (and always in the native build).
bool renderChatOnTopImage(int width, int height, int dpi, const std::vector<ChatEntry>& lines,
                          std::vector<uint8_t>& bgra);

// Same author, text and channel in the same order; sequence numbers aside.
bool sameChatLines(const std::vector<ChatEntry>& a, const std::vector<ChatEntry>& b);

class ChatOnTopWindow {
public:
    ChatOnTopWindow() = default;
    ~ChatOnTopWindow();  // destroys the window
    ChatOnTopWindow(const ChatOnTopWindow&) = delete;
    ChatOnTopWindow& operator=(const ChatOnTopWindow&) = delete;

    // Once per tick: shows, hides, follows the user's moves into the record
    // and redraws when the lines changed.
    static void update(std::unique_ptr<ChatOnTopWindow>& window, Project& record,
                       const std::vector<ChatEntry>& lines);
    void render();
    static void destroy(std::unique_ptr<ChatOnTopWindow>& window) { window.reset(); }

    void* hwnd = nullptr;
    std::vector<ChatEntry> lines;
    int drawnWidth = 0;
    int drawnHeight = 0;
    bool moved = false;
};
