#include "remote/studio_remote_test_support.h"

#include <cstdlib>
#include <filesystem>

#include "remote/os_random.h"

void useFreshProfile(const std::string& name) {
    const char* bin = std::getenv("QH_BINARY_DIR");
    const std::filesystem::path dir = std::filesystem::path(bin ? bin : ".") / "test-data" / "remote" / name;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir, ec);
#ifdef _WIN32
    _putenv_s("QUILLHAVEN_PROFILE", dir.string().c_str());
#else
    setenv("QUILLHAVEN_PROFILE", dir.string().c_str(), 1);
#endif
}

bool startRemoteStudio(Studio& studio) {
    Project& p = studio.project;
    p.scenes.clear();
    for (const char* name : {"Intro", "Main \"two\"", "Outro"}) {
        Scene scene;
        scene.name = name;
        scene.layoutPreset = -1;
        p.scenes.push_back(scene);
    }
    Layer shown, hidden, plain;
    shown.name = "Cam";
    shown.toggleKey = 3;
    hidden.name = "Logo";
    hidden.toggleKey = 3;
    hidden.visible = hidden.verticalVisible = false;
    plain.name = "Text";
    p.scenes[1].layers = {shown, hidden, plain};
    p.activeScene = 0;
    p.remoteControl = true;
    p.localNetwork = false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        p.remotePort = 20000 + int(osRandom32() % 30000);
        studio.handleRemoteMessages();
        if (studio.remote.isRunning() && studio.discovery.isRunning()) return true;
    }
    return false;
}
