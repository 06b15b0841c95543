#include "project/project_text.h"

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <system_error>
#include <vector>

// Numbers go through <charconv> only: the project file must read and write
// the same bytes whatever C locale the process runs under.

namespace {

constexpr std::string_view kMagicV1 = "quillhaven\t1";
constexpr std::string_view kMagicV2 = "quillhaven\t2";
// What a Windows editor may put in front of a file it saves as UTF-8.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Bounds that keep a hand-edited file from handing zero, negative or huge
// sizes and rates to the encoders, the recorders and the split timer.
constexpr int kMinCanvasSide = 16, kMaxCanvasSide = 8192;
constexpr int kMinFps = 1, kMaxFps = 240;
constexpr int kMinCanvasKbps = 100, kMaxCanvasKbps = 200000;
constexpr int kMaxSplitMinutes = 24 * 60;
// The chat-on-top window's place and size end up in rectangle sums and in a
// bitmap of that size: keep them to what a desktop can hold.
constexpr int kMaxScreenCoordinate = 100000;
constexpr int kMaxChatSide = 8192;

// ---- writing ---------------------------------------------------------------

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    void tag(char t) { out_.push_back(t); }
    void end() { out_.push_back('\n'); }

    void i(int v) {
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        field(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
    }
    void b(bool v) { field(v ? "1" : "0"); }
    void f(float v) {
        // Whole numbers below a million print as integers under "%g"; they
        // are most of a project's floats, and the integer path is much faster.
        if (v > -1e6f && v < 1e6f && v == static_cast<float>(static_cast<int>(v)) &&
            !(v == 0.0f && std::signbit(v))) {
            i(static_cast<int>(v));
            return;
        }
        // Six significant digits, shortest of fixed and exponent form, as
        // printf's "%g" would write it in the C locale.
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
        field(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
    }
    void s(std::string_view v) {
        out_.push_back('\t');
        size_t start = 0;
        for (size_t k = 0; k < v.size(); ++k) {
            const char c = v[k];
            const char* esc = c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : nullptr;
            if (!esc) continue;
            out_.append(v.data() + start, k - start);
            out_.append(esc, 2);
            start = k + 1;
        }
        out_.append(v.data() + start, v.size() - start);
    }

private:
    void field(std::string_view v) {
        out_.push_back('\t');
        out_.append(v);
    }
    std::string& out_;
};

void writeLayer(Writer& w, const Layer& l) {
    w.tag('L');
    w.s(l.name);
    w.i(l.kind);
    w.f(l.x);
    w.f(l.y);
    w.f(l.width);
    w.f(l.height);
    w.f(l.opacity);
    w.f(l.cornerRadius);
    w.b(l.visible);
    for (float c : l.colour) w.f(c);
    w.s(l.text);
    w.f(l.fontSize);
    w.s(l.source);
    w.i(l.deviceIndex);
    w.b(l.chromaKey);
    for (float c : l.keyColour) w.f(c);
    w.f(l.similarity);
    w.f(l.smoothness);
    w.f(l.brightness);
    w.f(l.contrast);
    w.f(l.saturation);
    w.f(l.verticalX);
    w.f(l.verticalY);
    w.f(l.verticalWidth);
    w.f(l.verticalHeight);
    w.b(l.verticalVisible);
    w.i(l.scaling);
    for (float c : l.crop) w.f(c);
    w.b(l.flipH);
    w.b(l.flipV);
    w.b(l.locked);
    w.s(l.tag);
    w.b(l.lumaKey);
    w.f(l.keepAbove);
    w.f(l.keepBelow);
    w.f(l.lumaSmoothness);
    w.s(l.lutPath);
    w.f(l.lutAmount);
    w.i(l.toggleKey);
    w.b(l.removeBackground);
    w.end();
}

// ---- reading numbers -------------------------------------------------------

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether a number that <charconv> found out of range was too large (rather
// than too small): the sign of its order of magnitude.
bool magnitudeIsPositive(std::string_view m, bool hex) {
    const int digitBits = hex ? 4 : 1;
    const char expChar = hex ? 'p' : 'e';
    auto digitOf = [&](char c) { return hex ? isHexDigit(c) : isDigit(c); };
    size_t k = 0;
    long long intDigits = 0, leadingFracZeros = 0;
    bool nonzero = false;
    for (; k < m.size() && digitOf(m[k]); ++k) {
        if (m[k] != '0') nonzero = true;
        if (nonzero) ++intDigits;
    }
    if (k < m.size() && m[k] == '.') {
        for (++k; k < m.size() && digitOf(m[k]); ++k) {
            if (nonzero) continue;
            if (m[k] == '0')
                ++leadingFracZeros;
            else
                nonzero = true;
        }
    }
    long long exponent = 0;
    if (k < m.size() && (m[k] == expChar || m[k] == expChar - 32)) {
        ++k;
        bool negative = false;
        if (k < m.size() && (m[k] == '+' || m[k] == '-')) negative = m[k++] == '-';
        for (; k < m.size() && isDigit(m[k]); ++k)
            if (exponent < 1000000000LL) exponent = exponent * 10 + (m[k] - '0');
        if (negative) exponent = -exponent;
    }
    const long long magnitude =
        (intDigits > 0 ? intDigits : -leadingFracZeros) * digitBits + exponent;
    return magnitude > 0;
}

// A number read the way the C library's string-to-float conversion reads it
// in the C locale: leading white space skipped, an optional sign, the longest
// valid prefix (decimal, "0x" hexadecimal, inf, nan), 0 when there is none.
// Out-of-range values come back as infinity or zero.
template <typename T>
T parseNumber(std::string_view s) {
    size_t k = 0;
    while (k < s.size() && isCSpace(s[k])) ++k;
    bool negative = false;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
    std::string_view rest = s.substr(k);
    // A second sign is not part of a number; <charconv> would take a '-'.
    if (rest.empty() || rest[0] == '+' || rest[0] == '-') return T(0);

    bool hex = false;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        std::string_view digits = rest.substr(2);
        const bool hasDigits =
            !digits.empty() && (isHexDigit(digits[0]) ||
                                (digits[0] == '.' && digits.size() > 1 && isHexDigit(digits[1])));
        if (!hasDigits) return T(0);  // just the "0" before the x
        rest = digits;
        hex = true;
    }
    T value = T(0);
    const auto r = std::from_chars(rest.data(), rest.data() + rest.size(), value,
                                   hex ? std::chars_format::hex : std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) return T(0);
    if (r.ec == std::errc::result_out_of_range) {
        const std::string_view matched(rest.data(), static_cast<size_t>(r.ptr - rest.data()));
        value = magnitudeIsPositive(matched, hex) ? std::numeric_limits<T>::infinity() : T(0);
    }
    return negative ? -value : value;
}

// ---- reading records -------------------------------------------------------

// The fields of one line; field 0 is the tag. Accessors take the field number
// and the value to use when the line is too short to have it. Non-finite
// numbers also take that value: nothing non-finite reaches an int or the model.
class Fields {
public:
    void split(std::string_view line) {
        f_.clear();
        size_t start = 0;
        for (;;) {
            const size_t tab = line.find('\t', start);
            if (tab == std::string_view::npos) {
                f_.push_back(line.substr(start));
                return;
            }
            f_.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
    }

    std::string_view tag() const { return f_[0]; }
    bool has(size_t n) const { return n < f_.size(); }

    std::string str(size_t n, std::string_view def = {}) const {
        if (!has(n)) return std::string(def);
        return unescape(f_[n]);
    }

    float flt(size_t n, float def) const {
        if (!has(n)) return def;
        const float v = parseNumber<float>(f_[n]);
        return std::isfinite(v) ? v : def;
    }

    // Integer fields are clamped while still floating point, then truncated
    // towards zero.
    int integer(size_t n, int def, int lo = INT_MIN, int hi = INT_MAX) const {
        if (!has(n)) return def;
        double v = parseNumber<double>(f_[n]);
        if (!std::isfinite(v)) return def;
        if (v < lo) v = lo;
        if (v > hi) v = hi;
        return static_cast<int>(v);
    }

    bool boolean(size_t n, bool def) const {
        if (!has(n)) return def;
        const double v = parseNumber<double>(f_[n]);
        return std::isfinite(v) ? v != 0.0 : def;
    }

private:
    static std::string unescape(std::string_view v) {
        std::string out;
        out.reserve(v.size());
        for (size_t k = 0; k < v.size(); ++k) {
            char c = v[k];
            if (c == '\\' && k + 1 < v.size()) {
                c = v[++k];
                if (c == 'n')
                    c = '\n';
                else if (c == 't')
                    c = '\t';
            }
            out.push_back(c);
        }
        return out;
    }

    std::vector<std::string_view> f_;
};

int kindOrColor(int kind) { return kind >= 0 && kind < LayerKind::Count ? kind : LayerKind::Color; }
int scalingOrStretch(int mode) {
    return mode >= 0 && mode < ScalingMode::Count ? mode : ScalingMode::Stretch;
}

Layer readLayer(const Fields& f, bool version1) {
    Layer l;
    l.name = f.str(1);
    l.kind = kindOrColor(f.integer(2, 0));
    l.x = f.flt(3, 0.0f);
    l.y = f.flt(4, 0.0f);
    l.width = f.flt(5, 1920.0f);
    l.height = f.flt(6, 1080.0f);
    l.opacity = f.flt(7, 1.0f);
    l.cornerRadius = f.flt(8, 0.0f);
    l.visible = f.boolean(9, true);
    for (size_t c = 0; c < 4; ++c) l.colour[c] = f.flt(10 + c, 1.0f);
    l.text = f.str(14);
    l.fontSize = f.flt(15, 96.0f);
    l.source = f.str(16);
    l.deviceIndex = f.integer(17, 0);
    l.chromaKey = f.boolean(18, false);
    for (size_t c = 0; c < 3; ++c) l.keyColour[c] = f.flt(19 + c, 0.0f);
    l.similarity = f.flt(22, 0.3f);
    l.smoothness = f.flt(23, 0.08f);
    l.brightness = f.flt(24, 0.0f);
    l.contrast = f.flt(25, 1.0f);
    l.saturation = f.flt(26, 1.0f);

    // Version 1 had no second rectangle: derive it, and every later field
    // sits five places earlier.
    size_t n = 27;
    if (version1) {
        l.setSecondRect(Layer::verticalRectFrom(l));
    } else {
        l.verticalX = f.flt(n++, 0.0f);
        l.verticalY = f.flt(n++, 0.0f);
        l.verticalWidth = f.flt(n++, 1080.0f);
        l.verticalHeight = f.flt(n++, 1920.0f);
        l.verticalVisible = f.boolean(n++, true);
    }
    l.scaling = scalingOrStretch(f.integer(n++, 0));
    for (float& c : l.crop) c = f.flt(n++, 0.0f);
    l.flipH = f.boolean(n++, false);
    l.flipV = f.boolean(n++, false);
    l.locked = f.boolean(n++, false);
    l.tag = f.str(n++);
    l.lumaKey = f.boolean(n++, false);
    l.keepAbove = f.flt(n++, 0.1f);
    l.keepBelow = f.flt(n++, 1.0f);
    l.lumaSmoothness = f.flt(n++, 0.05f);
    l.lutPath = f.str(n++);
    l.lutAmount = f.flt(n++, 1.0f);
    l.toggleKey = f.integer(n++, 0);
    l.removeBackground = f.boolean(n++, false);
    return l;
}

void readRecord(const Fields& f, bool version1, Project& p, std::vector<Layer>*& current) {
    const std::string_view tag = f.tag();
    if (tag.size() != 1) return;
    switch (tag[0]) {
    case 'C': {
        CanvasSettings& c = p.canvases[static_cast<size_t>(f.integer(1, 0) & 1)];
        c.width = f.integer(2, c.width, kMinCanvasSide, kMaxCanvasSide);
        c.height = f.integer(3, c.height, kMinCanvasSide, kMaxCanvasSide);
        c.fps = f.integer(4, c.fps, kMinFps, kMaxFps);
        c.bitrateKbps = f.integer(5, c.bitrateKbps, kMinCanvasKbps, kMaxCanvasKbps);
        break;
    }
    case 'R':
        p.recordHorizontal = f.boolean(1, true);
        p.recordVertical = f.boolean(2, false);
        p.splitMinutes = f.integer(3, 0, 0, kMaxSplitMinutes);
        p.showName = f.str(4);
        p.fileNameTemplate = f.str(5);
        p.recordingFolder = f.str(6);
        p.backupFolder = f.str(7);
        p.safeMp4 = f.boolean(8, true);
        p.encoderPreset = f.integer(9, EncoderPreset::Balanced, 0, EncoderPreset::Count - 1);
        p.mkv = f.boolean(10, false);
        break;
    case 'P':
        p.prompterText = f.str(1);
        p.prompterSpeed = f.flt(2, 40.0f);
        p.prompterTextSize = f.flt(3, 44.0f);
        p.activeScene = f.integer(4, 0);
        p.transitionMs = f.integer(5, 400);
        p.recordWhenLive = f.boolean(6, false);
        p.darkMode = f.boolean(7, true);
        p.textSizePercent = f.integer(8, 100, 90, 130);
        p.themeName = f.str(9);
        if (p.themeName.empty()) p.themeName = "Studio";
        break;
    case 'A':
        p.micDeviceId = f.str(1);
        p.voiceProcessing = f.boolean(2, false);
        p.desktopAudio = f.boolean(3, false);
        p.micGain = std::fmin(std::fmax(f.flt(4, 1.0f), 0.0f), 4.0f);
        p.desktopGain = std::fmin(std::fmax(f.flt(5, 0.8f), 0.0f), 4.0f);
        p.noiseGate = f.boolean(6, false);
        p.gateDb = std::fmin(std::fmax(f.flt(7, -45.0f), -80.0f), -10.0f);
        p.micDelayMs = f.integer(8, 0, 0, 1000);
        break;
    case 'V':
        p.virtualCamera = f.boolean(1, false);
        p.virtualCameraCanvas = f.integer(2, 0) & 1;
        break;
    case 'K':
        p.remoteControl = f.boolean(1, false);
        p.remotePort = f.integer(2, kDefaultRemotePort, kMinRemotePort, kMaxRemotePort);
        p.localNetwork = f.boolean(3, false);
        break;
    case 'D': {
        Destination d;
        d.id = f.str(1);
        if (d.id.empty()) break;
        d.name = f.str(2);
        d.serverUrl = f.str(3);
        d.canvas = f.integer(4, 0) & 1;
        d.bitrateKbps = f.integer(5, 6000, 500, 50000);
        d.streamHere = f.boolean(6, true);
        d.heightLimit = f.integer(7, 0, 0, 4320);
        d.channel = f.str(8);
        p.destinations.push_back(std::move(d));
        break;
    }
    case 'O':
        p.chatOnTopShown = f.boolean(1, false);
        p.chatOnTopX = f.integer(2, -1, -kMaxScreenCoordinate, kMaxScreenCoordinate);
        p.chatOnTopY = f.integer(3, -1, -kMaxScreenCoordinate, kMaxScreenCoordinate);
        p.chatOnTopWidth = f.integer(4, 360, 200, kMaxChatSide);
        p.chatOnTopHeight = f.integer(5, 480, 160, kMaxChatSide);
        break;
    case 'S': {
        Scene s;
        s.name = f.str(1);
        s.layoutPreset = f.integer(2, -1);
        p.scenes.push_back(std::move(s));
        current = &p.scenes.back().layers;
        break;
    }
    case 'Y': {
        SavedLayout y;
        y.name = f.str(1);
        p.savedLayouts.push_back(std::move(y));
        current = &p.savedLayouts.back().layers;
        break;
    }
    case 'L':
        if (current) current->push_back(readLayer(f, version1));
        break;
    default:
        break;
    }
}

// The number of L lines from `pos` up to the next S or Y line: the size of
// the layer list that has just begun, so that it is allocated once.
size_t layerLinesAhead(std::string_view text, size_t pos) {
    size_t count = 0;
    while (pos != std::string_view::npos && pos + 1 < text.size()) {
        const char tag = text[pos + 1];
        const bool oneChar = pos + 2 >= text.size() || text[pos + 2] == '\t' || text[pos + 2] == '\n';
        if (oneChar && (tag == 'S' || tag == 'Y')) break;
        if (oneChar && tag == 'L') ++count;
        pos = text.find('\n', pos + 1);
    }
    return count;
}

}  // namespace

std::string projectToText(const Project& p) {
    std::string out;
    size_t layerCount = 0;
    for (const Scene& s : p.scenes) layerCount += s.layers.size();
    for (const SavedLayout& y : p.savedLayouts) layerCount += y.layers.size();
    out.reserve(1024 + p.prompterText.size() + layerCount * 256);

    Writer w(out);
    out.append(kMagicV2);
    w.end();
    for (int c = 0; c < 2; ++c) {
        const CanvasSettings& cs = p.canvases[static_cast<size_t>(c)];
        w.tag('C');
        w.i(c);
        w.i(cs.width);
        w.i(cs.height);
        w.i(cs.fps);
        w.i(cs.bitrateKbps);
        w.end();
    }
    w.tag('R');
    w.b(p.recordHorizontal);
    w.b(p.recordVertical);
    w.i(p.splitMinutes);
    w.s(p.showName);
    w.s(p.fileNameTemplate);
    w.s(p.recordingFolder);
    w.s(p.backupFolder);
    w.b(p.safeMp4);
    w.i(p.encoderPreset);
    w.b(p.mkv);
    w.end();
    w.tag('P');
    w.s(p.prompterText);
    w.f(p.prompterSpeed);
    w.f(p.prompterTextSize);
    w.i(p.activeScene);
    w.i(p.transitionMs);
    w.b(p.recordWhenLive);
    w.b(p.darkMode);
    w.i(p.textSizePercent);
    w.s(p.themeName);
    w.end();
    w.tag('A');
    w.s(p.micDeviceId);
    w.b(p.voiceProcessing);
    w.b(p.desktopAudio);
    w.f(p.micGain);
    w.f(p.desktopGain);
    w.b(p.noiseGate);
    w.f(p.gateDb);
    w.i(p.micDelayMs);
    w.end();
    w.tag('V');
    w.b(p.virtualCamera);
    w.i(p.virtualCameraCanvas);
    w.end();
    w.tag('K');
    w.b(p.remoteControl);
    w.i(p.remotePort);
    w.b(p.localNetwork);
    w.end();
    for (const Destination& d : p.destinations) {
        w.tag('D');
        w.s(d.id);
        w.s(d.name);
        w.s(d.serverUrl);
        w.i(d.canvas);
        w.i(d.bitrateKbps);
        w.b(d.streamHere);
        w.i(d.heightLimit);
        w.s(d.channel);
        w.end();
    }
    w.tag('O');
    w.b(p.chatOnTopShown);
    w.i(p.chatOnTopX);
    w.i(p.chatOnTopY);
    w.i(p.chatOnTopWidth);
    w.i(p.chatOnTopHeight);
    w.end();
    for (const Scene& s : p.scenes) {
        w.tag('S');
        w.s(s.name);
        w.i(s.layoutPreset);
        w.end();
        for (const Layer& l : s.layers) writeLayer(w, l);
    }
    for (const SavedLayout& y : p.savedLayouts) {
        w.tag('Y');
        w.s(y.name);
        w.end();
        for (const Layer& l : y.layers) writeLayer(w, l);
    }
    return out;
}

bool projectFromText(std::string_view text, Project& project) {
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    // Only whole lines are ever written: a last line without its line feed was cut short (a
    // disk error, a copy stopped half-way), and what follows it is lost.
    if (text.empty() || text.back() != '\n') return false;
    size_t eol = text.find('\n');
    std::string_view magic = text.substr(0, eol);
    // An editor that turned every line end into CR LF turned the magic line's too; only then
    // is a carriage return before a line feed part of the line end rather than of the data.
    const bool crlf = magic.ends_with('\r');
    if (crlf) magic.remove_suffix(1);
    if (magic != kMagicV1 && magic != kMagicV2) return false;
    const bool version1 = magic == kMagicV1;

    Project working;
    std::vector<Layer>* current = nullptr;
    Fields fields;
    while (eol != std::string_view::npos && eol + 1 < text.size()) {
        const size_t start = eol + 1;
        eol = text.find('\n', start);
        std::string_view line = text.substr(start, eol == std::string_view::npos ? eol : eol - start);
        if (crlf && line.ends_with('\r')) line.remove_suffix(1);
        fields.split(line);
        std::vector<Layer>* const before = current;
        readRecord(fields, version1, working, current);
        if (current != before) current->reserve(layerLinesAhead(text, eol));
    }
    if (working.scenes.empty()) return false;
    if (working.activeScene < 0 || working.activeScene >= static_cast<int>(working.scenes.size()))
        working.activeScene = 0;
    project = std::move(working);
    return true;
}
