// The native build runs no updates; these serve its tests with the same
// contracts as the Windows versions.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>

#include "update/updater.h"
#include "util/folders.h"

namespace {
// FIPS 180-4 SHA-256.
class Sha256Rounds {
public:
    void update(const unsigned char* p, std::size_t n) {
        while (n--) {
            block_[used_++] = *p++;
            bits_ += 8;
            if (used_ == 64) compress();
        }
    }
    void finish(unsigned char (&digest)[32]) {
        const uint64_t bits = bits_;
        unsigned char pad = 0x80;
        update(&pad, 1);
        pad = 0;
        while (used_ != 56) update(&pad, 1);
        for (int i = 7; i >= 0; --i) {
            unsigned char b = static_cast<unsigned char>(bits >> (i * 8));
            update(&b, 1);
        }
        for (int i = 0; i < 32; ++i) digest[i] = static_cast<unsigned char>(h_[i / 4] >> (24 - i % 4 * 8));
    }

private:
    static uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress() {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(block_[i * 4]) << 24 | uint32_t(block_[i * 4 + 1]) << 16 |
                   uint32_t(block_[i * 4 + 2]) << 8 | block_[i * 4 + 3];
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
        used_ = 0;
    }

    uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    unsigned char block_[64] = {};
    std::size_t used_ = 0;
    uint64_t bits_ = 0;
};
}  // namespace

const unsigned long kNotSameDevice = EXDEV;

struct Sha256::State : Sha256Rounds {};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
void Sha256::add(const unsigned char* data, std::size_t size) { state_->update(data, size); }
unsigned long Sha256::finish(unsigned char (&digest)[32]) {
    state_->finish(digest);
    return 0;
}

unsigned long HeldFile::open(const std::wstring& path, bool) {
    close();
    const int fd = ::open(toFsPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return unsigned(errno);
    handle_ = fd;
    return 0;
}

unsigned long HeldFile::read(unsigned char* data, std::size_t size, std::size_t& got) {
    ssize_t n;
    while ((n = ::read(int(handle_), data, size)) < 0)
        if (errno != EINTR) return unsigned(errno);
    got = std::size_t(n);
    return 0;
}

unsigned long HeldFile::rewind() { return lseek(int(handle_), 0, SEEK_SET) == 0 ? 0 : unsigned(errno); }

unsigned long HeldFile::renameTo(const std::wstring&) { return kNotSameDevice; }

void HeldFile::close() {
    if (handle_ != -1) ::close(int(handle_));
    handle_ = -1;
}

NewFile::~NewFile() {
    if (handle_ != -1) ::close(int(handle_));
}

unsigned long NewFile::create(const std::wstring& path) {
    const int fd = ::open(toFsPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0) return unsigned(errno);
    handle_ = fd;
    return 0;
}

unsigned long NewFile::write(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(int(handle_), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? unsigned(errno) : unsigned(EIO);
        data += n;
        size -= std::size_t(n);
    }
    return 0;
}

unsigned long NewFile::finish() {
    const int fd = int(std::exchange(handle_, -1));
    const unsigned long e = fsync(fd) == 0 ? 0 : unsigned(errno);
    return ::close(fd) == 0 || e ? e : unsigned(errno);
}

std::wstring programFilePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || std::size_t(n) >= sizeof buf) return {};
    return fromFsPath(std::filesystem::path(std::string(buf, std::size_t(n))));
}

unsigned long moveFileReplacing(const std::wstring& from, const std::wstring& to) {
    const std::filesystem::path src = toFsPath(from), dst = toFsPath(to);
    if (std::rename(src.c_str(), dst.c_str()) == 0) return 0;
    if (errno != EXDEV) return unsigned(errno);
    std::error_code ec;
    std::filesystem::copy_file(src, dst, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec || !std::filesystem::remove(src, ec)) return ec ? unsigned(ec.value()) : unsigned(EIO);
    return 0;
}

unsigned long deleteFileIfPresent(const std::wstring& path) {
    std::error_code ec;
    std::filesystem::remove(toFsPath(path), ec);
    return ec ? unsigned(ec.value()) : 0;
}

void removeOldExe() {}
void relaunchSelf() {}
