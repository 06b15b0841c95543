// Encoders for native tests only (never part of the product): H.264 through libx264 and AAC
// through libavcodec, producing packets in exactly the form the studio's own encoders give:
// Annex-B access units with SPS/PPS in band on key frames and no B-frames, raw AAC frames with
// times in steps of 1024 samples from 0.
#pragma once

#include "media/media.h"

#include <memory>

// Packets come out in the same encode call (the studio's encoder hands them out a call later;
// callers must not depend on either).
std::unique_ptr<IVideoPacketEncoder> makeTestVideoEncoder();
std::unique_ptr<IAudioPacketEncoder> makeTestAudioEncoder();
