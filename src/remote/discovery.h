#pragma once
// The UDP discovery and phone-video service held by the Studio; idle here.

class Discovery {
public:
    Discovery() = default;
    ~Discovery() { stop(); }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    void stop() {}
};
