#include "util_test_support.h"

#include <pthread.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "util/folders.h"
#include "util/json.h"

ScopedEnvironment::ScopedEnvironment(std::wstring name, const std::wstring* value) : name_(std::move(name)) {
  old_ = environmentVariable(name_);
  hadOld_ = !old_.empty();
  setEnvironment(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { setEnvironment(name_, hadOld_ ? &old_ : nullptr); }

std::wstring freshTestFolder(const std::wstring& name) {
  std::wstring base = environmentVariable(L"QH_BINARY_DIR");
  if (base.empty()) base = fromFsPath(std::filesystem::temp_directory_path());
  const std::wstring folder = joinPath(joinPath(base, L"util-test-data"), name);
  std::error_code ec;
  std::filesystem::remove_all(toFsPath(folder), ec);
  std::filesystem::create_directories(toFsPath(folder), ec);
  return folder;
}

namespace {
void* runFunction(void* arg) {
  (*static_cast<const std::function<void()>*>(arg))();
  return nullptr;
}
}  // namespace

void runWithStack(std::size_t stackBytes, const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackBytes);
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, runFunction, const_cast<std::function<void()>*>(&fn));
  pthread_attr_destroy(&attr);
  if (rc != 0) throw std::runtime_error("pthread_create failed");
  pthread_join(thread, nullptr);
}

std::string toHex(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out;
}

namespace {

void writeJsonTo(const JsonValue& v, std::string& out) {
  switch (v.kind) {
    case JsonValue::Bool:
      out += v.boolean ? "true" : "false";
      break;
    case JsonValue::Number: {
      if (std::isinf(v.number)) {
        out += v.number > 0 ? "1e999" : "-1e999";
        break;
      }
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", v.number);
      out += buf;
      break;
    }
    case JsonValue::String:
      out += jsonQuote(v.text);
      break;
    case JsonValue::Array:
      out += '[';
      for (std::size_t i = 0; i < v.items.size(); ++i) {
        if (i) out += ',';
        writeJsonTo(v.items[i], out);
      }
      out += ']';
      break;
    case JsonValue::Object:
      out += '{';
      for (std::size_t i = 0; i < v.members.size(); ++i) {
        if (i) out += ',';
        out += jsonQuote(v.members[i].key);
        out += ':';
        writeJsonTo(v.members[i].value, out);
      }
      out += '}';
      break;
    default:
      out += "null";
      break;
  }
}

void treeTokensTo(const JsonValue& v, std::string& out) {
  switch (v.kind) {
    case JsonValue::Bool:
      out += v.boolean ? "T\n" : "F\n";
      break;
    case JsonValue::Number: {
      std::uint64_t bits = 0;
      std::memcpy(&bits, &v.number, sizeof bits);
      char buf[24];
      std::snprintf(buf, sizeof buf, "D%016llx\n", static_cast<unsigned long long>(bits));
      out += buf;
      break;
    }
    case JsonValue::String:
      out += 'S';
      out += toHex(v.text);
      out += '\n';
      break;
    case JsonValue::Array:
      out += 'A';
      out += std::to_string(v.items.size());
      out += '\n';
      for (const JsonValue& item : v.items) treeTokensTo(item, out);
      break;
    case JsonValue::Object:
      out += 'O';
      out += std::to_string(v.members.size());
      out += '\n';
      for (const JsonMember& m : v.members) {
        out += 'K';
        out += toHex(m.key);
        out += '\n';
        treeTokensTo(m.value, out);
      }
      break;
    default:
      out += "N\n";
      break;
  }
}

}  // namespace

std::string writeJson(const JsonValue& v) {
  std::string out;
  writeJsonTo(v, out);
  return out;
}

std::string treeTokens(const JsonValue& v) {
  std::string out;
  treeTokensTo(v, out);
  return out;
}
