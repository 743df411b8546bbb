// SPDX-License-Identifier: MIT
#include "monitors/monitors.h"

#include "monitors/interruption.h"

#include <memory>
#include <new>

namespace kelvane {
namespace {

// What the enumeration callback fills in: the handle set, and whether a
// failure was told on the way.
struct Collection {
  std::set<PhysicalMonitorHandle>* handles;
  FailureReporter* reporter;
  bool failed;

  void failure() {
    failed = true;
    if (reporter != nullptr) {
      reporter->report(platform::lastFailure());
    }
  }
};

// Enumeration callback: opens the physical monitors behind one display monitor
// and keeps their handles. Always asks for the next display monitor, so that
// one that cannot be opened does not hide the others.
bool collectPhysicalMonitors(platform::DisplayMonitorHandle displayMonitor, void* data) {
  Collection& collection = *static_cast<Collection*>(data);
  std::uint32_t count = 0;
  if (!platform::getNumberOfPhysicalMonitorsFromHMONITOR(displayMonitor, &count)) {
    collection.failure();
    return true;
  }
  // The count comes from a driver; an absurd one must not end the program.
  const std::unique_ptr<platform::PhysicalMonitorRecord[]> records(
      new (std::nothrow) platform::PhysicalMonitorRecord[count]);
  if (!records) {
    return true;
  }
  if (platform::getPhysicalMonitorsFromHMONITOR(displayMonitor, count, records.get())) {
    for (std::uint32_t i = 0; i < count; ++i) {
      collection.handles->insert(records[i].handle);
    }
  } else {
    collection.failure();
  }
  return true;
}

}  // namespace

Monitors::Monitors(FailureReporter* reporter) : reporter_(reporter) {
  Collection collection{&handles_, reporter_, false};
  platform::enumDisplayMonitors(&collectPhysicalMonitors, &collection);
  // Nothing failed, and still nothing was found: the platform may know why.
  if (handles_.empty() && !collection.failed && reporter_ != nullptr) {
    const platform::Failure why = platform::whyNoMonitor();
    if (why.cause != platform::FailureCause::kNone) {
      reporter_->report(why);
    }
  }
}

void Monitors::reportLastFailure() const {
  if (reporter_ != nullptr) {
    reporter_->report(platform::lastFailure());
  }
}

Monitors::~Monitors() {
  for (const PhysicalMonitorHandle handle : handles_) {
    platform::destroyPhysicalMonitor(handle);
  }
  handles_.clear();
}

void Monitors::setPowerMode(PowerMode mode) const {
  for (const PhysicalMonitorHandle handle : handles_) {
    // An interrupted run sends nothing more, unless to put the monitors back.
    if (!interruption::mayCommand()) {
      break;
    }
    if (!platform::setVCPFeature(handle, kPowerModeVcpCode, codeOf(mode))) {
      reportLastFailure();
    }
  }
}

StatusValue Monitors::queryPowerMode() const {
  if (handles_.empty()) {
    return kStatusNoMonitor;
  }
  std::uint32_t codeType = ~std::uint32_t{0};
  std::uint32_t currentValue = ~std::uint32_t{0};
  std::uint32_t maximumValue = ~std::uint32_t{0};
  if (!platform::getVCPFeatureAndVCPFeatureReply(*handles_.begin(), kPowerModeVcpCode, &codeType,
                                                 &currentValue, &maximumValue)) {
    reportLastFailure();
    return kStatusReadFailed;
  }
  return static_cast<StatusValue>(currentValue);
}

}  // namespace kelvane
