#pragma once
// An update manifest with the three members the updater reads.

#include <string>

inline std::string manifestText(const std::string& version, const std::string& url,
                                const std::string& sha) {
    return "{\"version\":\"" + version + "\",\"url\":\"" + url + "\",\"sha256\":\"" + sha + "\"}";
}
