#pragma once
// A Studio with remote control on a free loopback port and a fixed project:
// scenes "Intro", "Main \"two\"" and "Outro"; in "Main \"two\"" two layers on
// toggle key 3 (one shown, one hidden) and one without a key.

#include <string>

#include "app/studio.h"

// Sets QUILLHAVEN_PROFILE to a fresh folder named after the test.
void useFreshProfile(const std::string& name);

// Fills the project and starts remote control; false when no port could be had.
bool startRemoteStudio(Studio& studio);
