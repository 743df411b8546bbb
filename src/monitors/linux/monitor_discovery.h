// SPDX-License-Identifier: MIT
// Which displays a run talks to, and in which order: the policy over what
// sysfs says (drm_connectors.h, display_adapters.h) and what the EDID
// EEPROMs of unlinked buses answer.
//
// - Built-in panels are never monitors, and their buses are never touched.
// - A connector that sysfs ties to a bus is a monitor when it reads
//   "connected", or "unknown" with a valid EDID on its bus (the kernel caches
//   the status, and reports "unknown" after a mode-config reset).
// - Adapters of display controllers that no connector names (the proprietary
//   NVIDIA driver links none; DisplayPort MST gives each monitor a "DPMST"
//   adapter) carry a monitor when named DPMST, or when a valid EDID answers
//   at 0x50. Their status is not trusted: it can be stale on such drivers.
// - Order: connectors in name order, each unlinked adapter at the place of
//   the connector whose sysfs EDID it matches, and the unmatched ones last,
//   by bus number.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitors/linux/display_adapters.h"
#include "monitors/linux/drm_connectors.h"
#include "monitors/linux/edid.h"

namespace kelvane::linux_ddc {

struct DiscoveredMonitor {
  std::string connector;    // empty for an adapter that no connector's EDID matched
  std::string adapterName;  // that adapter's name, when connector is empty
  // The buses that may carry its DDC/CI, preferred first. Empty for a
  // connected connector that no bus could be tied to.
  std::vector<unsigned> buses;
};

// Reads the EDID at 0x50 of a bus, and does nothing else to it: the only
// traffic allowed on a bus not yet known to carry a display. Unset when
// nothing answers. Called at most once per bus.
using EdidProbe = std::function<std::optional<EdidBlock>(unsigned bus)>;

// Hears why each connector and adapter was taken or left, for the trace.
using DiscoveryNote = std::function<void(const std::string& note)>;

std::vector<DiscoveredMonitor> discoverMonitors(const std::vector<DrmConnector>& connectors,
                                                const std::vector<DisplayAdapter>& adapters,
                                                const EdidProbe& probe,
                                                const DiscoveryNote& note = {});

}  // namespace kelvane::linux_ddc
