#pragma once
// The Studio's handle on live chat and channel counts; stopped here.

#include <string>
#include <vector>

class LiveDataFeed {
public:
    LiveDataFeed() = default;
    ~LiveDataFeed() { stop(); }
    LiveDataFeed(const LiveDataFeed&) = delete;
    LiveDataFeed& operator=(const LiveDataFeed&) = delete;

    void stop() { channels.clear(); }

    std::vector<std::string> channels;
};
