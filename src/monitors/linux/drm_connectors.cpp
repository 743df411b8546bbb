#include "monitors/linux/drm_connectors.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <memory>

#include "monitors/linux/unique_fd.h"

namespace kelvane::linux_ddc {
namespace {

// Bus numbers are small; the bound keeps parsing free of overflow.
constexpr unsigned kMaxBusNumber = 1u << 20;

bool isDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Parses the digits of text from position, advancing it. Unset when there is
// no digit or the number is out of range.
std::optional<unsigned> parseNumber(const std::string& text, std::size_t& position) {
  if (position >= text.size() || !isDigit(text[position])) {
    return std::nullopt;
  }
  unsigned value = 0;
  for (; position < text.size() && isDigit(text[position]); ++position) {
    value = value * 10 + static_cast<unsigned>(text[position] - '0');
    if (value > kMaxBusNumber) {
      return std::nullopt;
    }
  }
  return value;
}

// A connector directory is named "card" + number + "-" + connector; the
// class directory also holds cards themselves (card0), render nodes and a
// version file, which are not connectors.
bool isConnectorName(const std::string& name) {
  if (name.compare(0, 4, "card") != 0) {
    return false;
  }
  std::size_t position = 4;
  return parseNumber(name, position) && position + 1 < name.size() && name[position] == '-';
}

// The run of digits at position, advancing past it, without leading zeros.
std::string digitRun(const std::string& text, std::size_t& position) {
  const std::size_t start = position;
  while (position < text.size() && isDigit(text[position])) {
    ++position;
  }
  const std::size_t significant = std::min(text.find_first_not_of('0', start), position);
  return text.substr(significant, position - significant);
}

}  // namespace

// Compares runs of digits by value and everything else byte by byte; the
// card number is the first run, so cards order by number before connectors.
bool connectorNameLess(const std::string& left, const std::string& right) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < left.size() && j < right.size()) {
    if (isDigit(left[i]) && isDigit(right[j])) {
      const std::string a = digitRun(left, i);
      const std::string b = digitRun(right, j);
      if (a != b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
      }
    } else if (left[i] != right[j]) {
      return static_cast<unsigned char>(left[i]) < static_cast<unsigned char>(right[j]);
    } else {
      ++i;
      ++j;
    }
  }
  if (i == left.size() && j == right.size()) {
    return left < right;  // equal but for leading zeros: any fixed order will do
  }
  return i == left.size();  // the name that ran out first begins the other
}

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

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
    names.emplace_back(entry->d_name);
  }
  return names;
}

// The first line of a small sysfs attribute, without its newline.
std::optional<std::string> readAttribute(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    return std::nullopt;
  }
  char buffer[64];
  const ssize_t got = read(fd.get(), buffer, sizeof buffer);
  if (got < 0) {
    return std::nullopt;
  }
  std::string text(buffer, static_cast<std::size_t>(got));
  return text.substr(0, text.find('\n'));
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

// The `ddc` link serves HDMI, DVI, VGA and some DP drivers; DP AUX channels
// appear instead as an i2c-N adapter directory inside the connector.
std::optional<unsigned> findDdcBus(const std::string& connectorPath) {
  if (const auto target = linkTargetName(connectorPath + "/ddc")) {
    return parseI2cBusName(*target);
  }
  std::optional<unsigned> lowest;
  for (const std::string& name : directoryEntries(connectorPath)) {
    const auto bus = parseI2cBusName(name);
    if (bus && (!lowest || *bus < *lowest)) {
      lowest = bus;
    }
  }
  return lowest;
}

}  // namespace

std::optional<unsigned> parseI2cBusName(const std::string& name) {
  if (name.compare(0, 4, "i2c-") != 0) {
    return std::nullopt;
  }
  // The device path is rebuilt from the number, so "i2c-03" must not pass
  // for i2c-3: only the exact name the kernel gives a bus is accepted.
  std::size_t position = 4;
  const auto bus = parseNumber(name, position);
  if (!bus || position != name.size() || (name[4] == '0' && name.size() > 5)) {
    return std::nullopt;
  }
  return bus;
}

std::vector<DrmConnector> findConnectedConnectors(const std::string& drmClassDirectory) {
  std::vector<DrmConnector> connectors;
  for (const std::string& name : directoryEntries(drmClassDirectory)) {
    if (!isConnectorName(name)) {
      continue;
    }
    std::string path = drmClassDirectory;
    path += '/';
    path += name;
    if (readAttribute(path + "/status") != "connected") {
      continue;
    }
    connectors.push_back(DrmConnector{name, findDdcBus(path)});
  }
  std::sort(connectors.begin(), connectors.end(),
            [](const DrmConnector& left, const DrmConnector& right) {
              return connectorNameLess(left.name, right.name);
            });
  return connectors;
}

}  // namespace kelvane::linux_ddc
