#include "ui/style.h"

// No embedded resources or system font folder outside Windows: every font
// falls back to the library's default unless a test supplies a source.
FontSource platformFontSource() { return {}; }
