// Stand-in for builds without the system audio service: no endpoints, and an input that
// explains itself the way a machine without audio does.
#include "media/audio/wasapi_audio_input.h"

CaptureOpenResult openSystemCapture(const AudioInputSettings&) {
    CaptureOpenResult r;
    r.error = "Audio is unavailable";
    return r;
}

std::vector<AudioDevice> listAudioInputs() { return {}; }
