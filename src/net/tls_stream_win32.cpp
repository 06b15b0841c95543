// TLS over a TcpStream through the system's SChannel provider. Certificate
// checks are SChannel's own defaults with the server name as the target.
#include "net/tcp_stream.h"
#include "util/text.h"

#define SECURITY_WIN32
#include <windows.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr DWORD kCredFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kContextFlags = ISC_REQ_REPLAY_DETECT | ISC_REQ_SEQUENCE_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_USE_SUPPLIED_CREDS | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
constexpr size_t kReadPiece = 16384;
constexpr const char* kHandshakeUnfinished = "The server did not finish the secure handshake";

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

std::string statusText(const char* prefix, SECURITY_STATUS status, const char* suffix) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    return std::string(prefix) + code + suffix;
}

class TlsStream : public ByteStream {
public:
    explicit TlsStream(std::unique_ptr<TcpStream> inner) : inner_(std::move(inner)) {}
    ~TlsStream() override {
        if (haveContext_) ::DeleteSecurityContext(&context_);
        if (haveCredentials_) ::FreeCredentialsHandle(&credentials_);
    }

    bool handshake(const std::string& host, int timeoutMs, std::string& error) {
        SCHANNEL_CRED cred{};
        cred.dwVersion = SCHANNEL_CRED_VERSION;
        cred.grbitEnabledProtocols = 0;
        cred.dwFlags = kCredFlags;
        TimeStamp expiry;
        SECURITY_STATUS st = ::AcquireCredentialsHandleW(nullptr, const_cast<LPWSTR>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                                         nullptr, &cred, nullptr, nullptr, &credentials_, &expiry);
        if (st != SEC_E_OK) {
            error = error_ = "TLS is not available";
            return false;
        }
        haveCredentials_ = true;
        target_ = utf8ToWide(host);
        const int done = negotiate([this, timeoutMs] { return receiveMore(timeoutMs); }, /*fresh=*/true);
        if (done <= 0) {
            if (done == 0) error_ = kHandshakeUnfinished;
            error = lastError();
            return false;
        }
        error.clear();
        return true;
    }

    bool write(const uint8_t* data, size_t length) override {
        std::vector<uint8_t> record;
        while (length > 0) {
            const size_t piece = std::min<size_t>(length, sizes_.cbMaximumMessage);
            record.resize(sizes_.cbHeader + piece + sizes_.cbTrailer);
            std::memcpy(record.data() + sizes_.cbHeader, data, piece);
            SecBuffer buffers[4] = {
                {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + piece},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            if (::EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) {
                error_ = "Encryption failed";
                return false;
            }
            const size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
            if (!inner_->write(record.data(), total)) return false;
            data += piece;
            length -= piece;
        }
        return true;
    }

    // One deadline for the whole call: a server that trickles a record in, or
    // drags out a post-handshake exchange, would otherwise hold a bounded read
    // (and a stop that drains one) for as long as it likes. What arrived in the
    // meantime stays buffered for the next call.
    int read(uint8_t* buffer, size_t size, int timeoutMs) override {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        // Once the time is up the socket gets no further look, but a zero
        // time-out still gets its one.
        bool looked = false;
        const auto receive = [&] {
            const int left = msUntil(deadline);
            if (looked && left == 0) return 0;
            looked = true;
            return receiveMore(left);
        };
        while (plainPos_ >= plain_.size()) {
            plain_.clear();
            plainPos_ = 0;
            if (renegotiating_) {
                const int done = negotiate(receive, /*fresh=*/false);
                if (done < 0) {
                    error_ = "Secure connection failed";
                    return -1;
                }
                if (done == 0) return 0;  // carried on by the next read
                renegotiating_ = false;
            }
            if (!cipher_.empty()) {
                int r = decryptWaiting();
                if (r < 0) return -1;
                if (r > 0) continue;  // progress made; look again
            }
            int got = receive();
            if (got <= 0) return got;
        }
        const size_t n = std::min(size, plain_.size() - plainPos_);
        std::memcpy(buffer, plain_.data() + plainPos_, n);
        plainPos_ += n;
        return static_cast<int>(n);
    }

    void close() override { inner_->close(); }

    // The close notify goes out while the socket still sends: it tells the
    // server that the stream ended here rather than being cut off.
    bool shutdownSend() override {
        if (!sendCloseNotify()) return false;
        return inner_->shutdownSend();
    }

    std::string lastError() const override { return error_.empty() ? inner_->lastError() : error_; }

private:
    // One inner read appended to the ciphertext; the inner read's result.
    int receiveMore(int timeoutMs) {
        uint8_t piece[kReadPiece];
        int got = inner_->read(piece, sizeof piece, timeoutMs);
        if (got > 0) cipher_.insert(cipher_.end(), piece, piece + got);
        return got;
    }

    // False only when the alert could not be written; a provider that makes
    // no alert leaves the plain end of the TCP stream to speak for itself.
    bool sendCloseNotify() {
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
        if (::ApplyControlToken(&context_, &controlDesc) != SEC_E_OK) return true;
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        ULONG attributes = 0;
        const SECURITY_STATUS st = ::InitializeSecurityContextW(&credentials_, &context_, target_.data(), kContextFlags,
                                                                0, 0, nullptr, 0, nullptr, &outDesc, &attributes, nullptr);
        bool sent = true;
        if (out.pvBuffer) {
            if ((st == SEC_E_OK || st == SEC_I_CONTEXT_EXPIRED) && out.cbBuffer > 0)
                sent = inner_->write(static_cast<const uint8_t*>(out.pvBuffer), out.cbBuffer);
            ::FreeContextBuffer(out.pvBuffer);
        }
        return sent;
    }

    // Keeps only the trailing bytes that the provider did not consume.
    void keepExtra(const SecBuffer& second) {
        if (second.BufferType == SECBUFFER_EXTRA && second.cbBuffer > 0 && second.cbBuffer <= cipher_.size()) {
            std::memmove(cipher_.data(), cipher_.data() + (cipher_.size() - second.cbBuffer), second.cbBuffer);
            cipher_.resize(second.cbBuffer);
        } else {
            cipher_.clear();
        }
    }

    // The handshake loop; also resumes after a post-handshake message that
    // the server sends once data is flowing. receive() waits for more from
    // the server, with the inner read's result. 1 done, 0 receive() gave
    // nothing (a later call carries on where this one stopped), -1 failed
    // with the text set.
    int negotiate(const std::function<int()>& receive, bool fresh) {
        for (;;) {
            // Asked first, not after the handshake call, so that a call that
            // carries on never hands the provider an empty token.
            if (awaitingServer_) {
                const int got = receive();
                if (got < 0) error_ = kHandshakeUnfinished;
                if (got <= 0) return got;
                awaitingServer_ = false;
            }
            SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
            SecBuffer in[2] = {{static_cast<unsigned long>(cipher_.size()), SECBUFFER_TOKEN, cipher_.data()},
                               {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
            ULONG attributes = 0;
            SECURITY_STATUS st;
            const bool hadInput = !fresh;
            if (fresh) {
                st = ::InitializeSecurityContextW(&credentials_, nullptr, target_.data(), kContextFlags, 0, 0, nullptr,
                                                  0, &context_, &outDesc, &attributes, nullptr);
                if (st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED) haveContext_ = true;
                fresh = false;
            } else {
                st = ::InitializeSecurityContextW(&credentials_, &context_, target_.data(), kContextFlags, 0, 0,
                                                  &inDesc, 0, nullptr, &outDesc, &attributes, nullptr);
            }
            if (out.cbBuffer > 0 && out.pvBuffer) {
                bool sent = inner_->write(static_cast<const uint8_t*>(out.pvBuffer), out.cbBuffer);
                ::FreeContextBuffer(out.pvBuffer);
                if (!sent) {
                    error_ = "Connection lost during the secure handshake";
                    return -1;
                }
            } else if (out.pvBuffer) {
                ::FreeContextBuffer(out.pvBuffer);
            }
            if (st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED) {
                if (hadInput) keepExtra(in[1]);
                if (st == SEC_E_OK) {
                    if (::QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK ||
                        sizes_.cbMaximumMessage == 0) {
                        error_ = "Secure connection failed";
                        return -1;
                    }
                    return 1;
                }
                // Nothing buffered: wait for the server, as for a partial record.
                awaitingServer_ = cipher_.empty();
            } else if (st == SEC_E_INCOMPLETE_MESSAGE) {
                awaitingServer_ = true;
            } else {
                error_ = statusText("Secure connection refused (certificate or TLS error ", st, ")");
                return -1;
            }
        }
    }

    // Decrypts what is buffered: 1 progress (plaintext or a consumed record),
    // 0 a partial record needs more bytes, -1 failure with the text set.
    int decryptWaiting() {
        SecBuffer buffers[4] = {{static_cast<unsigned long>(cipher_.size()), SECBUFFER_DATA, cipher_.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS st = ::DecryptMessage(&context_, &desc, 0, nullptr);
        if (st == SEC_E_INCOMPLETE_MESSAGE) return 0;
        if (st == SEC_I_CONTEXT_EXPIRED) {
            error_ = "The server closed the connection";
            return -1;
        }
        if (st != SEC_E_OK && st != SEC_I_RENEGOTIATE) {
            error_ = "Secure connection failed";
            return -1;
        }
        std::vector<uint8_t> extra;
        for (const SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0)
                plain_.insert(plain_.end(), static_cast<uint8_t*>(b.pvBuffer),
                              static_cast<uint8_t*>(b.pvBuffer) + b.cbBuffer);
            else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0)
                extra.insert(extra.end(), static_cast<uint8_t*>(b.pvBuffer),
                             static_cast<uint8_t*>(b.pvBuffer) + b.cbBuffer);
        }
        cipher_ = std::move(extra);
        // A post-handshake message (a TLS 1.3 ticket or key update): the
        // provider wants it fed back through the handshake call, within the
        // time the read has left.
        if (st == SEC_I_RENEGOTIATE) renegotiating_ = true;
        return 1;
    }

    std::unique_ptr<TcpStream> inner_;
    CredHandle credentials_{};
    bool haveCredentials_ = false;
    CtxtHandle context_{};
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_{};
    std::vector<uint8_t> cipher_;
    // The handshake call stopped short of a message from the server.
    bool awaitingServer_ = false;
    // A post-handshake message is being answered; reads go on with it first.
    bool renegotiating_ = false;
    std::vector<uint8_t> plain_;
    size_t plainPos_ = 0;
    std::wstring target_;
    std::string error_;
};

}  // namespace

std::unique_ptr<ByteStream> wrapTls(std::unique_ptr<TcpStream> inner, const std::string& host, int timeoutMs,
                                    std::string& error) {
    auto tls = std::make_unique<TlsStream>(std::move(inner));
    if (!tls->handshake(host, timeoutMs, error)) return nullptr;
    return tls;
}
