// SPDX-License-Identifier: MIT
#include "monitors/linux/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "monitors/linux/unique_fd.h"

namespace kelvane::linux_ddc {
namespace {

// Bus numbers are small; the bound keeps parsing free of overflow.
constexpr unsigned kMaxBusNumber = 1u << 20;

// sysfs serves at most a page per attribute.
constexpr std::size_t kMaxAttributeSize = 4096;

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

}  // namespace

std::string childPath(const std::string& directory, const std::string& name) {
  std::string path = directory;
  path += '/';
  path += name;
  return path;
}

std::vector<std::string> directoryEntries(const std::string& path) {
  std::vector<std::string> names;
  const Directory directory(opendir(path.c_str()));
  if (!directory) {
    return names;
  }
  // readdir_r is deprecated: glibc's readdir is safe on a stream that no
  // other thread uses, as this one is.
  // cppcheck-suppress readdirCalled
  while (const dirent* entry = readdir(directory.get())) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.push_back(std::move(name));
    }
  }
  return names;
}

std::optional<std::string> readAttribute(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return std::nullopt;
  }
  char buffer[kMaxAttributeSize];
  ssize_t got = 0;
  do {
    got = read(fd.get(), buffer, sizeof buffer);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    return std::nullopt;
  }
  std::string text(buffer, static_cast<std::size_t>(got));
  while (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  return text;
}

// Reads until size bytes or the end; sysfs may hand a file over in pieces.
std::vector<std::uint8_t> readAttributeBytes(const std::string& path, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return bytes;
  }
  bytes.resize(size);
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t got = read(fd.get(), bytes.data() + filled, size - filled);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

std::optional<std::string> linkTargetName(const std::string& path) {
  char target[4096];
  const ssize_t size = readlink(path.c_str(), target, sizeof target);
  if (size <= 0 || static_cast<std::size_t>(size) >= sizeof target) {
    return std::nullopt;
  }
  const std::string text(target, static_cast<std::size_t>(size));
  return text.substr(text.rfind('/') + 1);  // npos + 1 wraps to 0: the whole text
}

bool isDirectory(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isSymbolicLink(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::optional<std::string> canonicalPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                             &std::free);
  if (!resolved) {
    return std::nullopt;
  }
  return std::string(resolved.get());
}

std::optional<unsigned> parseI2cBusName(const std::string& name) {
  if (name.compare(0, 4, "i2c-") != 0 || name.size() == 4) {
    return std::nullopt;
  }
  // The device path is rebuilt from the number, so "i2c-03" must not pass
  // for i2c-3: only the exact name the kernel gives a bus is accepted.
  if (name[4] == '0' && name.size() > 5) {
    return std::nullopt;
  }
  unsigned value = 0;
  for (std::size_t i = 4; i < name.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(name[i])) == 0) {
      return std::nullopt;
    }
    value = value * 10 + static_cast<unsigned>(name[i] - '0');
    if (value > kMaxBusNumber) {
      return std::nullopt;
    }
  }
  return value;
}

}  // namespace kelvane::linux_ddc
