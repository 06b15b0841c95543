#include <cstdlib>

#include "util/text.h"
#include "util_test_support.h"

void setEnvironment(const std::wstring& name, const std::wstring* value) {
  const std::string n = wideToUtf8(name);
  if (value) {
    setenv(n.c_str(), wideToUtf8(*value).c_str(), 1);
  } else {
    unsetenv(n.c_str());
  }
}
