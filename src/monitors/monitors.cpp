#include "monitors/monitors.h"

#include <memory>
#include <new>

namespace kelvane {
namespace {

// Enumeration callback: opens the physical monitors behind one display monitor
// and keeps their handles. Always asks for the next display monitor, so that
// one that cannot be opened does not hide the others.
bool collectPhysicalMonitors(platform::DisplayMonitorHandle displayMonitor, void* data) {
  std::uint32_t count = 0;
  if (!platform::getNumberOfPhysicalMonitorsFromHMONITOR(displayMonitor, &count)) {
    return true;
  }
  // The count comes from a driver; an absurd one must not end the program.
  const std::unique_ptr<platform::PhysicalMonitorRecord[]> records(
      new (std::nothrow) platform::PhysicalMonitorRecord[count]);
  if (!records) {
    return true;
  }
  if (platform::getPhysicalMonitorsFromHMONITOR(displayMonitor, count, records.get())) {
    auto& handles = *static_cast<std::set<PhysicalMonitorHandle>*>(data);
    for (std::uint32_t i = 0; i < count; ++i) {
      handles.insert(records[i].handle);
    }
  }
  return true;
}

}  // namespace

Monitors::Monitors() {
  platform::enumDisplayMonitors(&collectPhysicalMonitors, &handles_);
}

Monitors::~Monitors() {
  for (const PhysicalMonitorHandle handle : handles_) {
    platform::destroyPhysicalMonitor(handle);
  }
  handles_.clear();
}

void Monitors::setPowerMode(PowerModeCode code) const {
  for (const PhysicalMonitorHandle handle : handles_) {
    platform::setVCPFeature(handle, kPowerModeVcpCode, code);
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
    return kStatusReadFailed;
  }
  return static_cast<StatusValue>(currentValue);
}

}  // namespace kelvane
