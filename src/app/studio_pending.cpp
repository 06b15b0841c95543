// Minimal bodies for Studio operations whose full versions land with the
// recording, live and compositing runtimes. Each is removed here when its real
// body arrives.

#include "app/studio.h"

void Studio::handleShortcuts() {}

void Studio::addLayer(int kind) {
    if (project.activeScene < 0 || project.activeScene >= int(project.scenes.size())) return;
    Scene& scene = project.scenes[size_t(project.activeScene)];
    scene.layers.push_back(makeLayer(kind, layerKindName(kind)));
    selectedLayer = int(scene.layers.size()) - 1;
}

void Studio::setEditCanvas(int canvas) {
    if (canvas == editCanvas) return;
    for (Scene& scene : project.scenes) scene.swapCanvasRects();
    editCanvas = canvas;
}

void Studio::applyLayout(int) {}

void Studio::toggleRecord() {}

void Studio::toggleLive() {}
