#include "project/project.h"

#include <algorithm>
#include <utility>

const char* layerKindName(int kind) {
    static const char* const names[LayerKind::Count] = {
        "Color", "Text", "Image", "Screen", "Camera", "Game or app", "Chat", "Live counter"};
    return kind >= 0 && kind < LayerKind::Count ? names[kind] : "";
}

const char* scalingModeName(int mode) {
    static const char* const names[ScalingMode::Count] = {"Stretch", "Fit", "Fill"};
    return mode >= 0 && mode < ScalingMode::Count ? names[mode] : "";
}

const char* encoderPresetName(int preset) {
    static const char* const names[EncoderPreset::Count] = {"Quality", "Balanced", "Efficiency"};
    return preset >= 0 && preset < EncoderPreset::Count ? names[preset] : "";
}

LayerRect Layer::verticalRectFrom(const Layer& layer) {
    constexpr float W = kHorizontalDesignWidth, H = kHorizontalDesignHeight;
    constexpr float VW = kVerticalDesignWidth, VH = kVerticalDesignHeight;
    LayerRect r{0.0f, 0.0f, VW, VH, layer.visible};
    const float x = layer.x, y = layer.y, w = layer.width, h = layer.height;

    if (w <= 0.0f) {
        // An unmeasured text layer is a centre point: map the point.
        r.x = 540.0f;
        r.y = y / H * VH;
        r.width = 0.0f;
        r.height = 0.0f;
        return r;
    }
    if (x <= 0.0f && y <= 0.0f && w >= W && h >= H) {
        // Full-canvas captures keep their picture whole, fitted to the width;
        // everything else keeps covering the whole canvas.
        if (layer.kind == LayerKind::Screen || layer.kind == LayerKind::GameOrApp) {
            r.x = 0.0f;
            r.width = VW;
            r.height = VW * h / w;
            r.y = (VH - r.height) * 0.5f;
        }
        return r;
    }
    if (layer.kind == LayerKind::Camera) {
        // A camera becomes full width just above the bottom.
        r.x = 48.0f;
        r.width = 984.0f;
        r.height = h * 984.0f / w;
        r.y = VH - r.height - 230.4f;
        return r;
    }
    // Keep the centre's relative position; shrink only when wider than the
    // vertical canvas.
    const float s = std::min(VW / w, 1.0f);
    r.width = s * w;
    r.height = s * h;
    r.x = ((w * 0.5f + x) / W) * VW - r.width * 0.5f;
    if (r.x > VW - r.width)
        r.x = VW - r.width;
    else if (r.x < 0.0f)
        r.x = 0.0f;
    r.y = ((h * 0.5f + y) / H) * VH - r.height * 0.5f;
    if (r.y > VH - r.height)
        r.y = VH - r.height;
    else if (r.y < 0.0f)
        r.y = 0.0f;
    return r;
}

void Layer::setSecondRect(const LayerRect& r) {
    verticalX = r.x;
    verticalY = r.y;
    verticalWidth = r.width;
    verticalHeight = r.height;
    verticalVisible = r.visible;
}

void Layer::swapCanvasRects() {
    std::swap(x, verticalX);
    std::swap(y, verticalY);
    std::swap(width, verticalWidth);
    std::swap(height, verticalHeight);
    std::swap(visible, verticalVisible);
}

void Layer::recentre() {
    x += width * 0.5f;
    y += height * 0.5f;
    width = height = 0.0f;
    verticalX += verticalWidth * 0.5f;
    verticalY += verticalHeight * 0.5f;
    verticalWidth = verticalHeight = 0.0f;
}

void Scene::swapCanvasRects() {
    for (Layer& layer : layers) layer.swapCanvasRects();
}

int Scene::duplicateLayer(int i) {
    if (i < 0 || i >= static_cast<int>(layers.size())) return i;
    Layer copy = layers[static_cast<size_t>(i)];
    copy.name += " copy";
    copy.x += 24.0f;
    copy.y += 24.0f;
    layers.push_back(std::move(copy));
    return static_cast<int>(layers.size()) - 1;
}

int Scene::layerAt(float px, float py) const {
    for (int i = static_cast<int>(layers.size()) - 1; i >= 0; --i) {
        const Layer& l = layers[static_cast<size_t>(i)];
        if (l.visible && px >= l.x && py >= l.y && px < l.x + l.width && py < l.y + l.height)
            return i;
    }
    return -1;
}

int Scene::moveLayer(std::vector<Layer>& layers, int i, int delta) {
    const long long n = static_cast<long long>(layers.size());
    const long long j = static_cast<long long>(i) + delta;
    if (i < 0 || i >= n || j < 0 || j >= n) return i;
    std::swap(layers[static_cast<size_t>(i)], layers[static_cast<size_t>(j)]);
    return static_cast<int>(j);
}

int Scene::removeLayer(std::vector<Layer>& layers, int i) {
    if (i >= 0 && i < static_cast<int>(layers.size()))
        layers.erase(layers.begin() + i);
    return -1;
}

Layer makeLayer(int kind, const std::string& name) {
    Layer l;
    l.name = name;
    l.kind = kind;
    switch (kind) {
    case LayerKind::Text:
        return makeTextLayer(name, "Your text", 96.0f, 960.0f, 540.0f);
    case LayerKind::Image:
    case LayerKind::Screen:
    case LayerKind::GameOrApp:
        l.scaling = ScalingMode::Fit;
        break;
    case LayerKind::Camera:
        l.x = 1392.0f;
        l.y = 762.0f;
        l.width = 480.0f;
        l.height = 270.0f;
        l.cornerRadius = 28.0f;
        l.scaling = ScalingMode::Fill;
        break;
    case LayerKind::Chat:
        l.text.clear();
        l.fontSize = 30.0f;
        l.x = 40.0f;
        l.y = 120.0f;
        l.width = 520.0f;
        l.height = 560.0f;
        break;
    case LayerKind::LiveCounter:
        l.text = "{viewers} watching";
        l.fontSize = 40.0f;
        l.colour = {1.0f, 1.0f, 1.0f, 1.0f};
        l.x = 40.0f;
        l.y = 40.0f;
        l.width = 420.0f;
        l.height = 64.0f;
        break;
    default:  // Color keeps the whole canvas and the dark fill
        break;
    }
    l.setSecondRect(Layer::verticalRectFrom(l));
    return l;
}

Layer makeTextLayer(const std::string& name, const std::string& text, float fontSize,
                    float centreX, float centreY) {
    Layer l;
    l.kind = LayerKind::Text;
    l.name = name;
    l.text = text;
    l.fontSize = fontSize;
    l.colour = {1.0f, 1.0f, 1.0f, 1.0f};
    l.x = centreX;
    l.y = centreY;
    l.width = l.height = 0.0f;
    l.setSecondRect(Layer::verticalRectFrom(l));
    return l;
}

Project makeDefaultProject() {
    Project p;
    const Layer background = makeLayer(LayerKind::Color, "Background");

    Scene main;
    main.name = "Main";
    main.layers.push_back(background);
    main.layers.push_back(makeTextLayer("Title", "Quillhaven", 140.0f, 960.0f, 540.0f));

    Scene screenCamera;
    screenCamera.name = "Screen + Camera";
    screenCamera.layers.push_back(makeLayer(LayerKind::Screen, "Screen"));
    screenCamera.layers.push_back(makeLayer(LayerKind::Camera, "Camera"));

    Scene brb;
    brb.name = "Be right back";
    Layer brbBackground = background;
    brbBackground.colour[0] = 0.0f;
    brbBackground.colour[1] = 0.27f;
    brbBackground.colour[2] = 0.55f;
    brb.layers.push_back(std::move(brbBackground));
    brb.layers.push_back(makeTextLayer("Message", "Be right back", 110.0f, 960.0f, 540.0f));

    p.scenes = {std::move(main), std::move(screenCamera), std::move(brb)};
    p.prompterText =
        "Welcome to Quillhaven.\n\nWrite your script here with Edit, then press Play. Read along "
        "the blue band; change speed and size above.\n\nHotkeys: 1-9 switch scenes, Ctrl+R "
        "records, Ctrl+T opens this prompter, Space plays or pauses it.";
    return p;
}
