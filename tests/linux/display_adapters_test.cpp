// SPDX-License-Identifier: MIT
#include "monitors/linux/display_adapters.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_sysfs.h"

namespace kelvane::linux_ddc {
namespace {

using Found = std::vector<std::pair<unsigned, std::string>>;

class DisplayAdaptersTest : public testing::Test {
 protected:
  // An adapter at a device path, listed on the I2C bus as the kernel does.
  void adapter(const std::string& device, unsigned bus, const std::string& name) {
    const std::string node = "i2c-" + std::to_string(bus);
    sysfs.file("devices/" + device + "/" + node + "/name", name);
    sysfs.link("bus/i2c/devices/" + node, "../../../devices/" + device + "/" + node);
  }
  void pciDevice(const std::string& device, const std::string& pciClass) {
    sysfs.file("devices/" + device + "/class", pciClass + "\n");
  }
  Found found() const {
    Found result;
    for (const DisplayAdapter& entry : findDisplayAdapters(sysfs.root())) {
      result.emplace_back(entry.bus, entry.name + " (" + entry.card + ")");
    }
    return result;
  }

  FakeSysfs sysfs;
};

TEST_F(DisplayAdaptersTest, OnlyAdaptersOfDisplayControllersThatDriveADrmCardAreFound) {
  ASSERT_FALSE(sysfs.root().empty());
  const std::string intel = "pci0000:00/0000:00:02.0";
  pciDevice(intel, "0x030000");
  sysfs.directory("devices/" + intel + "/drm/card0");
  adapter(intel, 3, "i915 gmbus dpb\n");
  adapter(intel + "/drm/card0/card0-DP-1", 5, "AUX B/DDI B/PHY B\n");
  // A graphics card behind a PCI bridge; the bridge has a class of its own.
  const std::string nvidia = "pci0000:00/0000:00:01.0/0000:01:00.0";
  pciDevice("pci0000:00/0000:00:01.0", "0x060400");
  pciDevice(nvidia, "0x030200");
  sysfs.directory("devices/" + nvidia + "/drm/card1");
  adapter(nvidia, 6, "NVIDIA i2c adapter 1 at 1:00.0\n\n");
  adapter(nvidia, 12, "DPMST\n");
  // None of these.
  pciDevice("pci0000:00/0000:00:1f.4", "0x0c0500");
  adapter("pci0000:00/0000:00:1f.4", 0, "SMBus I801 adapter at efa0\n");
  pciDevice("pci0000:00/0000:00:1f.3", "0x040300");  // audio: "03" in the middle
  adapter("pci0000:00/0000:00:1f.3", 10, "sound\n");
  pciDevice("pci0000:00/0000:00:1e.0", "0x030000");  // no DRM driver on it
  sysfs.directory("devices/pci0000:00/0000:00:1e.0/drm/renderD128");
  adapter("pci0000:00/0000:00:1e.0", 9, "fbdev\n");
  adapter("platform/i2c-gpio.1", 8, "i2c-gpio1\n");
  adapter("pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0", 11, "i2c-tiny-usb\n");
  pciDevice("pci0000:00/0000:00:14.0", "0x0c0330");
  // A client on a display bus (the ddcci driver at 0x37) is no adapter.
  sysfs.link("bus/i2c/devices/3-0037", "../../../devices/" + intel + "/i2c-3/3-0037");

  // Each with the DRM card of its display controller.
  EXPECT_EQ(found(), (Found{{3, "i915 gmbus dpb (card0)"},
                            {5, "AUX B/DDI B/PHY B (card0)"},
                            {6, "NVIDIA i2c adapter 1 at 1:00.0 (card1)"},
                            {12, "DPMST (card1)"}}));
}

TEST_F(DisplayAdaptersTest, AMachineWithoutI2cAdaptersHasNone) {
  ASSERT_FALSE(sysfs.root().empty());
  sysfs.directory("devices");
  EXPECT_EQ(found(), Found{});
  EXPECT_TRUE(findDisplayAdapters("/nonexistent/kelvane/sys").empty());
}

}  // namespace
}  // namespace kelvane::linux_ddc
