// Which monitors exist: the DRM connectors that sysfs reports as connected,
// and the I2C bus each one carries its DDC channel on.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvane::linux_ddc {

// The kernel's view of the connectors: one entry per connector, named
// cardN-CONNECTOR (card0-DP-1, card1-HDMI-A-2...).
inline constexpr const char* kDrmClassDirectory = "/sys/class/drm";

struct DrmConnector {
  std::string name;
  // N of the connector's /dev/i2c-N; unset when sysfs ties no bus to it
  // (a laptop panel without DDC, or a driver that does not expose one).
  std::optional<unsigned> ddcBus;
};

// The connectors under drmClassDirectory whose status is "connected", ordered
// by card number, then by connector name with numbers compared as numbers
// (card2 before card10, DP-2 before DP-10), so that the order is the same on
// every run. An unreadable directory yields no connector.
std::vector<DrmConnector> findConnectedConnectors(const std::string& drmClassDirectory);

// N when name is exactly "i2c-N", N a decimal bus number.
std::optional<unsigned> parseI2cBusName(const std::string& name);

// Strict weak order of connector names by card number, then natural order.
bool connectorNameLess(const std::string& left, const std::string& right);

}  // namespace kelvane::linux_ddc
