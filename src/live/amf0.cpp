#include "live/amf0.h"

#include <cstring>
#include <iterator>

namespace {

// Type markers, the first byte of every value.
constexpr uint8_t kMarkerNumber = 0x00;
constexpr uint8_t kMarkerBoolean = 0x01;
constexpr uint8_t kMarkerString = 0x02;
constexpr uint8_t kMarkerObject = 0x03;
constexpr uint8_t kMarkerNull = 0x05;
constexpr uint8_t kMarkerUndefined = 0x06;
constexpr uint8_t kMarkerEcmaArray = 0x08;
constexpr uint8_t kMarkerObjectEnd = 0x09;

// An object or ECMA array ends with an empty key and the object-end marker.
constexpr uint8_t kObjectEnd[3] = {0x00, 0x00, kMarkerObjectEnd};

}  // namespace

const AmfValue* AmfValue::property(const std::string& key) const {
    for (const AmfProperty& p : properties)
        if (p.key == key) return &p.value;
    return nullptr;
}

void amf0WriteU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void amf0WriteNumber(std::vector<uint8_t>& out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    out.push_back(kMarkerNumber);
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(bits >> shift));
}

static void writeShortText(std::vector<uint8_t>& out, const std::string& value) {
    const size_t n = value.size() < kAmf0MaxString ? value.size() : kAmf0MaxString;
    amf0WriteU16(out, static_cast<uint16_t>(n));
    out.insert(out.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
}

void amf0WriteString(std::vector<uint8_t>& out, const std::string& value) {
    out.push_back(kMarkerString);
    writeShortText(out, value);
}

void amf0WriteNull(std::vector<uint8_t>& out) { out.push_back(kMarkerNull); }
void amf0WriteObjectStart(std::vector<uint8_t>& out) { out.push_back(kMarkerObject); }

void amf0WriteEcmaArrayStart(std::vector<uint8_t>& out, uint32_t count) {
    out.push_back(kMarkerEcmaArray);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(count >> shift));
}

void amf0WriteKey(std::vector<uint8_t>& out, const std::string& name) { writeShortText(out, name); }

void amf0WriteObjectEnd(std::vector<uint8_t>& out) {
    out.insert(out.end(), std::begin(kObjectEnd), std::end(kObjectEnd));
}

namespace {

bool readU16(AmfReader& r, uint16_t& v) {
    if (r.remaining() < 2) return false;
    v = static_cast<uint16_t>(r.data[r.pos] << 8 | r.data[r.pos + 1]);
    r.pos += 2;
    return true;
}

bool readShortText(AmfReader& r, std::string& text) {
    uint16_t n;
    if (!readU16(r, n) || r.remaining() < n) return false;
    text.assign(reinterpret_cast<const char*>(r.data + r.pos), n);
    r.pos += n;
    return true;
}

}  // namespace

bool amf0ReadObjectProperties(AmfReader& r, AmfValue& out) {
    out.kind = AmfValue::Object;
    if (r.depth >= kAmf0MaxDepth) return false;
    ++r.depth;
    bool ok = false;
    while (r.remaining() >= sizeof kObjectEnd) {
        if (std::memcmp(r.data + r.pos, kObjectEnd, sizeof kObjectEnd) == 0) {
            r.pos += sizeof kObjectEnd;
            ok = true;
            break;
        }
        AmfProperty p;
        if (!readShortText(r, p.key) || !amf0ReadValue(r, p.value)) break;
        out.properties.push_back(std::move(p));
    }
    --r.depth;
    return ok;
}

bool amf0ReadValue(AmfReader& r, AmfValue& out) {
    if (r.remaining() < 1) return false;
    const uint8_t marker = r.data[r.pos++];
    out = AmfValue{};
    switch (marker) {
    case kMarkerNumber: {
        if (r.remaining() < 8) return false;
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | r.data[r.pos + i];
        r.pos += 8;
        out.kind = AmfValue::Number;
        std::memcpy(&out.number, &bits, sizeof bits);
        return true;
    }
    case kMarkerBoolean:
        if (r.remaining() < 1) return false;
        out.kind = AmfValue::Boolean;
        out.flag = r.data[r.pos++] != 0;
        return true;
    case kMarkerString:
        out.kind = AmfValue::String;
        return readShortText(r, out.text);
    case kMarkerObject:
        return amf0ReadObjectProperties(r, out);
    case kMarkerEcmaArray:
        if (r.remaining() < 4) return false;
        r.pos += 4;
        return amf0ReadObjectProperties(r, out);
    case kMarkerNull:
    case kMarkerUndefined:
        out.kind = AmfValue::Null;
        return true;
    default:
        return false;
    }
}

bool amf0DecodeAll(const uint8_t* data, size_t length, std::vector<AmfValue>& out) {
    AmfReader r{data, length, 0, 0};
    while (r.remaining() > 0) {
        AmfValue v;
        if (!amf0ReadValue(r, v)) return false;
        out.push_back(std::move(v));
    }
    return true;
}
