// SPDX-License-Identifier: MIT
#include <signal.h>

#include "fake_platform.h"

#include <utility>

#include "monitors/hex_text.h"
#include "monitors/platform.h"

namespace kelvane::fake {

void Platform::reset() {
  *this = Platform();
}

Platform& platform() {
  // The seam is a set of free functions, so the fake behind it has to be
  // reachable without an object to hand.
  static Platform instance;
  return instance;
}

std::string handleName(std::uintptr_t handle) {
  return hexNumber(handle);
}

DisplayMonitor displayWith(std::vector<std::uintptr_t> handles) {
  DisplayMonitor display;
  display.handles = std::move(handles);
  return display;
}

DisplayMonitor displayWhoseCountFails() {
  DisplayMonitor display;
  display.countFails = true;
  return display;
}

DisplayMonitor displayWhoseFillFails(std::vector<std::uintptr_t> handles) {
  DisplayMonitor display = displayWith(std::move(handles));
  display.fillFails = true;
  return display;
}

DisplayMonitor displayReportingCount(std::uint32_t count, std::vector<std::uintptr_t> handles) {
  DisplayMonitor display = displayWith(std::move(handles));
  display.count = count;
  return display;
}

PhysicalMonitor answering(std::uint32_t powerMode) {
  PhysicalMonitor monitor;
  monitor.powerMode = powerMode;
  return monitor;
}

PhysicalMonitor failingRead() {
  PhysicalMonitor monitor;
  monitor.readFails = true;
  return monitor;
}

namespace {

std::string displayName(platform::DisplayMonitorHandle monitor) {
  return "D" + std::to_string(static_cast<std::uintptr_t>(monitor));
}

const DisplayMonitor* findDisplay(platform::DisplayMonitorHandle monitor) {
  const auto index = static_cast<std::uintptr_t>(monitor);
  const auto& displays = platform().displays;
  return index >= 1 && index <= displays.size() ? &displays[index - 1] : nullptr;
}

void record(std::string entry) {
  if (platform().trace != nullptr) {
    platform().trace->traceLine(entry);
  }
  platform().log.push_back(std::move(entry));
}

bool failWith(platform::Failure failure) {
  platform().last = std::move(failure);
  return false;
}

PhysicalMonitor findMonitor(platform::PhysicalMonitorHandle monitor) {
  const auto& monitors = platform().monitors;
  const auto found = monitors.find(static_cast<std::uintptr_t>(monitor));
  return found == monitors.end() ? PhysicalMonitor{} : found->second;
}

}  // namespace
}  // namespace kelvane::fake

namespace kelvane::platform {

using fake::platform;

bool enumDisplayMonitors(DisplayMonitorCallback callback, void* data) {
  fake::record("enumerate");
  const std::size_t count = platform().displays.size();
  for (std::size_t i = 1; i <= count; ++i) {
    if (!callback(static_cast<DisplayMonitorHandle>(i), data)) {
      break;
    }
  }
  return true;
}

bool getNumberOfPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t* count) {
  fake::record("count " + fake::displayName(monitor));
  const fake::DisplayMonitor* display = fake::findDisplay(monitor);
  if (display == nullptr || display->countFails) {
    return fake::failWith(display != nullptr ? display->failure : Failure{});
  }
  *count = display->count.value_or(static_cast<std::uint32_t>(display->handles.size()));
  return true;
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  fake::record("fill " + fake::displayName(monitor) + " " + std::to_string(count));
  const fake::DisplayMonitor* display = fake::findDisplay(monitor);
  if (display == nullptr || display->fillFails || count > display->handles.size()) {
    return fake::failWith(display != nullptr ? display->failure : Failure{});
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    records[i] = PhysicalMonitorRecord{static_cast<PhysicalMonitorHandle>(display->handles[i]), {}};
    platform().open.insert(display->handles[i]);
  }
  return true;
}

bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue) {
  fake::record("set " + fake::handleName(static_cast<std::uintptr_t>(monitor)) +
               (vcpCode == 0xD6 ? "" : " code " + std::to_string(vcpCode)) + " " +
               std::to_string(newValue));
  fake::PhysicalMonitor& answer = platform().monitors[static_cast<std::uintptr_t>(monitor)];
  if (answer.setFails) {
    return fake::failWith(answer.failure);
  }
  // Like a display, answer later reads with what was last set.
  answer.powerMode = newValue;
  return true;
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  fake::record("get " + fake::handleName(static_cast<std::uintptr_t>(monitor)) +
               (vcpCode == 0xD6 ? "" : " code " + std::to_string(vcpCode)));
  const fake::PhysicalMonitor answer = fake::findMonitor(monitor);
  if (answer.readFails) {
    return fake::failWith(answer.failure);
  }
  *codeType = 0;
  *currentValue = answer.powerMode;
  *maximumValue = 5;
  return true;
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  const auto handle = static_cast<std::uintptr_t>(monitor);
  fake::record("destroy " + fake::handleName(handle));
  platform().open.erase(handle);
  return true;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  fake::record("sleep " + std::to_string(milliseconds));
  if (++platform().sleeps == platform().signalledSleep && platform().signalDuringSleep != 0) {
    static_cast<void>(raise(platform().signalDuringSleep));
  }
}

Failure lastFailure() {
  return platform().last;
}

Failure whyNoMonitor() {
  return platform().noMonitor;
}

void setTraceSink(TraceSink* sink) {
  platform().trace = sink;
}

}  // namespace kelvane::platform
