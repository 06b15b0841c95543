#pragma once
// Self-update runtime. This build never checks for updates: start leaves it
// idle. The program-file helpers work on the running executable.

#include <string>

class Updater {
public:
    Updater() = default;
    ~Updater() { stop(); }
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    void start(const std::string& manifestUrl, const std::wstring& profileFolder);
    void stop() {}
    bool isStarted() const { return false; }
};

// Deletes the running program's path + ".old"; failures are ignored.
void removeOldExe();
// Starts the program file again; failures are ignored.
void relaunchSelf();
