#pragma once
// Helpers shared by the util tests.

#include <cstddef>
#include <functional>
#include <string>

struct JsonValue;

// Sets (or with nullptr removes) a process environment variable in the form
// the code under test reads it.
void setEnvironment(const std::wstring& name, const std::wstring* value);

// Restores a variable's previous value when the test ends.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::wstring name, const std::wstring* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool hadOld_ = false;
};

// A fresh, empty folder for one test under the build folder.
std::wstring freshTestFolder(const std::wstring& name);

// Runs `fn` on a thread with a stack of `stackBytes` and waits for it.
void runWithStack(std::size_t stackBytes, const std::function<void()>& fn);

// A canonical writing of a tree (compact, numbers with 17 significant
// digits) for comparing trees and for reading them back.
std::string writeJson(const JsonValue& v);

// One line per node in document order: N, T, F, D<hex of the double's bits>,
// S<hex of the UTF-8 bytes>, A<count>, O<count> followed by K<hex> per key.
std::string treeTokens(const JsonValue& v);

std::string toHex(const std::string& bytes);
