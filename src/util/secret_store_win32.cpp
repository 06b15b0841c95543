#include <windows.h>
#include <wincred.h>

#include "util/secret_store.h"

std::string loadSecret(std::string_view key) {
  const std::wstring target = secretTargetName(key);
  PCREDENTIALW cred = nullptr;
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &cred) || !cred) return {};
  std::string value;
  if (cred->CredentialBlob && cred->CredentialBlobSize > 0) {
    value.assign(reinterpret_cast<const char*>(cred->CredentialBlob), cred->CredentialBlobSize);
  }
  CredFree(cred);
  return value;
}

bool storeSecret(std::string_view key, std::string_view value) {
  std::wstring target = secretTargetName(key);
  if (value.empty()) {
    if (CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0)) return true;
    return GetLastError() == ERROR_NOT_FOUND;
  }
  if (value.size() > MAXDWORD) return false;
  std::wstring user = L"Quillhaven";
  std::string blob(value);
  CREDENTIALW cred = {};
  cred.Type = CRED_TYPE_GENERIC;
  cred.TargetName = target.data();
  cred.CredentialBlobSize = static_cast<DWORD>(blob.size());
  cred.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
  cred.Persist = CRED_PERSIST_LOCAL_MACHINE;
  cred.UserName = user.data();
  return CredWriteW(&cred, 0) != FALSE;
}
