#include "support/https_test_server.h"

#include "e2e/rtmp/peer_control.h"
#include "e2e/rtmp/trust.h"

bool HttpsTestServer::open(std::string& error) {
    PeerControl peers("e2e-peers");
    const std::vector<std::string> fields = peers.call("https");
    if (fields.size() != 3) {
        error = "the HTTPS test server did not start: " + peers.error();
        return false;
    }
    port = std::stoi(fields[0]);
    filesFolder = PeerControl::localPath(fields[2]) + "\\";
    return trustTestCertificate(PeerControl::localPath(fields[1]), error);
}
