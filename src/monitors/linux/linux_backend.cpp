#include "monitors/linux/linux_backend.h"

#include <cerrno>
#include <set>
#include <utility>

#include "monitors/linux/display_adapters.h"
#include "monitors/linux/sysfs.h"

namespace kelvane::linux_ddc {
namespace {

using platform::FailureCause;

// What a connector looked like, for the line that says none was a monitor.
std::string seenConnectors(const std::vector<DrmConnector>& connectors) {
  std::string text;
  for (const DrmConnector& connector : connectors) {
    text += text.empty() ? "" : ", ";
    text +=
        connector.name + " " + (isInternalPanel(connector) ? "built-in panel" : connector.status);
  }
  return text;
}

}  // namespace

std::string monitorName(const DiscoveredMonitor& monitor, unsigned bus) {
  const std::string name =
      monitor.connector.empty() ? "adapter \"" + monitor.adapterName + "\"" : monitor.connector;
  return name + " (" + i2cDevicePath(bus) + ")";
}

LinuxBackend::LinuxBackend(Timing& timing, std::string sysfsRoot)
    : timing_(&timing), sysfsRoot_(std::move(sysfsRoot)) {}

DisplayBus& LinuxBackend::bus(unsigned number) {
  return buses_.try_emplace(number, number, *timing_, tracer_, sysfsRoot_).first->second;
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
        tracer_.line("adapter i2c-" + std::to_string(other.bus) + " \"" + other.name +
                     "\": not a display controller's, never opened");
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

bool LinuxBackend::fail(FailureCause cause, std::string monitor, int error) {
  last_ = platform::Failure{cause, std::move(monitor), "", static_cast<std::uint32_t>(error),
                            error != 0 ? errorText(error) : ""};
  return false;
}

bool LinuxBackend::failOpen(std::string monitor, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return fail(FailureCause::kAccessDenied, std::move(monitor), error);
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return fail(hasI2cDevices() ? FailureCause::kDeviceMissing : FailureCause::kNoI2cDevices,
                  std::move(monitor), error);
    default:
      return fail(FailureCause::kOpenFailed, std::move(monitor), error);
  }
}

bool LinuxBackend::failExchange(const OpenMonitor& monitor, const Exchanged& exchanged) {
  const VcpResult& result = exchanged.result;
  std::string name = monitorName(*monitor.monitor, exchanged.bus);
  switch (result.outcome) {
    case VcpResult::Outcome::kDone:
      return true;
    case VcpResult::Outcome::kUnsupported:
      return fail(FailureCause::kUnsupported, std::move(name), 0);
    case VcpResult::Outcome::kNoValidReply:
      fail(FailureCause::kNoValidReply, std::move(name), result.lastReadError);
      if (result.lastReadError == 0) {
        last_.detail = std::string("the last reply: ") + ddcci::describe(result.lastReply);
      }
      return false;
    case VcpResult::Outcome::kBusFailed:
      break;
  }
  const int error = result.bus.error;
  switch (result.bus.failure) {
    case BusResult::Failure::kOpen:
      return failOpen(std::move(name), error);
    case BusResult::Failure::kLock:
      return fail(FailureCause::kBusBusy, std::move(name), error);
    case BusResult::Failure::kNone:
    case BusResult::Failure::kTransfer:
      break;
  }
  // Some adapters report a NAK as a plain EIO.
  if (isAddressNak(error) || error == EIO) {
    return fail(FailureCause::kNoAnswer, std::move(name), error);
  }
  switch (error) {
    case ENODEV:
      return fail(FailureCause::kDeviceMissing, std::move(name), error);
    default:
      return fail(FailureCause::kTransferFailed, std::move(name), error);
  }
}

platform::Failure LinuxBackend::whyNoMonitor() {
  const std::vector<DiscoveredMonitor>& all = monitors();
  if (!hasI2cDevices()) {
    return platform::Failure{FailureCause::kNoI2cDevices, "", "", 0, ""};
  }
  for (const auto& [number, error] : probeOpenErrors_) {
    if (error == EACCES || error == EPERM) {
      return platform::Failure{
          FailureCause::kAccessDenied,
          "adapter i2c-" + std::to_string(number) + " (" + i2cDevicePath(number) + ")", "",
          static_cast<std::uint32_t>(error), errorText(error)};
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
    return fail(FailureCause::kTransferFailed, "", EBADF);
  }
  *count = discovered->buses.empty() ? 0 : 1;
  return true;
}

bool LinuxBackend::getPhysicalMonitors(platform::DisplayMonitorHandle monitor, std::uint32_t count,
                                       platform::PhysicalMonitorRecord* records) {
  const DiscoveredMonitor* discovered = monitorOf(monitor);
  if (discovered == nullptr || count != (discovered->buses.empty() ? 0u : 1u)) {
    return fail(FailureCause::kTransferFailed, "", EINVAL);
  }
  if (count == 0) {
    return true;
  }
  // The first bus that opens; a failing open is not retried in this run.
  int firstError = 0;
  for (std::size_t i = 0; i < discovered->buses.size(); ++i) {
    const BusResult opened = bus(discovered->buses[i]).open();
    if (opened.ok()) {
      const std::uintptr_t handle = nextHandle_++;
      open_.emplace(handle, OpenMonitor{discovered, i});
      records[0] = platform::PhysicalMonitorRecord{platform::PhysicalMonitorHandle{handle}, {}};
      return true;
    }
    firstError = firstError != 0 ? firstError : opened.error;
  }
  return failOpen(monitorName(*discovered, discovered->buses.front()), firstError);
}

LinuxBackend::Exchanged LinuxBackend::exchange(
    OpenMonitor& monitor, const std::function<VcpResult(DisplayBus&)>& operation) {
  const std::vector<unsigned>& buses = monitor.monitor->buses;
  // A connector may name two buses for one display, and one of them may not
  // carry DDC/CI (an AMD hardware bus on a USB4 link fails every transfer).
  // The buses that have answered in this run come first, each group in the
  // connector's order of preference: a bus that never answered is never
  // preferred to one that did, and one failure alone demotes nothing.
  std::vector<std::size_t> order;
  for (const bool answered : {true, false}) {
    for (std::size_t i = 0; i < buses.size(); ++i) {
      if (bus(buses[i]).answered() == answered) {
        order.push_back(i);
      }
    }
  }
  std::optional<Exchanged> first;
  for (const std::size_t i : order) {
    DisplayBus& current = bus(buses[i]);
    if (i != monitor.active) {
      const DisplayBus& previous = bus(buses[monitor.active]);
      previous.trace("the display is tried on i2c-" + std::to_string(current.number()) +
                     ", the connector's other bus");
      // The same display behind another bus: its pause still holds.
      current.pacing().continueFrom(previous.pacing());
      monitor.active = i;
    }
    VcpResult result = operation(current);
    // The other bus is worth a try only when this one has never answered:
    // a bus that answered before carries DDC/CI, and what failed now is the
    // display. A bus held by another program is not dead, only busy.
    const bool mayNotCarryDdc = result.outcome == VcpResult::Outcome::kBusFailed &&
                                result.bus.failure != BusResult::Failure::kLock &&
                                !current.answered();
    if (!mayNotCarryDdc) {
      return Exchanged{result, current.number()};
    }
    if (!first) {
      first = Exchanged{result, current.number()};
    }
  }
  // Told about the bus tried first: what it said (a NAK, say) means more
  // than the failure of a bus that may not carry DDC/CI at all.
  return *first;
}

bool LinuxBackend::setVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                 std::uint32_t newValue) {
  OpenMonitor* open = find(monitor);
  if (open == nullptr) {
    return fail(FailureCause::kTransferFailed, "", EBADF);
  }
  // A VCP value is 16 bits on the wire; a larger one cannot be sent intact.
  if (newValue > 0xFFFF) {
    return fail(FailureCause::kTransferFailed,
                monitorName(*open->monitor, open->monitor->buses[open->active]), EINVAL);
  }
  const Exchanged exchanged = exchange(*open, [&](DisplayBus& bus) {
    return linux_ddc::setVcpFeature(bus, vcpCode, static_cast<std::uint16_t>(newValue));
  });
  return failExchange(*open, exchanged);
}

bool LinuxBackend::getVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                 std::uint32_t* codeType, std::uint32_t* currentValue,
                                 std::uint32_t* maximumValue) {
  OpenMonitor* open = find(monitor);
  if (open == nullptr) {
    return fail(FailureCause::kTransferFailed, "", EBADF);
  }
  const Exchanged exchanged =
      exchange(*open, [&](DisplayBus& bus) { return linux_ddc::getVcpFeature(bus, vcpCode); });
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
    return fail(FailureCause::kTransferFailed, "", EBADF);
  }
  return true;
}

void LinuxBackend::sleepMilliseconds(std::uint32_t milliseconds) {
  const Clock::time_point until = timing_->now() + std::chrono::milliseconds(milliseconds);
  for (auto& [number, displayBus] : buses_) {
    displayBus.close();
  }
  timing_->sleepUntil(until);
}

}  // namespace kelvane::linux_ddc
