#pragma once
// Secrets (stream keys, the remote-control token) kept outside the project
// file, per user and persistent, named by a short key such as "dest/<id>" or
// "control-token". On Windows they are generic credentials of the Credential
// Manager named "Quillhaven/" + key.

#include <string>
#include <string_view>

// The stored bytes, or "" when there is none or it cannot be read.
std::string loadSecret(std::string_view key);

// A non-empty value creates or replaces the secret and returns whether that
// worked. An empty value deletes it and returns true also when there was none.
bool storeSecret(std::string_view key, std::string_view value);

// The credential's target name for a key.
std::wstring secretTargetName(std::string_view key);
