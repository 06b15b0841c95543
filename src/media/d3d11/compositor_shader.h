#pragma once
// The compositor's one shader program: every layer, and the crossfade
// overlay, is one quad through it. Compiled at start-up.

extern const char kCompositorShader[];
