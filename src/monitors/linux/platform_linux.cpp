// SPDX-License-Identifier: MIT
// The platform seam on Linux: forwards each operation to the one backend of
// the run. The seam's free functions take bare handle values, so the state
// they stand for must live where the functions can find it: this is the
// program's only process-wide state. Destroyed at exit, it leaves the pauses
// still owed to the displays to a short-lived process, so that the run ends
// as soon as its last exchange is done.
#include "monitors/linux/linux_backend.h"
#include "monitors/platform.h"

namespace kelvane::platform {
namespace {

struct RunBackend {
  linux_ddc::SystemTiming timing;
  linux_ddc::LinuxBackend backend{timing};
  RunBackend() = default;
  ~RunBackend() { backend.leavePausesToAnotherProcess(); }
  RunBackend(const RunBackend&) = delete;
  RunBackend& operator=(const RunBackend&) = delete;
  RunBackend(RunBackend&&) = delete;
  RunBackend& operator=(RunBackend&&) = delete;
};

linux_ddc::LinuxBackend& backend() {
  static RunBackend run;
  return run.backend;
}

}  // namespace

bool enumDisplayMonitors(DisplayMonitorCallback callback, void* data) {
  return backend().enumDisplayMonitors(callback, data);
}

bool getNumberOfPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t* count) {
  return backend().getNumberOfPhysicalMonitors(monitor, count);
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  return backend().getPhysicalMonitors(monitor, count, records);
}

bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue) {
  return backend().setVcpFeature(monitor, vcpCode, newValue);
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  return backend().getVcpFeature(monitor, vcpCode, codeType, currentValue, maximumValue);
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  return backend().destroyPhysicalMonitor(monitor);
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  backend().sleepMilliseconds(milliseconds);
}

Failure lastFailure() {
  return backend().lastFailure();
}

Failure whyNoMonitor() {
  return backend().whyNoMonitor();
}

void setTraceSink(TraceSink* sink) {
  backend().setTraceSink(sink);
}

}  // namespace kelvane::platform
