#pragma once
// The update manifest: what the update endpoint says the newest program is,
// and how version texts are read and compared.

#include <string>
#include <string_view>

struct UpdateManifest {
    std::string version;
    std::string url;
    std::string sha256;  // 64 lower-case hexadecimal digits once accepted
};

// A manifest larger than this is refused unread.
inline constexpr std::size_t kUpdateManifestMaxBytes = 65536;

// False with a plain-English `error` when the text is not an acceptable manifest.
bool parseUpdateManifest(std::string_view text, UpdateManifest& out, std::string& error);

// "x.y.z" with an optional leading v; missing parts read as 0 ("2" is 2.0.0).
bool parseVersion(std::string_view text, int out[3]);

// True only when both texts parse and `a` is strictly newer than `b`.
bool isNewerVersion(std::string_view a, std::string_view b);
