// Going live and off air: the one operation behind Ctrl+L, the go-live button and the
// remote "live.toggle".
#include "app/studio.h"
#include "util/secret_store.h"

void Studio::toggleLive() {
    if (!live.isLive()) {
        const std::string result =
            live.start(project, [](const Destination& destination) { return loadSecret("dest/" + destination.id); });
        if (!result.empty()) {
            toast.show("Could not go live: " + result);
        } else if (project.recordWhenLive && !recording.recording) {
            toggleRecord();
            recordingStartedByLive = recording.recording;
        }
    } else {
        live.stopAll();
        // A recording the user started before going live is theirs to stop.
        if (recordingStartedByLive && recording.recording) toggleRecord();
        recordingStartedByLive = false;
        toast.show("Stream ended");
    }
    updateAudioCapture();
}
