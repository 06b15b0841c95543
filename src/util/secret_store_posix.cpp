// The native build's secret store: one file per key in a "secrets" folder of
// the profile folder that only this user may enter. Values are written to a
// private temporary file and renamed into place, so a reader sees the old or
// the new value whole, never a mix.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "util/folders.h"
#include "util/secret_store.h"
#include "util/text.h"

namespace {

// File names never depend on what the key contains ("/", "..", nothing).
std::string fileNameFor(std::string_view key) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "k";
  for (unsigned char c : key) {
    name.push_back(kHex[c >> 4]);
    name.push_back(kHex[c & 15]);
  }
  return name;
}

// The folder, or "" when it cannot be made or is not safely this user's.
std::string secretFolder() {
  const std::string dir = wideToUtf8(joinPath(profileFolder(), L"secrets"));
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st = {};
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return {};
  if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) return {};
  return dir;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string loadSecret(std::string_view key) {
  const std::string dir = secretFolder();
  if (dir.empty()) return {};
  const std::string path = dir + "/" + fileNameFor(key);
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  std::string value;
  struct stat st = {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buf[4096];
    for (;;) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        value.clear();
        break;
      }
      if (n == 0) break;
      value.append(buf, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return value;
}

bool storeSecret(std::string_view key, std::string_view value) {
  const std::string dir = secretFolder();
  if (dir.empty()) return false;
  const std::string path = dir + "/" + fileNameFor(key);
  if (value.empty()) return unlink(path.c_str()) == 0 || errno == ENOENT;

  static std::atomic<unsigned> counter{0};
  const std::string temp =
      dir + "/.tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = writeAll(fd, value);
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}
