#include "live/live_session.h"
#include "media/media_kit.h"

LiveMediaAccess liveMediaAccessFromKit(MediaKit* kit) {
    LiveMediaAccess access;
    if (!kit) return access;
    access.makeVideoEncoder = [kit]() -> std::unique_ptr<IVideoPacketEncoder> {
        return kit->makeVideoEncoder ? kit->makeVideoEncoder() : nullptr;
    };
    access.makeAudioEncoder = [kit]() -> std::unique_ptr<IAudioPacketEncoder> {
        return kit->makeAudioEncoder ? kit->makeAudioEncoder() : nullptr;
    };
    access.compositor = [kit](int canvas) -> ICompositor* {
        return canvas == 0 || canvas == 1 ? kit->compositors[canvas].get() : nullptr;
    };
    return access;
}

LiveSession::LiveSession(MediaKit* mediaKit) : LiveSession(liveMediaAccessFromKit(mediaKit)) {}
