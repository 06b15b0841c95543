#pragma once
// Geometry rules of the borderless main window, free of Windows types.

#include <vector>

struct TitleRect;

enum class WindowHit {
    Client,
    Caption,
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

struct WindowSize {
    int width = 0, height = 0;
};

// Size of a new window at the system DPI, cut to the monitor's work area (0 x 0: unknown) so
// that a large DPI on a small screen keeps the title bar and its buttons on the screen.
WindowSize initialWindowSize(unsigned dpi, WindowSize workArea);
// Smallest size the user can drag the window to, cut to the work area in the same way.
WindowSize minimumWindowSize(unsigned dpi, WindowSize workArea);
// Width of the invisible resize border.
int resizeBorderWidth(unsigned dpi);

// Hit test of a client-area point. dragRects is null while no studio runs.
WindowHit hitTestWindow(int x, int y, int clientRight, int clientBottom, unsigned dpi, bool maximised,
                        const std::vector<TitleRect>* dragRects);
