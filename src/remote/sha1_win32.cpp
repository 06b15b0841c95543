#include "remote/sha1.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

bool ok(NTSTATUS status) { return status >= 0; }

}  // namespace

Sha1Digest sha1(const void* data, size_t length) {
    Sha1Digest digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!ok(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0))) return digest;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool good = ok(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    const auto* bytes = static_cast<const UCHAR*>(data);
    // BCryptHashData takes a ULONG length: feed very large inputs in pieces.
    while (good && length > 0) {
        const ULONG piece = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
        good = ok(BCryptHashData(hash, const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        length -= piece;
    }
    if (good) good = ok(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!good) digest.fill(0);
    return digest;
}
