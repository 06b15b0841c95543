#include "e2e/rtmp/trust.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

bool trustTestCertificate(const std::string& derPath, std::string& error) {
    std::ifstream f(derPath, std::ios::binary);
    std::vector<uint8_t> der((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        error = "cannot read " + derPath;
        return false;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        error = "cannot open the Root store";
        return false;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    if (!added) error = "cannot add the certificate";
    return added != FALSE;
}
