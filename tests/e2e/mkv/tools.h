// Running the outside checkers (ffmpeg, ffprobe, mkvinfo) from native tests.
#pragma once

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

struct Result {
    int status = -1;
    std::string output;  // stdout and stderr together
};

inline Result run(const std::string& command) {
    Result r;
    FILE* p = popen((command + " 2>&1 </dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    const int s = pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

inline std::string quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Kept apart from the unit tests' folders: ctest runs both programs at once.
inline std::filesystem::path dataDir(const std::string& name) {
    const char* b = std::getenv("QH_BINARY_DIR");
    auto dir = (b && *b ? std::filesystem::path(b) : std::filesystem::temp_directory_path()) / "test-data" / ("e2e-" + name);
    std::filesystem::create_directories(dir);
    return dir;
}

// "key=value" lines of `ffprobe -of default=noprint_wrappers=1`, one map per section in order.
inline std::vector<std::map<std::string, std::string>> probe(const std::filesystem::path& file,
                                                               const std::string& what) {
    const Result r = run("ffprobe -v error " + what + " -of default=noprint_wrappers=0 " + quote(file));
    std::vector<std::map<std::string, std::string>> out;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > 2 && line[0] == '[' && line[1] != '/') {
            out.emplace_back();
        } else if (!out.empty()) {
            const auto eq = line.find('=');
            if (eq != std::string::npos) out.back()[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return out;
}

// Decodes every stream; ffmpeg prints nothing at this level unless something is wrong.
inline std::string decodeErrors(const std::filesystem::path& file) {
    const Result r = run("ffmpeg -nostdin -v error -i " + quote(file) + " -f null -");
    return r.status == 0 ? r.output : "exit " + std::to_string(r.status) + ": " + r.output;
}

}  // namespace e2e
