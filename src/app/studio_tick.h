#pragma once
// The pieces of the studio tick that are plain arithmetic, and the clock the
// tick reads (tests put a fake one in its place).

#include <cstdint>

using StudioClock = int64_t (*)();

// Steady-clock nanoseconds as the tick sees them.
int64_t studioTickNow();
// Replaces the clock; null restores the steady clock.
void setStudioTickClock(StudioClock clock);

// Opacity of the previous scene's picture: 1 when the transition starts,
// easing to 0 after transitionMs (0 throughout when transitions are off).
float transitionWeight(int64_t nowNs, int64_t startNs, int transitionMs);

// The virtual camera takes at most 30 frames a second; after a stall the
// schedule restarts from now instead of catching up.
constexpr int64_t kVirtualCameraFrameNs = 33333333;
int64_t nextVirtualCameraFrameAfter(int64_t scheduledNs, int64_t nowNs);

// 1000 / the faster canvas's frame rate (a rate below 1 counts as 1).
double frameIntervalFor(int fps0, int fps1);
