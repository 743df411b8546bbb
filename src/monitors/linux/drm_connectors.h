// SPDX-License-Identifier: MIT
// What sysfs says about the DRM connectors: one entry per connector of every
// card, as plain data. Which of them are monitors is decided elsewhere
// (monitor_discovery.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "monitors/linux/edid.h"

namespace kelvane::linux_ddc {

// What the connector's status file says. The kernel caches it: "unknown"
// right after a mode-config reset or before anything probed the connector,
// and stale on some drivers.
enum class ConnectorStatus { kConnected, kDisconnected, kUnknown, kUnreadable };

struct DrmConnector {
  std::string name;  // "card0-HDMI-A-1"
  std::string card;  // "card0": the DRM device, and so the display controller
  std::string type;  // "HDMI-A"
  ConnectorStatus status = ConnectorStatus::kUnreadable;
  std::string statusText;  // the file's own words, for the trace and the diagnostics
  // The adapter the `ddc` link points to (HDMI, DVI, VGA; DP on some drivers).
  std::optional<unsigned> ddcLink;
  // i2c-N subdirectories: the adapters of the DP AUX channel.
  std::vector<unsigned> auxChannels;
  // i2c-N symbolic links: kernels before 6.7 add one beside `ddc`, to the
  // same adapter.
  std::vector<unsigned> busLinks;
  // The first block of the `edid` attribute, when it holds one.
  std::optional<EdidBlock> edid;
};

// Every connector under drmClassDirectory, in connectorNameLess order, so
// that the order is the same on every run. An unreadable directory yields none.
std::vector<DrmConnector> readDrmConnectors(const std::string& drmClassDirectory);

// Whether name is a DRM card's own ("card0"), as in the class directory
// and in a display controller's drm directory.
bool isDrmCardName(const std::string& name);

// "HDMI-A" for "card0-HDMI-A-1": the name without its card and its index.
std::string connectorType(const std::string& name);

// Built-in panels (eDP, LVDS, DSI) have no DDC/CI, and traffic at 0x37 on a
// panel's AUX channel has corrupted the picture on some laptops.
bool isInternalPanel(const DrmConnector& connector);

// The buses that may carry the connector's DDC/CI, the preferred first, each
// once: for DisplayPort the AUX channel, then the `ddc` adapter (a separate
// hardware bus on some drivers, dead on USB4 links); for the others the
// `ddc` adapter first.
std::vector<unsigned> candidateBuses(const DrmConnector& connector);

// Strict weak order of connector names by card number, then naturally
// (card2 before card10, DP-2 before DP-10).
bool connectorNameLess(const std::string& left, const std::string& right);

}  // namespace kelvane::linux_ddc
