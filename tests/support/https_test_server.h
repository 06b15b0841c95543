#pragma once
// The local HTTPS server (https_server.py), started on first use by the peer
// supervisor around the tests that require the "e2e_peers" fixture. Its certificate is signed by a test CA
// that open() adds to the machine's trusted roots (the Wine prefix's), so that
// the system's HTTPS client accepts it like any public site.

#include <string>

struct HttpsTestServer {
    // False, with the reason, when the server is not running or its CA cannot be trusted.
    bool open(std::string& error);

    std::string host = "localhost";
    int port = 0;
    // Files put here are served at "/files/NAME".
    std::string filesFolder;
};
