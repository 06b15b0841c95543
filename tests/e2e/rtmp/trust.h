#pragma once
#include <string>

// Adds a DER certificate to the machine's trusted roots (the Wine prefix of
// the test run). Only the Windows build has such a store.
bool trustTestCertificate(const std::string& derPath, std::string& error);
