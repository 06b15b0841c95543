#pragma once

// The project model: everything the user sets up, as plain records with
// value semantics. Only the main thread reads or writes a Project.
//
// Layer rectangles are in design units of their canvas: 1920 x 1080 for the
// horizontal canvas (0) and 1080 x 1920 for the vertical one (1).

#include <array>
#include <string>
#include <vector>

// What a layer shows. Stored as a plain int in Layer::kind (and in the file).
namespace LayerKind {
enum : int {
    Color = 0,
    Text = 1,
    Image = 2,
    Screen = 3,      // display capture
    Camera = 4,
    GameOrApp = 5,   // window capture
    Chat = 6,
    LiveCounter = 7,
};
constexpr int Count = 8;
}  // namespace LayerKind

// How a source fills its layer rectangle. Stored in Layer::scaling.
namespace ScalingMode {
enum : int { Stretch = 0, Fit = 1, Fill = 2 };
constexpr int Count = 3;
}  // namespace ScalingMode

// Encoder quality preset. Stored in Project::encoderPreset.
namespace EncoderPreset {
enum : int { Quality = 0, Balanced = 1, Efficiency = 2 };
constexpr int Count = 3;
}  // namespace EncoderPreset

// Display names ("Color", "Game or app", "Fit", "Balanced", ...); an unknown
// value gives an empty text.
const char* layerKindName(int kind);
const char* scalingModeName(int mode);
const char* encoderPresetName(int preset);

// Design size of each canvas's layer coordinates.
constexpr float kHorizontalDesignWidth = 1920.0f;
constexpr float kHorizontalDesignHeight = 1080.0f;
constexpr float kVerticalDesignWidth = 1080.0f;
constexpr float kVerticalDesignHeight = 1920.0f;

struct CanvasSettings {
    int width = 1920;
    int height = 1080;
    int fps = 30;
    int bitrateKbps = 12000;  // recording bit rate

    bool operator==(const CanvasSettings&) const = default;
};

// One rectangle with its visibility, in canvas units.
struct LayerRect {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    bool visible = true;

    bool operator==(const LayerRect&) const = default;
};

// Keys, colour adjustments and LUT of a layer, kept as one record so they
// travel together.
struct LayerEffects {
    bool chromaKey = false;
    std::array<float, 3> keyColour{0.0f, 1.0f, 0.0f};
    float similarity = 0.3f;
    float smoothness = 0.08f;
    float brightness = 0.0f;
    float contrast = 1.0f;
    float saturation = 1.0f;
    bool lumaKey = false;
    float keepAbove = 0.1f;
    float keepBelow = 1.0f;
    float lumaSmoothness = 0.05f;
    std::string lutPath;  // empty = no LUT

    bool operator==(const LayerEffects&) const = default;
};

// One element of a scene. The primary rectangle (x .. visible) is what
// renderers and editors read; it holds the horizontal canvas's values except
// while the vertical canvas is edited, when swapCanvasRects has exchanged it
// with the second rectangle (verticalX .. verticalVisible).
struct Layer : LayerEffects {
    std::string name;
    int kind = LayerKind::Color;
    float x = 0.0f;
    float y = 0.0f;
    float width = 1920.0f;   // <= 0: an unmeasured text layer, x/y are its centre
    float height = 1080.0f;
    float opacity = 1.0f;
    float cornerRadius = 0.0f;
    bool visible = true;
    std::array<float, 4> colour{0.07f, 0.07f, 0.09f, 1.0f};
    std::string text;
    float fontSize = 96.0f;
    std::string source;      // image path or window title
    int deviceIndex = 0;     // display or camera number; 1000 = phone camera
    // chromaKey .. lutPath come from LayerEffects.
    float lutAmount = 1.0f;
    bool removeBackground = false;
    int scaling = ScalingMode::Stretch;
    std::array<float, 4> crop{0.0f, 0.0f, 0.0f, 0.0f};  // left, top, right, bottom
    bool flipH = false;
    bool flipV = false;
    bool locked = false;
    int toggleKey = 0;       // F1..F12 flips visibility; 0 = none
    std::string tag;         // "card", "cardtext" or empty
    float verticalX = 0.0f;
    float verticalY = 0.0f;
    float verticalWidth = 1080.0f;
    float verticalHeight = 1920.0f;
    bool verticalVisible = true;
    std::string liveText;    // written by live data every tick; never saved

    bool operator==(const Layer&) const = default;

    // The vertical rectangle and visibility derived from the layer's
    // horizontal rectangle and kind.
    static LayerRect verticalRectFrom(const Layer& layer);

    // Exchanges the primary rectangle and visibility with the second ones.
    void swapCanvasRects();

    // Turns both rectangles into their centre points (width = height = 0) so
    // that the text is measured again around the same centre.
    void recentre();

    LayerRect primaryRect() const { return {x, y, width, height, visible}; }
    LayerRect secondRect() const {
        return {verticalX, verticalY, verticalWidth, verticalHeight, verticalVisible};
    }
    void setSecondRect(const LayerRect& r);
};

struct Scene {
    std::string name;
    std::vector<Layer> layers;  // drawing order: first = bottom
    int layoutPreset = -1;      // last applied preset 0..15; -1 = arranged by hand

    bool operator==(const Scene&) const = default;

    void swapCanvasRects();

    // Appends a copy of layer i (" copy", offset by 24 on the primary
    // rectangle) and returns its index; an index out of range is returned
    // unchanged.
    int duplicateLayer(int i);

    // The topmost visible layer whose primary rectangle holds the point, or -1.
    int layerAt(float px, float py) const;

    // Exchanges layers i and i + delta and returns the new index; returns i
    // and changes nothing when either is out of range.
    static int moveLayer(std::vector<Layer>& layers, int i, int delta);

    // Erases layer i when it exists. Always returns -1 (the new selection).
    static int removeLayer(std::vector<Layer>& layers, int i);
};

struct SavedLayout {
    std::string name;
    std::vector<Layer> layers;

    bool operator==(const SavedLayout&) const = default;
};

struct Destination {
    std::string id;          // required; the stream key is stored under it
    std::string name = "Custom RTMP";
    std::string serverUrl;   // rtmp:// or rtmps://
    int canvas = 0;
    int bitrateKbps = 6000;  // 500..50000
    int heightLimit = 0;     // 0 = canvas height; at most 4320
    bool streamHere = true;
    std::string channel;

    bool operator==(const Destination&) const = default;
};

// The remote-control port: the listener and the UDP service share it; ports below 1024 are the
// system's own.
constexpr int kDefaultRemotePort = 7469;
constexpr int kMinRemotePort = 1024;
constexpr int kMaxRemotePort = 65535;

struct Project {
    std::vector<Scene> scenes;
    std::vector<Destination> destinations;
    bool recordWhenLive = false;
    bool darkMode = true;
    std::string themeName = "Studio";
    int textSizePercent = 100;  // 90, 100, 115 or 130
    std::string micDeviceId;    // empty = system default
    bool voiceProcessing = true;
    bool desktopAudio = true;
    float micGain = 1.0f;
    float desktopGain = 0.8f;
    bool noiseGate = false;
    float gateDb = -45.0f;
    int micDelayMs = 0;
    bool remoteControl = false;
    int remotePort = kDefaultRemotePort;
    bool localNetwork = false;
    bool virtualCamera = false;
    int virtualCameraCanvas = 0;
    std::array<CanvasSettings, 2> canvases{CanvasSettings{1920, 1080, 30, 12000},
                                           CanvasSettings{1080, 1920, 30, 8000}};
    bool recordHorizontal = true;
    bool recordVertical = false;
    int splitMinutes = 0;       // 0 = never
    std::string showName = "Quillhaven";
    std::string fileNameTemplate = "{show} {date} {time} {canvas}";
    std::string recordingFolder;  // empty = default folder
    std::string backupFolder;     // empty = no backup copy
    bool safeMp4 = true;
    int encoderPreset = EncoderPreset::Balanced;
    bool mkv = false;
    std::vector<SavedLayout> savedLayouts;
    bool chatOnTopShown = false;
    int chatOnTopX = -1;        // -1 with chatOnTopY -1 = default place
    int chatOnTopY = -1;
    int chatOnTopWidth = 360;
    int chatOnTopHeight = 480;
    int transitionMs = 400;     // 0 = cut
    int activeScene = 0;
    std::string prompterText;
    float prompterSpeed = 40.0f;
    float prompterTextSize = 44.0f;

    bool operator==(const Project&) const = default;

    // Writes the project file: a ".tmp" file first, the previous file copied
    // to ".bak", then the new one renamed into place. True when it is there.
    bool save(const std::string& utf8Path) const;

    // Reads a project file. On success the project is replaced entirely; on
    // failure (cannot open, wrong magic line, no scene) it is unchanged.
    bool load(const std::string& utf8Path);
};

// A new layer of that kind with its per-kind defaults and a derived vertical
// rectangle.
Layer makeLayer(int kind, const std::string& name);

// A new, unmeasured Text layer centred on (centreX, centreY).
Layer makeTextLayer(const std::string& name, const std::string& text, float fontSize,
                    float centreX, float centreY);

// The project the studio starts with when no project file can be read.
Project makeDefaultProject();
