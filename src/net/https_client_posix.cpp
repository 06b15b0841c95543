// The native build has no TLS provider (see tls_stream_posix.cpp): every
// request fails the way an unreachable host does, with ENOSYS as its code.
#include "net/https_client.h"

#include <cerrno>

namespace {

class UnavailableHttpsClient final : public HttpsClient {
public:
    HttpsResponse send(const HttpsRequest&) override {
        HttpsResponse r;
        r.errorCode = ENOSYS;
        return r;
    }
};

}  // namespace

std::shared_ptr<HttpsClient> systemHttpsClient() {
    static const std::shared_ptr<HttpsClient> client = std::make_shared<UnavailableHttpsClient>();
    return client;
}
