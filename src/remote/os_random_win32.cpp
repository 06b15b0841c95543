#include "remote/os_random.h"

#include <windows.h>
#include <bcrypt.h>

#include <random>

uint32_t osRandom32() {
    uint32_t value = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
        return value;
    // The system generator does not fail in practice; the C runtime's source
    // (RtlGenRandom) is the fallback rather than a predictable value.
    std::random_device device;
    return static_cast<uint32_t>(device());
}
