// SPDX-License-Identifier: MIT
// The platform operations on Linux, as one object: the monitors that
// discovery finds are the display monitors, each with one physical monitor,
// the display on its DDC/CI bus; handles index a table of them.
//
// One object serves a whole run, so that discovery probes each bus once and
// each bus stays locked, and paced, from its first message to the end of the
// run, across the Monitors objects that come and go.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "monitors/linux/bus_choice.h"
#include "monitors/linux/ddc_pacing.h"
#include "monitors/linux/display_bus.h"
#include "monitors/linux/drm_connectors.h"
#include "monitors/linux/i2c_bus.h"
#include "monitors/linux/monitor_discovery.h"
#include "monitors/linux/trace.h"
#include "monitors/linux/vcp_exchange.h"
#include "monitors/platform.h"

namespace kelvane::linux_ddc {

class LinuxBackend {
 public:
  // sysfsRoot is where sysfs is mounted, devices how buses are reached
  // (/dev/i2c-N when null); the tests give their own.
  explicit LinuxBackend(Timing& timing, std::string sysfsRoot = kSysfsRoot,
                        I2cDevices* devices = nullptr);
  // Gives every bus back once its display may take the next message.
  ~LinuxBackend() = default;

  // For the end of the process: hands the pauses still owed to the displays
  // to a process that keeps them (pause_keeper.h), so that the run leaves
  // at once; where none can be started, they are waited for here.
  void leavePausesToAnotherProcess();
  LinuxBackend(const LinuxBackend&) = delete;
  LinuxBackend& operator=(const LinuxBackend&) = delete;
  LinuxBackend(LinuxBackend&&) = delete;
  LinuxBackend& operator=(LinuxBackend&&) = delete;

  bool enumDisplayMonitors(platform::DisplayMonitorCallback callback, void* data);
  bool getNumberOfPhysicalMonitors(platform::DisplayMonitorHandle monitor, std::uint32_t* count);
  bool getPhysicalMonitors(platform::DisplayMonitorHandle monitor, std::uint32_t count,
                           platform::PhysicalMonitorRecord* records);
  bool setVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                     std::uint32_t newValue);
  bool getVcpFeature(platform::PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                     std::uint32_t* codeType, std::uint32_t* currentValue,
                     std::uint32_t* maximumValue);
  bool destroyPhysicalMonitor(platform::PhysicalMonitorHandle monitor);
  // Lets other programs use the buses, and the kernel remove their
  // adapters, while it sleeps: between the steps of the test routine.
  void sleepMilliseconds(std::uint32_t milliseconds);

  const platform::Failure& lastFailure() const { return last_; }
  platform::Failure whyNoMonitor();
  void setTraceSink(platform::TraceSink* sink);

 private:
  struct OpenMonitor {
    const DiscoveredMonitor* monitor;
    ConnectorBuses buses;
  };

  const std::vector<DiscoveredMonitor>& monitors();
  const DiscoveredMonitor* monitorOf(platform::DisplayMonitorHandle monitor);
  DisplayBus& bus(unsigned number);
  OpenMonitor* find(platform::PhysicalMonitorHandle monitor);
  bool fail(platform::Failure failure);
  bool failExchange(const OpenMonitor& monitor, const BusExchange& exchanged);
  bool hasI2cDevices() const;

  Timing* timing_;
  std::string sysfsRoot_;
  SystemI2cDevices systemDevices_;
  I2cDevices* devices_;
  Tracer tracer_;
  // Declared before the table of open monitors: destroyed after it.
  std::map<unsigned, DisplayBus> buses_;
  std::optional<std::vector<DiscoveredMonitor>> discovered_;
  std::vector<DrmConnector> connectors_;
  // Adapters that a probe could not open, and why.
  std::map<unsigned, int> probeOpenErrors_;
  std::map<std::uintptr_t, OpenMonitor> open_;
  // Counts up, so that handles follow the order of the monitors as filled.
  std::uintptr_t nextHandle_ = 1;
  platform::Failure last_;
};

// How the diagnostics name a bus and what it carries: "card0-DP-1
// (/dev/i2c-5)"; for an adapter no connector matched, "adapter "DPMST"
// (/dev/i2c-10)"; for one not even named, "adapter i2c-7 (/dev/i2c-7)".
std::string busUserName(const std::string& connector, const std::string& adapterName, unsigned bus);
std::string monitorName(const DiscoveredMonitor& monitor, unsigned bus);

}  // namespace kelvane::linux_ddc
