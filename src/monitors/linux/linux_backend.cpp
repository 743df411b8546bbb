// SPDX-License-Identifier: MIT
#include "monitors/linux/linux_backend.h"

#include <cerrno>
#include <set>
#include <utility>

#include "monitors/linux/display_adapters.h"
#include "monitors/linux/failure_causes.h"
#include "monitors/linux/sysfs.h"

namespace kelvane::linux_ddc {
namespace {

using platform::FailureCause;

// What a connector looked like, for the line that says none was a monitor.
std::string seenConnectors(const std::vector<DrmConnector>& connectors) {
  std::string text;
  for (const DrmConnector& connector : connectors) {
    text += text.empty() ? "" : ", ";
    text += connector.name + " " +
            (isInternalPanel(connector) ? "built-in panel" : connector.statusText);
  }
  return text;
}

}  // namespace

std::string monitorName(const DiscoveredMonitor& monitor, unsigned bus) {
  return busUserName(monitor.connector, monitor.adapterName, bus);
}

std::string busUserName(const std::string& connector, const std::string& adapterName,
                        unsigned bus) {
  const std::string name = !connector.empty()    ? connector
                           : adapterName.empty() ? "adapter i2c-" + std::to_string(bus)
                                                 : "adapter \"" + adapterName + "\"";
  return name + " (" + i2cDevicePath(bus) + ")";
}

LinuxBackend::LinuxBackend(Timing& timing, std::string sysfsRoot, I2cDevices* devices)
    : timing_(&timing),
      sysfsRoot_(std::move(sysfsRoot)),
      systemDevices_(sysfsRoot_),
      devices_(devices != nullptr ? devices : &systemDevices_) {}

DisplayBus& LinuxBackend::bus(unsigned number) {
  return buses_.try_emplace(number, number, *devices_, *timing_, tracer_).first->second;
}

void LinuxBackend::leavePausesToAnotherProcess() {
  std::vector<OwedPause> pauses;
  std::vector<DisplayBus*> owing;
  for (auto& [number, displayBus] : buses_) {
    if (const std::optional<OwedPause> pause = displayBus.owedPause()) {
      pauses.push_back(*pause);
      owing.push_back(&displayBus);
    }
  }
  if (!pauses.empty() && keepPausesAfterExit(pauses)) {
    for (DisplayBus* displayBus : owing) {
      displayBus->handOver();
    }
  }
}

void LinuxBackend::setTraceSink(platform::TraceSink* sink) {
  if (sink == nullptr) {
    // The pause at the very end comes after the trace has gone: say it now.
    for (const auto& [number, displayBus] : buses_) {
      displayBus.traceRelease();
    }
  }
  tracer_.setSink(sink);
}

const std::vector<DiscoveredMonitor>& LinuxBackend::monitors() {
  if (!discovered_) {
    const EdidProbe probe = [this](unsigned number) -> std::optional<EdidBlock> {
      DisplayBus& probed = bus(number);
      const BusResult opened = probed.open();
      if (!opened.ok()) {
        probeOpenErrors_[number] = opened.error;
        return std::nullopt;
      }
      return probed.readEdid();
    };
    // Without a trace, the notes are not even written.
    DiscoveryNote note;
    if (tracer_.on()) {
      note = [this](const std::string& text) { tracer_.line(text); };
    }
    connectors_ = readDrmConnectors(sysfsRoot_ + "/class/drm");
    std::vector<DisplayAdapter> others;
    const std::vector<DisplayAdapter> adapters = findDisplayAdapters(sysfsRoot_, &others);
    if (tracer_.on()) {
      for (const DisplayAdapter& other : others) {
        tracer_.line(adapterLabel(other) + ": not a display controller's, never opened");
      }
    }
    discovered_ = discoverMonitors(connectors_, adapters, probe, note);
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

bool LinuxBackend::hasI2cDevices() const {
  return !directoryEntries(sysfsRoot_ + "/class/i2c-dev").empty();
}

bool LinuxBackend::fail(platform::Failure failure) {
  last_ = std::move(failure);
  return false;
}

platform::Failure LinuxBackend::whyNoMonitor() {
  const std::vector<DiscoveredMonitor>& all = monitors();
  if (!hasI2cDevices()) {
    return platform::Failure{FailureCause::kNoI2cDevices, "", "", 0, ""};
  }
  for (const auto& [number, error] : probeOpenErrors_) {
    if (error == EACCES || error == EPERM) {
      return failureOf(FailureCause::kAccessDenied, busUserName("", "", number), error);
    }
  }
  for (const DiscoveredMonitor& monitor : all) {
    if (monitor.buses.empty()) {
      return platform::Failure{FailureCause::kNoBusForMonitor, monitor.connector, "", 0, ""};
    }
  }
  return platform::Failure{FailureCause::kNoExternalMonitor, "", "", 0,
                           seenConnectors(connectors_)};
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
    return fail(failureOf(FailureCause::kTransferFailed, "", EBADF));
  }
  *count = discovered->buses.empty() ? 0 : 1;
  return true;
}

bool LinuxBackend::getPhysicalMonitors(platform::DisplayMonitorHandle monitor, std::uint32_t count,
                                       platform::PhysicalMonitorRecord* records) {
  const DiscoveredMonitor* discovered = monitorOf(monitor);
  if (discovered == nullptr || count != (discovered->buses.empty() ? 0u : 1u)) {
    return fail(failureOf(FailureCause::kTransferFailed, "", EINVAL));
  }
  if (count == 0) {
    return true;
  }
  // The first bus that opens; a failing open is not retried in this step.
  int firstError = 0;
  for (std::size_t i = 0; i < discovered->buses.size(); ++i) {
    const BusResult opened = bus(discovered->buses[i]).open();
    if (opened.ok()) {
      OpenMonitor opening{discovered, {{}, i}};
      for (const unsigned number : discovered->buses) {
        opening.buses.buses.push_back(&bus(number));
      }
      const std::uintptr_t handle = nextHandle_++;
      open_.emplace(handle, std::move(opening));
      records[0] = platform::PhysicalMonitorRecord{platform::PhysicalMonitorHandle{handle}, {}};
      return true;
    }
    firstError = firstError != 0 ? firstError : opened.error;
  }
  return fail(openFailure(monitorName(*discovered, discovered->buses.front()), firstError,
                          hasI2cDevices()));
}

bool LinuxBackend::failExchange(const OpenMonitor& monitor, const BusExchange& exchanged) {
  if (exchanged.result.ok()) {
    return true;
  }
  return fail(exchangeFailure(monitorName(*monitor.monitor, exchanged.bus->number()),
                              exchanged.result, hasI2cDevices()));
}

bool LinuxBackend::setVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                 std::uint32_t newValue) {
  OpenMonitor* open = find(monitor);
  if (open == nullptr) {
    return fail(failureOf(FailureCause::kTransferFailed, "", EBADF));
  }
  // A VCP value is 16 bits on the wire; a larger one cannot be sent intact.
  if (newValue > 0xFFFF) {
    return fail(failureOf(FailureCause::kTransferFailed,
                          monitorName(*open->monitor, open->monitor->buses[open->buses.active]),
                          EINVAL));
  }
  const BusExchange exchanged = exchangeOnAnyBus(open->buses, [&](DisplayBus& bus) {
    return linux_ddc::setVcpFeature(bus, vcpCode, static_cast<std::uint16_t>(newValue));
  });
  return failExchange(*open, exchanged);
}

bool LinuxBackend::getVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                 std::uint32_t* codeType, std::uint32_t* currentValue,
                                 std::uint32_t* maximumValue) {
  OpenMonitor* open = find(monitor);
  if (open == nullptr) {
    return fail(failureOf(FailureCause::kTransferFailed, "", EBADF));
  }
  const BusExchange exchanged = exchangeOnAnyBus(
      open->buses, [&](DisplayBus& bus) { return linux_ddc::getVcpFeature(bus, vcpCode); });
  const VcpResult& result = exchanged.result;
  if (!result.ok()) {
    return failExchange(*open, exchanged);
  }
  *codeType = result.reply.type;
  *currentValue = result.reply.present;
  *maximumValue = result.reply.maximum;
  return true;
}

bool LinuxBackend::destroyPhysicalMonitor(platform::PhysicalMonitorHandle monitor) {
  if (open_.erase(static_cast<std::uintptr_t>(monitor)) != 1) {
    return fail(failureOf(FailureCause::kTransferFailed, "", EBADF));
  }
  return true;
}

void LinuxBackend::sleepMilliseconds(std::uint32_t milliseconds) {
  const Clock::time_point until = timing_->now() + std::chrono::milliseconds(milliseconds);
  for (auto& [number, displayBus] : buses_) {
    displayBus.close();
  }
  timing_->restUntil(until);
}

}  // namespace kelvane::linux_ddc
