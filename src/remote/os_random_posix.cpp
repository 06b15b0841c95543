#include "remote/os_random.h"

#include <cerrno>
#include <sys/random.h>

#include <random>

uint32_t osRandom32() {
    uint32_t value = 0;
    for (;;) {
        const ssize_t got = ::getrandom(&value, sizeof value, 0);
        if (got == static_cast<ssize_t>(sizeof value)) return value;
        if (got < 0 && errno == EINTR) continue;
        break;
    }
    std::random_device device;
    return static_cast<uint32_t>(device());
}
