// SPDX-License-Identifier: MIT
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

std::string busList(const std::vector<unsigned>& buses) {
  std::string text;
  for (const unsigned bus : buses) {
    text += text.empty() ? "i2c-" : ", then i2c-";
    text += std::to_string(bus);
  }
  return text;
}

class Notes {
 public:
  explicit Notes(const DiscoveryNote& note) : note_(note) {}
  void connector(const DrmConnector& connector, const std::string& what) const {
    if (note_) {
      note_("connector " + connector.name + " (" + connector.statusText + "): " + what);
    }
  }
  void adapter(const DisplayAdapter& adapter, const std::string& what) const {
    if (note_) {
      note_(adapterLabel(adapter) + ": " + what);
    }
  }

 private:
  const DiscoveryNote& note_;
};

}  // namespace

std::vector<DiscoveredMonitor> discoverMonitors(const std::vector<DrmConnector>& connectors,
                                                const std::vector<DisplayAdapter>& adapters,
                                                const EdidProbe& probe, const DiscoveryNote& note) {
  const Notes notes(note);
  std::vector<Slot> slots;
  for (const DrmConnector& connector : connectors) {
    if (isInternalPanel(connector)) {
      notes.connector(connector, "built-in panel, never touched");
      continue;
    }
    std::vector<unsigned> buses = candidateBuses(connector);
    if (buses.empty()) {
      // Nothing in sysfs ties it to a bus: an unlinked adapter may match it.
      notes.connector(connector, "no bus of its own; an adapter may match its EDID");
      slots.push_back(Slot{&connector, {}});
      continue;
    }
    bool monitor = connector.status == ConnectorStatus::kConnected;
    if (connector.status == ConnectorStatus::kUnknown) {
      const std::optional<EdidBlock> edid = probe(buses.front());
      monitor = edid && isValidEdid(*edid);
      notes.connector(connector, monitor ? "a valid EDID answers on its bus"
                                         : "no valid EDID on its bus, skipped");
    }
    if (monitor) {
      notes.connector(connector, "a monitor on " + busList(buses));
      slots.push_back(Slot{&connector, std::move(buses)});
    } else if (connector.status != ConnectorStatus::kUnknown) {
      notes.connector(connector, "skipped");
    }
  }

  const std::set<unsigned> named = busesNamedByConnectors(connectors);
  std::vector<const DisplayAdapter*> unmatched;
  for (const DisplayAdapter& adapter : adapters) {
    if (named.count(adapter.bus) != 0) {
      notes.adapter(adapter, "a connector's own bus");
      continue;
    }
    const std::optional<EdidBlock> edid = probe(adapter.bus);
    const bool valid = edid && isValidEdid(*edid);
    if (!valid && adapter.name != kMstAdapterName) {
      notes.adapter(adapter, "no valid EDID, so no display: left alone");
      continue;  // no display answers there: it must see nothing more
    }
    if (valid) {
      const auto same = [&](const DrmConnector& connector) {
        return sameEdid(connector.edid, *edid);
      };
      // A panel seen through another driver's adapter is still a panel.
      const auto panel =
          std::find_if(connectors.begin(), connectors.end(), [&](const DrmConnector& connector) {
            return isInternalPanel(connector) && same(connector);
          });
      if (panel != connectors.end()) {
        notes.adapter(adapter, "the EDID of the built-in panel " + panel->name + ", never touched");
        continue;
      }
      // A display already reached through its connector's own bus on the
      // same display controller: sending it each command twice, on two
      // buses, would break its pacing. On another controller the same EDID
      // is a twin (the same model without a serial number, one per card on
      // a hybrid laptop): another monitor.
      const auto reached = std::find_if(slots.begin(), slots.end(), [&](const Slot& slot) {
        return reachedThroughOwnBus(slot) && slot.connector->card == adapter.card &&
               same(*slot.connector);
      });
      if (reached != slots.end()) {
        notes.adapter(adapter, "the EDID of " + reached->connector->name +
                                   ", already reached on its own bus: skipped");
        continue;
      }
      // Only a connector of the adapter's own card can be served by it.
      const auto slot = std::find_if(slots.begin(), slots.end(), [&](const Slot& candidate) {
        return candidate.buses.empty() && candidate.connector->card == adapter.card &&
               same(*candidate.connector);
      });
      if (slot != slots.end()) {
        notes.adapter(adapter, "the EDID of " + slot->connector->name + ": its monitor");
        slot->buses.push_back(adapter.bus);
        continue;
      }
    }
    notes.adapter(adapter, valid ? "a monitor whose EDID matches no connector: it comes last"
                                 : "an MST monitor without a valid EDID: it comes last");
    unmatched.push_back(&adapter);
  }

  std::vector<DiscoveredMonitor> monitors;
  for (Slot& slot : slots) {
    // A connector without a bus counts only when it says it has a display.
    if (!slot.buses.empty() || slot.connector->status == ConnectorStatus::kConnected) {
      monitors.push_back(DiscoveredMonitor{slot.connector->name, "", std::move(slot.buses)});
    }
  }
  for (const DisplayAdapter* adapter : unmatched) {
    monitors.push_back(DiscoveredMonitor{"", adapter->name, {adapter->bus}});
  }
  return monitors;
}

}  // namespace kelvane::linux_ddc
