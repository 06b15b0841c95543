#include "project/layout_presets.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMargin = 40.0f;
constexpr float kGap = 24.0f;
constexpr float kCorner = 24.0f;
constexpr float kCameraColumn = 440.0f;  // camera column beside the screen, horizontal
constexpr float kCameraBand = 760.0f;    // camera band below or above the screen, vertical

struct CanvasSize {
    float w;
    float h;
};

CanvasSize designSize(int canvas) {
    return canvas == 0 ? CanvasSize{kHorizontalDesignWidth, kHorizontalDesignHeight}
                       : CanvasSize{kVerticalDesignWidth, kVerticalDesignHeight};
}

LayoutRect contentArea(CanvasSize s) { return {kMargin, kMargin, s.w - 2 * kMargin, s.h - 2 * kMargin}; }

void hideOnBoth(Layer& layer) {
    layer.visible = false;
    layer.verticalVisible = false;
}

bool isScreenKind(int kind) { return kind == LayerKind::Screen || kind == LayerKind::GameOrApp; }

int findTagged(const Scene& scene, const char* tag) {
    for (size_t i = 0; i < scene.layers.size(); ++i) {
        if (scene.layers[i].tag == tag) return static_cast<int>(i);
    }
    return -1;
}

// The preset that Dynamic stands for, from what the scene holds.
int dynamicChoice(const Scene& scene) {
    const int signature = layoutSignature(scene);
    const bool hasScreen = (signature & 1) != 0;
    const int cameras = signature / 2;
    if (hasScreen) return cameras >= 1 ? LayoutPreset::ScreenCam : LayoutPreset::ScreenFocus;
    return cameras <= 1 ? LayoutPreset::JustMe : LayoutPreset::PodcastGrid;
}

// Where preset p puts the screen and the cameras on one canvas.
void placeOnCanvas(int p, int canvas, Layer* screen, const std::vector<Layer*>& cams) {
    const CanvasSize s = designSize(canvas);
    const bool horizontal = canvas == 0;
    const LayoutRect full{0.0f, 0.0f, s.w, s.h};
    const LayoutRect content = contentArea(s);
    const int k = static_cast<int>(cams.size());
    auto placeScreen = [&](const LayoutRect& r, float corner) {
        if (screen) setLayerRect(*screen, canvas, r, corner);
    };
    auto firstCameraFills = [&] {
        if (!cams.empty()) setLayerRect(*cams[0], canvas, full, 0.0f);
    };

    switch (p) {
    case LayoutPreset::JustMe:
        firstCameraFills();
        break;
    case LayoutPreset::ScreenCam:
    case LayoutPreset::CamScreen: {
        const bool screenFirst = p == LayoutPreset::ScreenCam;
        if (horizontal) {
            const float screenWidth = content.width - kCameraColumn - kGap;
            const LayoutRect screenBox{screenFirst ? kMargin : kMargin + kCameraColumn + kGap, kMargin,
                                       screenWidth, content.height};
            const LayoutRect camBox{screenFirst ? s.w - kMargin - kCameraColumn : kMargin, kMargin,
                                    kCameraColumn, content.height};
            placeScreen(screenBox, kCorner);
            placeCameras(cams, canvas, camBox, false);
        } else {
            const float screenHeight = content.height - kCameraBand - kGap;
            const LayoutRect screenBox{kMargin, screenFirst ? kMargin : kMargin + kCameraBand + kGap,
                                       content.width, screenHeight};
            const LayoutRect camBox{kMargin, screenFirst ? s.h - kMargin - kCameraBand : kMargin,
                                    content.width, kCameraBand};
            placeScreen(screenBox, kCorner);
            placeCameras(cams, canvas, camBox, true);
        }
        break;
    }
    case LayoutPreset::ScreenTile:
    case LayoutPreset::TileScreen: {
        placeScreen(full, 0.0f);
        float tileW = horizontal ? 400.0f : 330.0f;
        float tileH = horizontal ? 225.0f : 440.0f;
        // A row wider than the content area would push tiles off the canvas: shrink the tiles,
        // keeping their shape, until the row fits between the margins.
        const float widest = k > 0 ? (content.width - static_cast<float>(k - 1) * kGap) / static_cast<float>(k) : tileW;
        if (tileW > widest) {
            tileH *= widest / tileW;
            tileW = widest;
        }
        const float rowWidth = static_cast<float>(k) * tileW + static_cast<float>(k - 1) * kGap;
        const float x = p == LayoutPreset::ScreenTile ? s.w - kMargin - rowWidth : kMargin;
        placeCameras(cams, canvas, {x, s.h - kMargin - tileH, rowWidth, tileH}, true);
        break;
    }
    case LayoutPreset::SideBySide:
    case LayoutPreset::SideBySide2: {
        const std::vector<LayoutRect> halves = splitRect(content, 2, horizontal);
        const bool screenFirst = p == LayoutPreset::SideBySide;
        placeScreen(halves[screenFirst ? 0 : 1], kCorner);
        placeCameras(cams, canvas, halves[screenFirst ? 1 : 0], !horizontal);
        break;
    }
    case LayoutPreset::ScreenFocus:
        placeScreen(full, 0.0f);
        break;
    case LayoutPreset::Presenter:
    case LayoutPreset::Presenter2: {
        firstCameraFills();
        const bool right = p == LayoutPreset::Presenter;
        if (horizontal) {
            const float w = 860.0f;
            const float h = 484.0f;
            placeScreen({right ? s.w - kMargin - w : kMargin, (s.h - h) / 2, w, h}, kCorner);
        } else {
            const float h = 560.0f;
            placeScreen({kMargin, right ? 120.0f : s.h - kMargin - h, content.width, h}, kCorner);
        }
        break;
    }
    case LayoutPreset::PodcastRow:
        placeCameras(cams, canvas, content, horizontal);
        break;
    case LayoutPreset::PodcastGrid: {
        const int columns = horizontal ? static_cast<int>(std::ceil(std::sqrt(static_cast<float>(std::max(k, 1)))))
                                       : (k > 3 ? 2 : 1);
        const std::vector<LayoutRect> cells = gridCells(content, k, columns);
        for (size_t i = 0; i < cams.size() && i < cells.size(); ++i) setLayerRect(*cams[i], canvas, cells[i], kCorner);
        break;
    }
    default:
        break;
    }
}

}  // namespace

const char* layoutPresetName(int n) {
    static const char* const names[LayoutPreset::Count] = {
        "Just me",        "Screen + cam", "Cam + screen", "Screen + tile",  "Tile + screen",
        "Side by side",   "Side by side 2", "Screen focus", "Presenter",    "Presenter 2",
        "Podcast row",    "Podcast grid", "Dynamic",      "Starting soon",  "Be right back",
        "Thanks for watching"};
    return n >= 0 && n < LayoutPreset::Count ? names[n] : "";
}

int layoutSignature(const Scene& scene) {
    int screens = 0;
    int cameras = 0;
    for (const Layer& layer : scene.layers) {
        if (isScreenKind(layer.kind)) screens = 1;
        if (layer.kind == LayerKind::Camera) ++cameras;
    }
    return screens + 2 * cameras;
}

void setLayerRect(Layer& layer, int canvas, const LayoutRect& r, float corner) {
    layer.cornerRadius = corner;
    if (canvas == 0) {
        layer.x = r.x;
        layer.y = r.y;
        layer.width = r.width;
        layer.height = r.height;
        layer.visible = true;
    } else {
        layer.verticalX = r.x;
        layer.verticalY = r.y;
        layer.verticalWidth = r.width;
        layer.verticalHeight = r.height;
        layer.verticalVisible = true;
    }
}

std::vector<LayoutRect> splitRect(const LayoutRect& r, int count, bool sideBySide) {
    std::vector<LayoutRect> boxes;
    if (count <= 0) return boxes;
    boxes.reserve(static_cast<size_t>(count));
    const float gaps = static_cast<float>(count - 1) * kGap;
    const float n = static_cast<float>(count);
    for (int i = 0; i < count; ++i) {
        const float fi = static_cast<float>(i);
        if (sideBySide) {
            const float d = (r.width - gaps) / n;
            boxes.push_back({r.x + fi * (d + kGap), r.y, d, r.height});
        } else {
            const float d = (r.height - gaps) / n;
            boxes.push_back({r.x, r.y + fi * (d + kGap), r.width, d});
        }
    }
    return boxes;
}

std::vector<LayoutRect> gridCells(const LayoutRect& r, int count, int columns) {
    std::vector<LayoutRect> cells;
    if (count <= 0) return cells;
    const int perRow = std::max(columns, 1);
    const int rows = (perRow + count - 1) / perRow;
    const std::vector<LayoutRect> rowBoxes = splitRect(r, rows, false);
    for (int i = 0; i < rows; ++i) {
        const std::vector<LayoutRect> row = splitRect(rowBoxes[static_cast<size_t>(i)],
                                                      std::min(count - perRow * i, perRow), true);
        cells.insert(cells.end(), row.begin(), row.end());
    }
    return cells;
}

void placeCameras(const std::vector<Layer*>& cameras, int canvas, const LayoutRect& r, bool sideBySide) {
    const std::vector<LayoutRect> boxes = splitRect(r, static_cast<int>(cameras.size()), sideBySide);
    for (size_t i = 0; i < cameras.size(); ++i) setLayerRect(*cameras[i], canvas, boxes[i], kCorner);
}

void setTitleCard(Scene& scene, int n, bool on) {
    if (!on) {
        for (const char* tag : {"card", "cardtext"}) {
            const int i = findTagged(scene, tag);
            if (i >= 0) hideOnBoth(scene.layers[static_cast<size_t>(i)]);
        }
        return;
    }
    if (findTagged(scene, "card") < 0) {
        Layer card = makeLayer(LayerKind::Color, "Title card");
        card.colour = {0.04f, 0.06f, 0.12f, 1.0f};
        card.tag = "card";
        scene.layers.push_back(std::move(card));
    }
    if (findTagged(scene, "cardtext") < 0) {
        Layer text = makeTextLayer("Title card text", "", 96.0f, 960.0f, 540.0f);
        text.tag = "cardtext";
        scene.layers.push_back(std::move(text));
    }
    Layer& card = scene.layers[static_cast<size_t>(findTagged(scene, "card"))];
    setLayerRect(card, 0, {0.0f, 0.0f, kHorizontalDesignWidth, kHorizontalDesignHeight}, 0.0f);
    setLayerRect(card, 1, {0.0f, 0.0f, kVerticalDesignWidth, kVerticalDesignHeight}, 0.0f);

    Layer& text = scene.layers[static_cast<size_t>(findTagged(scene, "cardtext"))];
    const std::string wanted = layoutPresetName(n);
    // A card text the user moved keeps its place while it already says the right thing.
    if (text.text == wanted && text.visible) return;
    text.text = wanted;
    const float corner = text.cornerRadius;
    setLayerRect(text, 0, {kHorizontalDesignWidth / 2, kHorizontalDesignHeight / 2, 0.0f, 0.0f}, corner);
    setLayerRect(text, 1, {kVerticalDesignWidth / 2, kVerticalDesignHeight / 2, 0.0f, 0.0f}, corner);
}

void applyLayoutPreset(Scene& scene, int n) {
    if (n < 0 || n >= LayoutPreset::Count) return;
    scene.layoutPreset = n;
    if (n >= LayoutPreset::StartingSoon) {
        setTitleCard(scene, n, true);
        return;
    }
    setTitleCard(scene, n, false);
    const int p = n == LayoutPreset::Dynamic ? dynamicChoice(scene) : n;

    Layer* screen = nullptr;
    for (Layer& layer : scene.layers) {
        if (!isScreenKind(layer.kind)) continue;
        if (!screen) {
            screen = &layer;
        } else {
            hideOnBoth(layer);
        }
    }
    if (screen) {
        screen->scaling = ScalingMode::Fit;
        if (p == LayoutPreset::JustMe || p == LayoutPreset::PodcastRow || p == LayoutPreset::PodcastGrid) {
            hideOnBoth(*screen);
            screen = nullptr;
        }
    }

    std::vector<Layer*> cams;
    for (Layer& layer : scene.layers) {
        if (layer.kind != LayerKind::Camera) continue;
        layer.scaling = ScalingMode::Fill;
        const bool onlyFirst = p == LayoutPreset::JustMe || p == LayoutPreset::Presenter ||
                               p == LayoutPreset::Presenter2;
        if (p == LayoutPreset::ScreenFocus || (onlyFirst && !cams.empty())) {
            hideOnBoth(layer);
        } else {
            cams.push_back(&layer);
        }
    }

    for (int canvas = 0; canvas < 2; ++canvas) placeOnCanvas(p, canvas, screen, cams);
}

SavedLayout makeSavedLayout(const Scene& scene, const std::string& name) {
    SavedLayout saved;
    saved.name = name;
    saved.layers = scene.layers;
    return saved;
}

void applySavedLayout(Scene& scene, const SavedLayout& saved) {
    const size_t none = saved.layers.size();
    std::vector<size_t> partner(scene.layers.size(), none);
    std::vector<bool> taken(saved.layers.size(), false);
    auto match = [&](bool byName) {
        for (size_t i = 0; i < scene.layers.size(); ++i) {
            if (partner[i] != none) continue;
            const Layer& layer = scene.layers[i];
            for (size_t j = 0; j < saved.layers.size(); ++j) {
                const Layer& candidate = saved.layers[j];
                if (taken[j] || candidate.kind != layer.kind) continue;
                if (byName && candidate.name != layer.name) continue;
                partner[i] = j;
                taken[j] = true;
                break;
            }
        }
    };
    match(true);
    match(false);
    for (size_t i = 0; i < scene.layers.size(); ++i) {
        if (partner[i] == none) continue;
        Layer& layer = scene.layers[i];
        const Layer& from = saved.layers[partner[i]];
        layer.x = from.x;
        layer.y = from.y;
        layer.width = from.width;
        layer.height = from.height;
        layer.visible = from.visible;
        layer.verticalX = from.verticalX;
        layer.verticalY = from.verticalY;
        layer.verticalWidth = from.verticalWidth;
        layer.verticalHeight = from.verticalHeight;
        layer.verticalVisible = from.verticalVisible;
        layer.cornerRadius = from.cornerRadius;
        layer.scaling = from.scaling;
        layer.crop = from.crop;
    }
    scene.layoutPreset = -1;
}
