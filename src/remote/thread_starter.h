#pragma once
// How the remote services start their threads. Starting one throws
// std::system_error when the system has no thread to give; tests hand in a
// starter that fails on purpose to see each service survive it.

#include <functional>
#include <thread>

using ThreadStarter = std::function<std::thread(std::function<void()>)>;

inline std::thread startThread(std::function<void()> body) { return std::thread(std::move(body)); }
