#pragma once
// The portable half of the text sources: measurements derived from the font
// size, the chat text format and the outline (halo) pass over a drawn box.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Font sizes beyond this are drawn at this size (the bitmap is capped anyway).
constexpr int kMaxFontPixels = 4096;

// The font size as a whole number of pixels, safe for any float.
int fontPixels(float fontSize);

// Text layer: the white mask is drawn this far inside its bitmap.
int textLayerPad(float fontSize);

struct BoxTextMetrics {
  int width = 8, height = 8;  // the box, 8..4096 on each axis
  int pad = 2;                // inner margin
  int messageFontHeight = 0;  // GDI heights: negative = character height
  int authorFontHeight = 0;
  int messageGap = 0;         // between one message and the next author
  int haloRadius = 1;         // outline radius in pixels
};
BoxTextMetrics boxTextMetrics(float fontSize, int width, int height);

struct ChatBoxLine {
  std::string author;   // UTF-8; the GDI side converts to UTF-16
  std::string message;
  int colourIndex = 0;
};

// Lines of "author 0x1F message 0x1F colour", separated by line feeds.
std::vector<ChatBoxLine> layoutBoxText(std::string_view text);

// Author name colours as GDI COLORREF values (0x00BBGGRR).
constexpr std::uint32_t kAuthorColours[3] = {0x0040CCFF, 0x00FFC860, 0x00A078FF};
// Any index, negative or huge, picks one of the three.
std::uint32_t authorColour(int colourIndex);

// Counter text colour from the layer colour, as a COLORREF.
std::uint32_t counterTextColour(const float colour[4]);

// Turns text drawn on black into straight-alpha BGRA with a 75 % black
// outline of `radius` pixels. Rows are width * 4 bytes, top-down.
void applyHaloAlpha(std::uint8_t* bgra, int width, int height, int radius);
