// Minimal bodies for Studio operations whose full versions land with the
// recording, live and compositing runtimes. Each is removed here when its real
// body arrives.

#include "app/studio.h"

void Studio::toggleLive() {}
