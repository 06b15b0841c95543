// The chat-on-top window: a layered popup drawn with GDI into a 32-bit DIB.
#include "livedata/chat_on_top.h"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "media/text_layout.h"
#include "util/text.h"

namespace {

constexpr wchar_t kClassName[] = L"QuillhavenChatOnTop";
constexpr wchar_t kTitle[] = L"Quillhaven chat";
constexpr int kStoredMinSide = 100;
// Larger than any screen; keeps the bitmap's byte size far from overflowing.
constexpr int kMaxImageSide = 16384;
constexpr COLORREF kBackground = RGB(22, 22, 26);
constexpr COLORREF kLiveDot = RGB(255, 59, 48);
constexpr COLORREF kTitleText = RGB(235, 235, 240);
constexpr COLORREF kHintText = RGB(130, 130, 138);
constexpr COLORREF kRule = RGB(48, 48, 54);
constexpr COLORREF kMessageText = RGB(240, 240, 245);
constexpr COLORREF kGrip = RGB(90, 90, 98);

LRESULT CALLBACK chatOnTopWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

void registerClassOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = chatOnTopWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_SIZEALL);
        wc.lpszClassName = kClassName;
        RegisterClassExW(&wc);
    });
}

UINT windowDpi(HWND hwnd) {
    const UINT dpi = GetDpiForWindow(hwnd);
    return dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
}

HFONT makeFont(double height, int weight) {
    return CreateFontW(int(height), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
}

void drawText(HDC dc, const std::wstring& text, RECT r, UINT format) {
    DrawTextW(dc, text.c_str(), int(text.size()), &r, format);
}

// Everything but the corners and alpha: header, chat lines newest at the
// bottom, resize grip.
void paint(HDC dc, int w, int h, double s, const std::vector<ChatEntry>& lines) {
    RECT all{0, 0, w, h};
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &all, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);

    HFONT messageFont = makeFont(-15 * s, FW_NORMAL);
    HFONT authorFont = makeFont(-13 * s, FW_SEMIBOLD);
    HFONT smallFont = makeFont(-12 * s, FW_NORMAL);
    HGDIOBJ oldFont = SelectObject(dc, messageFont);
    const int pad = int(12 * s);
    const int header = int(30 * s);
    const int r = int(4 * s);

    HBRUSH dot = CreateSolidBrush(kLiveDot);
    HGDIOBJ oldBrush = SelectObject(dc, dot);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, pad, header / 2 - r, pad + 2 * r, header / 2 + r);
    SelectObject(dc, oldBrush);
    DeleteObject(dot);
    RECT title{pad + 3 * r, 0, w - pad, header};
    SelectObject(dc, authorFont);
    SetTextColor(dc, kTitleText);
    drawText(dc, L"Chat", title, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, smallFont);
    SetTextColor(dc, kHintText);
    drawText(dc, L"only you see this", title, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
    RECT rule{pad, header - 1, w - pad, header};
    HBRUSH ruleBrush = CreateSolidBrush(kRule);
    FillRect(dc, &rule, ruleBrush);
    DeleteObject(ruleBrush);

    HRGN clip = CreateRectRgn(0, header, w, h);
    SelectClipRgn(dc, clip);
    int y = h - pad;
    const int textWidth = w - 2 * pad;
    for (auto it = lines.rbegin(); it != lines.rend() && y > header; ++it) {
        const std::wstring author = utf8ToWide(it->author);
        const std::wstring text = utf8ToWide(it->text);
        RECT measure{0, 0, textWidth, 0};
        SelectObject(dc, authorFont);
        DrawTextW(dc, author.c_str(), int(author.size()), &measure,
                  DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        const int ah = measure.bottom - measure.top;
        measure = {0, 0, textWidth, 0};
        SelectObject(dc, messageFont);
        DrawTextW(dc, text.c_str(), int(text.size()), &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        const int th = measure.bottom - measure.top;
        SetTextColor(dc, kMessageText);
        drawText(dc, text, {pad, y - th, w - pad, y}, DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, authorFont);
        SetTextColor(dc, authorColour(static_cast<int32_t>(it->channel)));
        drawText(dc, author, {pad, y - th - ah, w - pad, y - th}, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        y = y - th - ah - int(10 * s);
    }
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);

    HPEN grip = CreatePen(PS_SOLID, std::max(1, int(s)), kGrip);
    SelectObject(dc, grip);
    for (int k = 1; k <= 2; ++k) {
        const int d = int(5 * s * k);
        MoveToEx(dc, w - r - d, h - r, nullptr);
        LineTo(dc, w - r, h - r - d);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldFont);
    DeleteObject(grip);
    DeleteObject(messageFont);
    DeleteObject(authorFont);
    DeleteObject(smallFont);
}

// Draws the finished image into a DIB section and hands it to `use`; nothing
// is drawn when the bitmap cannot be made (a huge or failed allocation).
template <typename Use>
bool drawImage(int w, int h, int dpi, const std::vector<ChatEntry>& lines, Use&& use) {
    if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = screen ? CreateCompatibleDC(screen) : nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = mem ? CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    const bool ok = dib && bits;
    if (ok) {
        HGDIOBJ old = SelectObject(mem, dib);
        const double s = double(dpi) / USER_DEFAULT_SCREEN_DPI;
        paint(mem, w, h, s, lines);
        GdiFlush();
        chatOnTopFinishPixels(static_cast<uint8_t*>(bits), w, h, s);
        use(screen, mem, static_cast<const uint8_t*>(bits));
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    if (screen) ReleaseDC(nullptr, screen);
    return ok;
}

LRESULT hitTest(HWND hwnd, LPARAM lp) {
    RECT wr;
    if (!GetWindowRect(hwnd, &wr)) return HTCAPTION;
    const ChatOnTopRect r{int(wr.left), int(wr.top), int(wr.right), int(wr.bottom)};
    switch (chatOnTopZone(GET_X_LPARAM(lp), GET_Y_LPARAM(lp), r, int(windowDpi(hwnd)))) {
        case ChatOnTopZone::TopLeft: return HTTOPLEFT;
        case ChatOnTopZone::TopRight: return HTTOPRIGHT;
        case ChatOnTopZone::Left: return HTLEFT;
        case ChatOnTopZone::BottomLeft: return HTBOTTOMLEFT;
        case ChatOnTopZone::Right: return HTRIGHT;
        case ChatOnTopZone::BottomRight: return HTBOTTOMRIGHT;
        case ChatOnTopZone::Top: return HTTOP;
        case ChatOnTopZone::Bottom: return HTBOTTOM;
        case ChatOnTopZone::Caption: break;
    }
    return HTCAPTION;
}

LRESULT CALLBACK chatOnTopWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<ChatOnTopWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_GETMINMAXINFO: {
            int w = 0, h = 0;
            chatOnTopMinimumSize(int(windowDpi(hwnd)), w, h);
            auto* info = reinterpret_cast<MINMAXINFO*>(lp);
            info->ptMinTrackSize = {w, h};
            return 0;
        }
        case WM_WINDOWPOSCHANGED: {
            if (self) {
                self->moved = true;
                const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
                if (!(pos->flags & SWP_NOSIZE) && (pos->cx != self->drawnWidth || pos->cy != self->drawnHeight))
                    self->render();
            }
            return 0;
        }
        case WM_CLOSE:
            return 0;
        case WM_NCCALCSIZE:
            return 0;
        case WM_NCHITTEST:
            return hitTest(hwnd, lp);
        case WM_DPICHANGED: {
            const auto* r = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

ChatOnTopWindow::~ChatOnTopWindow() {
    if (!hwnd) return;
    HWND h = static_cast<HWND>(hwnd);
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
}

bool renderChatOnTopImage(int width, int height, int dpi, const std::vector<ChatEntry>& lines,
                          std::vector<uint8_t>& bgra) {
    return drawImage(width, height, dpi, lines, [&](HDC, HDC, const uint8_t* bits) {
        bgra.assign(bits, bits + std::size_t(width) * std::size_t(height) * 4);
    });
}

void ChatOnTopWindow::render() {
    HWND h = static_cast<HWND>(hwnd);
    RECT wr;
    if (!GetWindowRect(h, &wr)) return;
    const int w = wr.right - wr.left;
    const int ht = wr.bottom - wr.top;
    if (w <= 0 || ht <= 0) return;
    drawnWidth = w;
    drawnHeight = ht;
    drawImage(w, ht, int(windowDpi(h)), lines, [&](HDC screen, HDC mem, const uint8_t*) {
        POINT source{0, 0};
        SIZE size{w, ht};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(h, screen, nullptr, &size, mem, &source, 0, &blend, ULW_ALPHA);
    });
}

void ChatOnTopWindow::update(std::unique_ptr<ChatOnTopWindow>& window, Project& record,
                             const std::vector<ChatEntry>& lines) {
    if (!record.chatOnTopShown) {
        window.reset();
        return;
    }
    if (!window) {
        registerClassOnce();
        const ChatOnTopRect saved = chatOnTopPlacement(record, true, {});
        const RECT savedRect{saved.left, saved.top, saved.right, saved.bottom};
        const bool onMonitor = MonitorFromRect(&savedRect, MONITOR_DEFAULTTONULL) != nullptr;
        RECT work{0, 0, 0, 0};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const ChatOnTopRect place =
            chatOnTopPlacement(record, onMonitor, {int(work.left), int(work.top), int(work.right), int(work.bottom)});
        record.chatOnTopX = place.left;
        record.chatOnTopY = place.top;
        HWND h = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName,
                                 kTitle, WS_POPUP | WS_THICKFRAME, place.left, place.top, place.right - place.left,
                                 place.bottom - place.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        // Without a window the next tick tries again.
        if (!h) return;
        auto created = std::make_unique<ChatOnTopWindow>();
        created->hwnd = h;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created.get()));
        // Systems without capture exclusion refuse it; the window is still useful there.
        SetWindowDisplayAffinity(h, WDA_EXCLUDEFROMCAPTURE);
        created->lines = lines;
        created->render();
        ShowWindow(h, SW_SHOWNOACTIVATE);
        created->moved = false;
        window = std::move(created);
    }
    ChatOnTopWindow& w = *window;
    const bool moved = w.moved;
    w.moved = false;
    RECT wr;
    if (moved && GetWindowRect(static_cast<HWND>(w.hwnd), &wr) && wr.right - wr.left >= kStoredMinSide &&
        wr.bottom - wr.top >= kStoredMinSide) {
        record.chatOnTopX = wr.left;
        record.chatOnTopY = wr.top;
        record.chatOnTopWidth = wr.right - wr.left;
        record.chatOnTopHeight = wr.bottom - wr.top;
    }
    if (sameChatLines(lines, w.lines)) return;
    w.lines = lines;
    w.render();
}
