// SPDX-License-Identifier: MIT
#include "monitors/linux/display_adapters.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

#include "monitors/linux/drm_connectors.h"
#include "monitors/linux/sysfs.h"

namespace kelvane::linux_ddc {
namespace {

// PCI base class 0x03: VGA, XGA, 3D and other display controllers.
bool isDisplayControllerClass(const std::string& text) {
  if (text.size() != 8 || text.compare(0, 4, "0x03") != 0) {
    return false;
  }
  return std::all_of(text.begin() + 4, text.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::optional<std::string> drmCardOf(const std::string& device) {
  std::vector<std::string> names = directoryEntries(device + "/drm");
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (isDrmCardName(name)) {
      return name;
    }
  }
  return std::nullopt;
}

// Walks up from the adapter towards the root of the device tree, to the
// display controller's DRM card.
std::optional<std::string> displayControllerCard(const std::string& adapterPath,
                                                 const std::string& devicesRoot) {
  std::string device = adapterPath;
  while (device.size() > devicesRoot.size() &&
         device.compare(0, devicesRoot.size(), devicesRoot) == 0) {
    device.erase(device.rfind('/'));
    if (isDisplayControllerClass(readAttribute(device + "/class").value_or(""))) {
      if (std::optional<std::string> card = drmCardOf(device)) {
        return card;
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::string adapterLabel(const DisplayAdapter& adapter) {
  return "adapter i2c-" + std::to_string(adapter.bus) + " \"" + adapter.name + "\"";
}

std::vector<DisplayAdapter> findDisplayAdapters(const std::string& sysfsRoot,
                                                std::vector<DisplayAdapter>* others) {
  const std::string devices = sysfsRoot + "/bus/i2c/devices";
  const auto devicesRoot = canonicalPath(sysfsRoot + "/devices");
  std::vector<DisplayAdapter> adapters;
  if (!devicesRoot) {
    return adapters;
  }
  for (const std::string& entry : directoryEntries(devices)) {
    const auto bus = parseI2cBusName(entry);  // clients are named N-00AA
    if (!bus) {
      continue;
    }
    const auto path = canonicalPath(childPath(devices, entry));
    if (!path) {
      continue;
    }
    DisplayAdapter adapter{*bus, readAttribute(*path + "/name").value_or(""), ""};
    if (std::optional<std::string> card = displayControllerCard(*path, *devicesRoot + "/")) {
      adapter.card = std::move(*card);
      adapters.push_back(std::move(adapter));
    } else if (others != nullptr) {
      others->push_back(std::move(adapter));
    }
  }
  const auto byBus = [](const DisplayAdapter& left, const DisplayAdapter& right) {
    return left.bus < right.bus;
  };
  std::sort(adapters.begin(), adapters.end(), byBus);
  if (others != nullptr) {
    std::sort(others->begin(), others->end(), byBus);
  }
  return adapters;
}

}  // namespace kelvane::linux_ddc
