// SPDX-License-Identifier: MIT
// The I2C adapters that belong to display controllers: the only buses that
// Kelvane may look at without a DRM connector pointing there. Other adapters
// (SMBus, sensors, memory SPD, USB bridges) are never opened: probing them
// has hung machines.
#pragma once

#include <string>
#include <vector>

namespace kelvane::linux_ddc {

inline constexpr const char* kSysfsRoot = "/sys";

struct DisplayAdapter {
  unsigned bus = 0;
  std::string name;  // "NVIDIA i2c adapter 1 at 1:00.0", "DPMST"
  // The DRM card of its display controller ("card1"); empty for the others.
  std::string card;
};

// How the trace names an adapter: adapter i2c-10 "DPMST".
std::string adapterLabel(const DisplayAdapter& adapter);

// The adapters under sysfsRoot/bus/i2c/devices whose device sits below a PCI
// display controller (class 0x03xxxx) that has a DRM card (a drm/cardN
// directory), in bus order; the other adapters go to others, when given.
std::vector<DisplayAdapter> findDisplayAdapters(const std::string& sysfsRoot,
                                                std::vector<DisplayAdapter>* others = nullptr);

}  // namespace kelvane::linux_ddc
