#include <windows.h>

#include "util_test_support.h"

void setEnvironment(const std::wstring& name, const std::wstring* value) {
  SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
}
