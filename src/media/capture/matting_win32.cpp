#include "media/capture/matting.h"

std::unique_ptr<MattingRuntime> platformMattingRuntime() { return nullptr; }
