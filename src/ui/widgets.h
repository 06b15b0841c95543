#pragma once
// The studio's own controls: invisible buttons for input and identity, with
// their look drawn on the window's draw list in the applied palette.
// Explicit sizes passed in are pixels (callers multiply design sizes by
// uiScale()); the kit's own fixed sizes are scaled inside.

#include "imgui.h"
#include "ui/theme.h"
#include "util/shell.h"

// Icon font code points.
namespace Icon {
constexpr unsigned caretDown = 0xE136;
constexpr unsigned check = 0xE182;
constexpr unsigned minimise = 0xE32A;
constexpr unsigned maximise = 0xE45E;
constexpr unsigned restore = 0xE0F6;
constexpr unsigned close = 0xE4F6;
constexpr unsigned bringForward = 0xE13C;
constexpr unsigned sendBackward = 0xE136;
constexpr unsigned refresh = 0xE038;
constexpr unsigned rescan = 0xE036;
}  // namespace Icon

// The icon of a layer kind (LayerKind order); 0 for an unknown kind.
unsigned layerKindIcon(int kind);


float animateTowards(ImGuiID key, float target, float speed);
// The hover value of an item: animated towards 1 while on, 0 otherwise.
float hoverValue(ImGuiID id, bool on, float speed = 16.0f);
constexpr ImGuiID kHoverKeySalt = 0x5BD1E995u;

void drawSoftShadow(ImDrawList* dl, ImVec2 min, ImVec2 max, float radius, float spread,
                    float strength);
void drawCenteredIcon(ImDrawList* dl, ImVec2 centre, unsigned glyph, ImU32 colour, float size);
void drawFocusRing(float radius);
void smallColoredText(ImU32 colour, const char* text);
void fieldLabel(const char* text);

// A textColour of 0 uses the theme's text colour for the kind of button.
bool roundedButton(const char* label, bool primary, float width = 0.0f, ImU32 textColour = 0);
bool iconButton(unsigned glyph, const char* tooltip, bool active, ImU32 colour, float size = 0.0f);
bool toggleSwitch(const char* id, bool& value);
// A switch at the right of a field row: 32 before the end of the control column.
bool rowEndToggle(const char* id, bool& value);
bool segmentedControl(const char* id, const char* const* labels, int count, int& value,
                      float width = 0.0f);
bool sliderTrack(const char* id, float& value, float min, float max, const char* format);
bool listRowButton(const char* id, unsigned glyph, const char* label, const char* secondary,
                   bool selected);
bool pillMenuButton(const char* id, const char* text);
void endPillMenu();
bool menuItemRow(const char* text, bool marked);
void levelMeter(float peak, ImVec2 size);
// The caption command (CaptionCommand) of the button clicked, else 0.
int windowButtons(ImVec2 topRight, float height, bool maximised);

void cardTitle(const char* text);
void beginCard();
void fieldRow(const char* label = nullptr);
void endCard();
void alignRight(float width);

// The meter's fill fraction for a peak (0..1 over -60..0 dBFS).
float meterLevel(float peak);
