// SPDX-License-Identifier: MIT
#include "monitors/linux/drm_connectors.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

#include "monitors/linux/sysfs.h"

namespace kelvane::linux_ddc {
namespace {

bool isDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Where "card" + number ends in name; 0 when name does not start so.
std::size_t cardNameEnd(const std::string& name) {
  if (name.compare(0, 4, "card") != 0) {
    return 0;
  }
  std::size_t position = 4;
  while (position < name.size() && isDigit(name[position])) {
    ++position;
  }
  return position > 4 ? position : 0;
}

// A connector directory is named "card" + number + "-" + connector; the
// class directory also holds cards themselves (card0), render nodes and a
// version file, which are not connectors.
bool isConnectorName(const std::string& name) {
  const std::size_t end = cardNameEnd(name);
  return end != 0 && end + 1 < name.size() && name[end] == '-';
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

void addOnce(std::vector<unsigned>& buses, unsigned bus) {
  if (std::find(buses.begin(), buses.end(), bus) == buses.end()) {
    buses.push_back(bus);
  }
}

DrmConnector readConnector(const std::string& directory, const std::string& name) {
  const std::string path = childPath(directory, name);
  DrmConnector connector;
  connector.name = name;
  connector.card = name.substr(0, cardNameEnd(name));
  connector.type = connectorType(name);
  connector.statusText = readAttribute(path + "/status").value_or("");
  connector.status = connector.statusText == "connected"      ? ConnectorStatus::kConnected
                     : connector.statusText == "disconnected" ? ConnectorStatus::kDisconnected
                     : connector.statusText == "unknown"      ? ConnectorStatus::kUnknown
                                                              : ConnectorStatus::kUnreadable;
  if (const auto target = linkTargetName(path + "/ddc")) {
    connector.ddcLink = parseI2cBusName(*target);
  }
  std::vector<std::string> entries = directoryEntries(path);
  std::sort(entries.begin(), entries.end(), connectorNameLess);
  for (const std::string& entry : entries) {
    const auto bus = parseI2cBusName(entry);
    if (!bus) {
      continue;
    }
    const std::string entryPath = childPath(path, entry);
    if (isSymbolicLink(entryPath)) {
      connector.busLinks.push_back(*bus);
    } else if (isDirectory(entryPath)) {
      connector.auxChannels.push_back(*bus);
    }
  }
  const std::vector<std::uint8_t> edid = readAttributeBytes(path + "/edid", kEdidBlockSize);
  if (edid.size() == kEdidBlockSize) {
    connector.edid.emplace();
    std::copy(edid.begin(), edid.end(), connector.edid->begin());
  }
  return connector;
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

bool isDrmCardName(const std::string& name) {
  const std::size_t end = cardNameEnd(name);
  return end != 0 && end == name.size();
}

std::string connectorType(const std::string& name) {
  const std::size_t start = name.find('-');
  const std::size_t end = name.rfind('-');
  if (start == std::string::npos || end <= start) {
    return "";
  }
  return name.substr(start + 1, end - start - 1);
}

bool isInternalPanel(const DrmConnector& connector) {
  return connector.type == "eDP" || connector.type == "LVDS" || connector.type == "DSI";
}

std::vector<unsigned> candidateBuses(const DrmConnector& connector) {
  std::vector<unsigned> ddc;
  if (connector.ddcLink) {
    ddc.push_back(*connector.ddcLink);
  }
  for (const unsigned bus : connector.busLinks) {
    addOnce(ddc, bus);
  }
  std::vector<unsigned> buses;
  const bool auxFirst = connector.type == "DP";
  for (const unsigned bus : auxFirst ? connector.auxChannels : ddc) {
    addOnce(buses, bus);
  }
  for (const unsigned bus : auxFirst ? ddc : connector.auxChannels) {
    addOnce(buses, bus);
  }
  return buses;
}

std::vector<DrmConnector> readDrmConnectors(const std::string& drmClassDirectory) {
  std::vector<std::string> names = directoryEntries(drmClassDirectory);
  std::sort(names.begin(), names.end(), connectorNameLess);
  std::vector<DrmConnector> connectors;
  for (const std::string& name : names) {
    if (isConnectorName(name)) {
      connectors.push_back(readConnector(drmClassDirectory, name));
    }
  }
  return connectors;
}

}  // namespace kelvane::linux_ddc
