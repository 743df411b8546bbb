#include "monitors/linux/linux_backend.h"

#include <set>
#include <utility>

#include "monitors/linux/display_adapters.h"
#include "monitors/linux/drm_connectors.h"

namespace kelvane::linux_ddc {

LinuxBackend::LinuxBackend(Timing& timing, std::string sysfsRoot)
    : timing_(&timing), sysfsRoot_(std::move(sysfsRoot)) {}

DisplayBus& LinuxBackend::bus(unsigned number) {
  return buses_.try_emplace(number, number, *timing_).first->second;
}

const std::vector<DiscoveredMonitor>& LinuxBackend::monitors() {
  if (!discovered_) {
    const EdidProbe probe = [this](unsigned number) -> std::optional<EdidBlock> {
      DisplayBus& probed = bus(number);
      if (!probed.open().ok()) {
        return std::nullopt;
      }
      return probed.readEdid();
    };
    discovered_ = discoverMonitors(readDrmConnectors(sysfsRoot_ + "/class/drm"),
                                   findDisplayAdapters(sysfsRoot_), probe);
    // Buses probed without a display behind them are closed at once.
    std::set<unsigned> used;
    for (const DiscoveredMonitor& monitor : *discovered_) {
      used.insert(monitor.buses.begin(), monitor.buses.end());
    }
    for (auto entry = buses_.begin(); entry != buses_.end();) {
      entry = used.count(entry->first) != 0 ? std::next(entry) : buses_.erase(entry);
    }
  }
  return *discovered_;
}

const DiscoveredMonitor* LinuxBackend::monitorOf(platform::DisplayMonitorHandle monitor) {
  // A display-monitor handle is the monitor's place in the discovered list,
  // plus one; only enumDisplayMonitors makes them.
  const auto index = static_cast<std::uintptr_t>(monitor);
  const std::vector<DiscoveredMonitor>& all = monitors();
  if (index == 0 || index > all.size()) {
    return nullptr;
  }
  return &all[index - 1];
}

LinuxBackend::OpenMonitor* LinuxBackend::find(platform::PhysicalMonitorHandle monitor) {
  const auto found = open_.find(static_cast<std::uintptr_t>(monitor));
  return found == open_.end() ? nullptr : &found->second;
}

bool LinuxBackend::enumDisplayMonitors(platform::DisplayMonitorCallback callback, void* data) {
  const std::size_t count = monitors().size();
  for (std::size_t i = 0; i < count; ++i) {
    if (!callback(platform::DisplayMonitorHandle{i + 1}, data)) {
      break;
    }
  }
  return true;
}

bool LinuxBackend::getNumberOfPhysicalMonitors(platform::DisplayMonitorHandle monitor,
                                               std::uint32_t* count) {
  const DiscoveredMonitor* discovered = monitorOf(monitor);
  if (discovered == nullptr) {
    return false;
  }
  *count = discovered->buses.empty() ? 0 : 1;
  return true;
}

bool LinuxBackend::getPhysicalMonitors(platform::DisplayMonitorHandle monitor, std::uint32_t count,
                                       platform::PhysicalMonitorRecord* records) {
  const DiscoveredMonitor* discovered = monitorOf(monitor);
  if (discovered == nullptr || count != (discovered->buses.empty() ? 0u : 1u)) {
    return false;
  }
  if (count == 0) {
    return true;
  }
  // The first bus that opens; a failing open is not retried in this run.
  for (std::size_t i = 0; i < discovered->buses.size(); ++i) {
    if (bus(discovered->buses[i]).open().ok()) {
      const std::uintptr_t handle = nextHandle_++;
      open_.emplace(handle, OpenMonitor{discovered->buses, i});
      records[0] = platform::PhysicalMonitorRecord{platform::PhysicalMonitorHandle{handle}, {}};
      return true;
    }
  }
  return false;
}

VcpResult LinuxBackend::exchange(OpenMonitor& monitor,
                                 const std::function<VcpResult(DisplayBus&)>& operation) {
  // A bus where the first message failed may simply not carry DDC/CI (an
  // AMD hardware bus on a USB4 link): the connector's other bus may. Once
  // found so, it is passed over for the rest of the run. A bus held by
  // another program is not dead, only busy.
  const auto moveOn = [&](const DisplayBus& current) {
    if (monitor.active + 1 >= monitor.buses.size()) {
      return false;
    }
    ++monitor.active;
    bus(monitor.buses[monitor.active]).pacing().continueFrom(current.pacing());
    return true;
  };
  while (bus(monitor.buses[monitor.active]).seemsDead() &&
         moveOn(bus(monitor.buses[monitor.active]))) {
  }
  for (;;) {
    DisplayBus& current = bus(monitor.buses[monitor.active]);
    VcpResult result = operation(current);
    const bool dead = result.outcome == VcpResult::Outcome::kBusFailed &&
                      (result.bus.failure == BusResult::Failure::kOpen || current.seemsDead());
    if (!dead || !moveOn(current)) {
      return result;
    }
  }
}

bool LinuxBackend::setVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                 std::uint32_t newValue) {
  OpenMonitor* open = find(monitor);
  // A VCP value is 16 bits on the wire; a larger one cannot be sent intact.
  if (open == nullptr || newValue > 0xFFFF) {
    return false;
  }
  return exchange(*open,
                  [&](DisplayBus& bus) {
                    return linux_ddc::setVcpFeature(bus, vcpCode,
                                                    static_cast<std::uint16_t>(newValue));
                  })
      .ok();
}

bool LinuxBackend::getVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                 std::uint32_t* codeType, std::uint32_t* currentValue,
                                 std::uint32_t* maximumValue) {
  OpenMonitor* open = find(monitor);
  if (open == nullptr) {
    return false;
  }
  const VcpResult result =
      exchange(*open, [&](DisplayBus& bus) { return linux_ddc::getVcpFeature(bus, vcpCode); });
  if (!result.ok()) {
    return false;
  }
  *codeType = result.reply.type;
  *currentValue = result.reply.present;
  *maximumValue = result.reply.maximum;
  return true;
}

bool LinuxBackend::destroyPhysicalMonitor(platform::PhysicalMonitorHandle monitor) {
  return open_.erase(static_cast<std::uintptr_t>(monitor)) == 1;
}

void LinuxBackend::sleepMilliseconds(std::uint32_t milliseconds) {
  const Clock::time_point until = timing_->now() + std::chrono::milliseconds(milliseconds);
  for (auto& [number, displayBus] : buses_) {
    displayBus.release();
  }
  timing_->sleepUntil(until);
}

}  // namespace kelvane::linux_ddc
