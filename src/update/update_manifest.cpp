#include "update/update_manifest.h"

#include <cctype>

#include "util/json.h"

namespace {
constexpr int kMaxVersionDigits = 6;
constexpr std::size_t kSha256HexLength = 64;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const std::string& stringMember(const JsonValue& object, std::string_view key) {
    static const std::string empty;
    const JsonValue& v = object.member(key);
    return v.kind == JsonValue::String ? v.text : empty;
}
}  // namespace

bool parseVersion(std::string_view text, int out[3]) {
    if (!text.empty() && (text[0] == 'v' || text[0] == 'V')) text.remove_prefix(1);
    out[0] = out[1] = out[2] = 0;
    std::size_t pos = 0;
    for (int part = 0; part < 3; ++part) {
        int digits = 0, value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (++digits > kMaxVersionDigits) return false;
            value = value * 10 + (text[pos] - '0');
            ++pos;
        }
        if (digits == 0) return false;
        out[part] = value;
        if (pos == text.size()) return true;
        if (text[pos] != '.') return false;
        ++pos;
    }
    return false;  // a fourth part, or a dot after the third
}

bool isNewerVersion(std::string_view a, std::string_view b) {
    int va[3], vb[3];
    if (!parseVersion(a, va) || !parseVersion(b, vb)) return false;
    for (int i = 0; i < 3; ++i)
        if (va[i] != vb[i]) return va[i] > vb[i];
    return false;
}

bool parseUpdateManifest(std::string_view text, UpdateManifest& out, std::string& error) {
    if (text.size() > kUpdateManifestMaxBytes) {
        error = "The update file is too large.";
        return false;
    }
    JsonValue root;
    std::size_t pos = 0;
    if (!parseJsonValue(text, pos, root) || root.members.empty()) {
        error = "The update file is not valid JSON.";
        return false;
    }
    UpdateManifest m;
    m.version = stringMember(root, "version");
    m.url = stringMember(root, "url");
    m.sha256 = stringMember(root, "sha256");
    int v[3];
    if (!parseVersion(m.version, v)) {
        error = "The update version is not x.y.z.";
        return false;
    }
    if (m.url.size() < 8 || m.url.compare(0, 8, "https://") != 0) {
        error = "The update address must start with https://";
        return false;
    }
    if (m.sha256.size() != kSha256HexLength) {
        error = "The update sha256 must be 64 hex characters.";
        return false;
    }
    for (char& c : m.sha256) {
        if (!isHexDigit(c)) {
            error = "The update sha256 must be 64 hex characters.";
            return false;
        }
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    out = std::move(m);
    return true;
}
