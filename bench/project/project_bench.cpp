// Load and save times of a large project (10,000 layers). Target: each under
// 30 ms.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "project/project.h"
#include "project/project_text.h"

namespace {

Project bigProject(int layerCount) {
    Project p = makeDefaultProject();
    p.scenes.clear();
    const int perScene = 500;
    for (int i = 0; i < layerCount; ++i) {
        if (i % perScene == 0) p.scenes.push_back(Scene{"Scene " + std::to_string(i / perScene), {}, -1});
        Layer l = makeLayer(i % LayerKind::Count, "Layer " + std::to_string(i));
        l.x = static_cast<float>(i % 1700) + 0.25f;
        l.y = static_cast<float>(i % 900) * 1.125f;
        l.opacity = 0.5f + static_cast<float>(i % 50) / 100.0f;
        l.source = "C:\\Users\\someone\\Pictures\\image " + std::to_string(i) + ".png";
        if (l.kind == LayerKind::Text) l.text = "Line one\nline two\twith a tab";
        p.scenes.back().layers.push_back(std::move(l));
    }
    return p;
}

double medianMs(int runs, const std::function<void()>& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const int layers = 10000;
    const Project big = bigProject(layers);
    fs::path dir = fs::temp_directory_path() / "quillhaven-project-bench";
    if (const char* bin = std::getenv("QH_BINARY_DIR"); bin && *bin) dir = fs::path(bin) / "bench-data";
    fs::create_directories(dir);
    const std::u8string u8 = (dir / "project.txt").u8string();
    const std::string path(u8.begin(), u8.end());

    const int runs = 21;
    bool ok = true;
    const double saveMs = medianMs(runs, [&] { ok = big.save(path) && ok; });
    Project loaded;
    const double loadMs = medianMs(runs, [&] { ok = loaded.load(path) && ok; });
    std::string text;
    const double toTextMs = medianMs(runs, [&] { text = projectToText(big); });
    Project parsed;
    const double fromTextMs = medianMs(runs, [&] { ok = projectFromText(text, parsed) && ok; });
    ok = ok && projectToText(loaded) == text;

    std::printf("project of %d layers, %zu bytes, median of %d runs\n", layers, text.size(), runs);
    std::printf("save (file)      %8.2f ms\n", saveMs);
    std::printf("load (file)      %8.2f ms\n", loadMs);
    std::printf("write (memory)   %8.2f ms\n", toTextMs);
    std::printf("read (memory)    %8.2f ms\n", fromTextMs);
    std::printf("target: save and load each under 30 ms: %s\n",
                ok && saveMs < 30.0 && loadMs < 30.0 ? "met" : "NOT met");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}
