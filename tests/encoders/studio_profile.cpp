// Prepares a studio profile for the end-to-end checks: a project.txt that records both canvases
// to Matroska with a backup folder and has one destination, and that destination's stream key in
// the Credential Manager, stored through the studio's own secret store. The first scene ends in a
// hidden white layer over both canvases that F1 shows: the flash the checks line the sound up with.
// Usage: studio_profile <profile folder> <recording folder> <backup folder> <rtmp url> <key>
#include "project/project.h"
#include "project/project_file.h"
#include "project/project_text.h"
#include "util/secret_store.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: studio_profile <profile> <recordings> <backups> <rtmp url> <key>\n");
        return 2;
    }
    Project p = makeDefaultProject();
    p.recordHorizontal = true;
    p.recordVertical = true;
    p.mkv = true;
    p.recordingFolder = argv[2];
    p.backupFolder = argv[3];
    Destination d;
    d.id = "e2e";
    d.name = "Local";
    d.serverUrl = argv[4];
    d.bitrateKbps = 3000;
    p.destinations = {d};
    Layer flash = makeLayer(LayerKind::Color, "Flash");
    flash.colour = {1.0f, 1.0f, 1.0f, 1.0f};
    flash.visible = false;
    flash.verticalVisible = false;
    flash.toggleKey = 1;
    p.scenes[0].layers.push_back(flash);
    const std::string path = std::string(argv[1]) + "\\project.txt";
    if (!projectfile::writeAll(path, projectToText(p))) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
        return 1;
    }
    if (!storeSecret("dest/" + d.id, argv[5])) {
        std::fprintf(stderr, "could not store the stream key\n");
        return 1;
    }
    return 0;
}
