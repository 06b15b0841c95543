#pragma once
// Files and folders for the studio's tests, under the build folder.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "util/text.h"

inline std::string pathSeparator() {
    const char* bin = std::getenv("QH_BINARY_DIR");
    return bin && std::string(bin).find('\\') != std::string::npos ? "\\" : "/";
}

inline std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(utf8ToWide(utf8));
}

// An empty folder <build>/test-data/studio/<name>/ (UTF-8, with a trailing separator).
inline std::string freshTestFolder(const std::string& name) {
    const char* bin = std::getenv("QH_BINARY_DIR");
    std::string sep = pathSeparator();
    std::string dir = std::string(bin ? bin : ".") + sep + "test-data" + sep + "studio" + sep + name;
    std::error_code ec;
    std::filesystem::remove_all(fsPath(dir), ec);
    std::filesystem::create_directories(fsPath(dir), ec);
    return dir + sep;
}

inline void setEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}
inline void unsetEnv(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(fsPath(path), std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void makeFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(fsPath(path), ec);
}
