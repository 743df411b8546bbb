#include "monitors/linux/monitor_discovery.h"

#include <algorithm>
#include <set>

namespace kelvane::linux_ddc {
namespace {

constexpr const char* kMstAdapterName = "DPMST";

std::set<unsigned> busesNamedByConnectors(const std::vector<DrmConnector>& connectors) {
  std::set<unsigned> named;
  for (const DrmConnector& connector : connectors) {
    for (const unsigned bus : candidateBuses(connector)) {
      named.insert(bus);
    }
  }
  return named;
}

bool sameEdid(const std::optional<EdidBlock>& sysfs, const EdidBlock& read) {
  return sysfs && *sysfs == read;
}

// One place in the final order: a connector (with or without a bus yet).
struct Slot {
  const DrmConnector* connector;
  std::vector<unsigned> buses;
};

// A monitor through the connector's own link, rather than a matched adapter.
bool reachedThroughOwnBus(const Slot& slot) {
  return !candidateBuses(*slot.connector).empty();
}

}  // namespace

std::vector<DiscoveredMonitor> discoverMonitors(const std::vector<DrmConnector>& connectors,
                                                const std::vector<DisplayAdapter>& adapters,
                                                const EdidProbe& probe) {
  std::vector<Slot> slots;
  for (const DrmConnector& connector : connectors) {
    if (isInternalPanel(connector)) {
      continue;
    }
    std::vector<unsigned> buses = candidateBuses(connector);
    if (buses.empty()) {
      // Nothing in sysfs ties it to a bus: an unlinked adapter may match it.
      slots.push_back(Slot{&connector, {}});
      continue;
    }
    bool monitor = connector.status == "connected";
    if (!monitor && connector.status == "unknown") {
      const std::optional<EdidBlock> edid = probe(buses.front());
      monitor = edid && isValidEdid(*edid);
    }
    if (monitor) {
      slots.push_back(Slot{&connector, std::move(buses)});
    }
  }

  const std::set<unsigned> named = busesNamedByConnectors(connectors);
  std::vector<unsigned> unmatched;
  for (const DisplayAdapter& adapter : adapters) {
    if (named.count(adapter.bus) != 0) {
      continue;
    }
    const std::optional<EdidBlock> edid = probe(adapter.bus);
    const bool valid = edid && isValidEdid(*edid);
    if (!valid && adapter.name != kMstAdapterName) {
      continue;  // no display answers there: it must see nothing more
    }
    if (valid) {
      const auto same = [&](const DrmConnector& connector) {
        return sameEdid(connector.edid, *edid);
      };
      // A panel seen through another driver's adapter is still a panel.
      if (std::any_of(connectors.begin(), connectors.end(), [&](const DrmConnector& connector) {
            return isInternalPanel(connector) && same(connector);
          })) {
        continue;
      }
      // A display already reached through its connector's own bus: sending
      // it each command twice, on two buses, would break its pacing.
      if (std::any_of(slots.begin(), slots.end(), [&](const Slot& slot) {
            return reachedThroughOwnBus(slot) && same(*slot.connector);
          })) {
        continue;
      }
      const auto slot = std::find_if(slots.begin(), slots.end(), [&](const Slot& candidate) {
        return candidate.buses.empty() && same(*candidate.connector);
      });
      if (slot != slots.end()) {
        slot->buses.push_back(adapter.bus);
        continue;
      }
    }
    unmatched.push_back(adapter.bus);
  }

  std::vector<DiscoveredMonitor> monitors;
  for (Slot& slot : slots) {
    // A connector without a bus counts only when it says it has a display.
    if (!slot.buses.empty() || slot.connector->status == "connected") {
      monitors.push_back(DiscoveredMonitor{slot.connector->name, 0, std::move(slot.buses)});
    }
  }
  for (const unsigned bus : unmatched) {
    monitors.push_back(DiscoveredMonitor{"", bus, {bus}});
  }
  return monitors;
}

}  // namespace kelvane::linux_ddc
