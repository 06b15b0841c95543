#pragma once
// AMF0: appenders for the commands and metadata we send, and a decoder for
// the value types servers use in replies to a publisher.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AmfProperty;

struct AmfValue {
    enum Kind { Number = 0, Boolean = 1, String = 2, Object = 3, Null = 4 };
    int kind = Null;
    double number = 0.0;
    bool flag = false;
    std::string text;
    std::vector<AmfProperty> properties;

    // The value of the first property with exactly this key, or nullptr.
    const AmfValue* property(const std::string& key) const;
};

struct AmfProperty {
    std::string key;
    AmfValue value;
};

// Objects nested deeper than this are refused rather than followed, so a
// hostile reply cannot exhaust the stack.
constexpr int kAmf0MaxDepth = 64;
constexpr size_t kAmf0MaxString = 65535;

void amf0WriteNumber(std::vector<uint8_t>& out, double value);
// Strings longer than an AMF0 string can hold are cut at kAmf0MaxString;
// callers refuse such input before it gets here.
void amf0WriteString(std::vector<uint8_t>& out, const std::string& value);
void amf0WriteNull(std::vector<uint8_t>& out);
void amf0WriteObjectStart(std::vector<uint8_t>& out);
void amf0WriteEcmaArrayStart(std::vector<uint8_t>& out, uint32_t count);
void amf0WriteKey(std::vector<uint8_t>& out, const std::string& name);
void amf0WriteObjectEnd(std::vector<uint8_t>& out);
void amf0WriteU16(std::vector<uint8_t>& out, uint16_t value);

struct AmfReader {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    int depth = 0;
    size_t remaining() const { return size - pos; }
};

bool amf0ReadValue(AmfReader& reader, AmfValue& out);
bool amf0ReadObjectProperties(AmfReader& reader, AmfValue& out);
// Values read before a failure stay in out.
bool amf0DecodeAll(const uint8_t* data, size_t length, std::vector<AmfValue>& out);
