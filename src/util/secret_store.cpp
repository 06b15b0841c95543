#include "util/secret_store.h"

#include "util/text.h"

std::wstring secretTargetName(std::string_view key) { return L"Quillhaven/" + utf8ToWide(key); }
