#include "support/https_test_server.h"

#include <cstdlib>
#include <fstream>

#include "e2e/rtmp/trust.h"

bool HttpsTestServer::open(std::string& error) {
    const char* bin = std::getenv("QH_BINARY_DIR");
    const std::string state = std::string(bin ? bin : ".") + "\\https-server\\";
    std::ifstream portFile(state + "port");
    if (!(portFile >> port) || port <= 0) {
        error = "the HTTPS test server is not running (no " + state + "port)";
        return false;
    }
    filesFolder = state + "files\\";
    return trustTestCertificate(state + "ca.der", error);
}
