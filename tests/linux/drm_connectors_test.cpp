// SPDX-License-Identifier: MIT
#include "monitors/linux/drm_connectors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "monitors/linux/sysfs.h"

namespace kelvane::linux_ddc {
namespace {

EdidBlock edidWithSerial(std::uint8_t serial) {
  EdidBlock block{};
  block[12] = serial;
  return block;
}

TEST(DrmConnectorsTest, ReadsEveryConnectorWithItsStatusBusesAndEdidInNaturalOrder) {
  FakeSysfs sysfs;
  ASSERT_FALSE(sysfs.root().empty());
  const std::string drm = "class/drm";
  sysfs.file(drm + "/card10-DP-1/status", "connected\n");
  sysfs.directory(drm + "/card10-DP-1/i2c-12");
  // amdgpu DisplayPort: an AUX child and a `ddc` link to another adapter.
  sysfs.file(drm + "/card2-DP-10/status", "disconnected\n");
  sysfs.link(drm + "/card2-DP-10/ddc", "../../../i2c-7");
  sysfs.directory(drm + "/card2-DP-10/i2c-9");
  sysfs.directory(drm + "/card2-DP-10/power");
  // Before 6.7 an i2c-N link beside `ddc`, to the same adapter; trailing
  // newlines trimmed, however many.
  sysfs.file(drm + "/card0-HDMI-A-1/status", "unknown\n\n");
  sysfs.link(drm + "/card0-HDMI-A-1/ddc", "../../../i2c-3");
  sysfs.link(drm + "/card0-HDMI-A-1/i2c-3", "../../../i2c-3");
  std::vector<std::uint8_t> edid(256, 0);
  edid[12] = 7;
  sysfs.bytes(drm + "/card0-HDMI-A-1/edid", edid);
  // NVIDIA: no bus at all; an edid too short to be a block is none.
  sysfs.file(drm + "/card1-DP-1/status", "connected\n");
  sysfs.bytes(drm + "/card1-DP-1/edid", std::vector<std::uint8_t>(100, 0));
  // Not connectors.
  sysfs.directory(drm + "/card0");
  sysfs.directory(drm + "/renderD128");
  sysfs.file(drm + "/version", "1\n");

  const std::vector<DrmConnector> connectors = readDrmConnectors(sysfs.root() + "/" + drm);
  ASSERT_EQ(connectors.size(), 4u);
  const DrmConnector& hdmi = connectors[0];
  EXPECT_EQ(hdmi.name, "card0-HDMI-A-1");
  EXPECT_EQ(hdmi.type, "HDMI-A");
  EXPECT_EQ(hdmi.status, ConnectorStatus::kUnknown);
  EXPECT_EQ(hdmi.statusText, "unknown");
  EXPECT_EQ(hdmi.ddcLink, 3u);
  EXPECT_EQ(hdmi.busLinks, std::vector<unsigned>{3});
  EXPECT_EQ(hdmi.auxChannels, std::vector<unsigned>{});
  EXPECT_EQ(hdmi.edid, edidWithSerial(7));
  EXPECT_EQ(candidateBuses(hdmi), std::vector<unsigned>{3});

  const DrmConnector& nvidia = connectors[1];
  EXPECT_EQ(nvidia.name, "card1-DP-1");
  EXPECT_EQ(nvidia.ddcLink, std::nullopt);
  EXPECT_EQ(nvidia.edid, std::nullopt);
  EXPECT_EQ(candidateBuses(nvidia), std::vector<unsigned>{});

  const DrmConnector& amd = connectors[2];
  EXPECT_EQ(amd.name, "card2-DP-10");
  EXPECT_EQ(amd.status, ConnectorStatus::kDisconnected);
  EXPECT_EQ(amd.auxChannels, std::vector<unsigned>{9});
  EXPECT_EQ(candidateBuses(amd), (std::vector<unsigned>{9, 7}));

  EXPECT_EQ(connectors[3].name, "card10-DP-1");
  EXPECT_EQ(connectors[3].auxChannels, std::vector<unsigned>{12});
}

TEST(DrmConnectorsTest, AMalformedBusNameTiesNoBusAndAMissingDirectoryHasNoConnector) {
  FakeSysfs sysfs;
  ASSERT_FALSE(sysfs.root().empty());
  sysfs.file("drm/card0-DP-1/status", "connected\n");
  sysfs.link("drm/card0-DP-1/ddc", "../../../i2c-03");
  sysfs.directory("drm/card0-DP-1/i2c-x");
  sysfs.file("drm/card0-DP-2/status", "connected\n");
  sysfs.link("drm/card0-DP-2/ddc", "../../../spi-2");

  const std::vector<DrmConnector> connectors = readDrmConnectors(sysfs.root() + "/drm");
  ASSERT_EQ(connectors.size(), 2u);
  for (const DrmConnector& connector : connectors) {
    SCOPED_TRACE(connector.name);
    EXPECT_EQ(candidateBuses(connector), std::vector<unsigned>{});
  }
  EXPECT_TRUE(readDrmConnectors("/nonexistent/kelvane/drm").empty());
}

TEST(DrmConnectorsTest, DisplayPortPrefersItsAuxChannelAndEveryBusCountsOnce) {
  struct Case {
    const char* what;
    DrmConnector connector;
    std::vector<unsigned> buses;
  };
  const auto connector = [](const char* name, std::optional<unsigned> ddc,
                            std::vector<unsigned> aux, std::vector<unsigned> links) {
    DrmConnector result;
    result.name = name;
    result.type = connectorType(name);
    result.ddcLink = ddc;
    result.auxChannels = std::move(aux);
    result.busLinks = std::move(links);
    return result;
  };
  const Case cases[] = {
      {"amdgpu DP: AUX, then the hardware bus", connector("card0-DP-1", 3, {5}, {}), {5, 3}},
      {"i915 DP since 6.7: ddc is the AUX adapter", connector("card0-DP-1", 5, {5}, {}), {5}},
      {"DP with ddc only", connector("card0-DP-2", 4, {}, {}), {4}},
      {"HDMI: ddc first", connector("card0-HDMI-A-1", 3, {6}, {}), {3, 6}},
      {"HDMI before 6.7: the link beside ddc", connector("card0-HDMI-A-1", 3, {}, {3}), {3}},
      {"DVI with the link only", connector("card0-DVI-D-1", std::nullopt, {}, {8}), {8}},
      {"no bus", connector("card1-DP-1", std::nullopt, {}, {}), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(candidateBuses(c.connector), c.buses);
  }
}

TEST(DrmConnectorsTest, TypesComeFromTheNameAndOnlyBuiltInPanelsArePanels) {
  const struct {
    const char* name;
    const char* type;
    bool panel;
  } cases[] = {
      {"card0-eDP-1", "eDP", true},
      {"card1-LVDS-1", "LVDS", true},
      {"card0-DSI-2", "DSI", true},
      {"card0-DP-1", "DP", false},
      {"card0-HDMI-A-1", "HDMI-A", false},
      {"card10-DVI-I-2", "DVI-I", false},
      {"card0-VGA-1", "VGA", false},
      {"card0-Virtual-1", "Virtual", false},
      {"card0-", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DrmConnector connector;
    connector.name = c.name;
    connector.type = connectorType(c.name);
    EXPECT_EQ(connector.type, c.type);
    EXPECT_EQ(isInternalPanel(connector), c.panel);
  }
}

TEST(DrmConnectorsTest, BusNamesAreTakenOnlyInTheKernelsExactForm) {
  const std::pair<const char*, std::optional<unsigned>> cases[] = {
      {"i2c-0", 0u},
      {"i2c-3", 3u},
      {"i2c-123", 123u},
      {"i2c-", std::nullopt},
      {"i2c-03", std::nullopt},
      {"i2c-3a", std::nullopt},
      {"i2c3", std::nullopt},
      {"I2C-3", std::nullopt},
      {"i2c--3", std::nullopt},
      {"", std::nullopt},
      {"3-0037", std::nullopt},
      {"i2c-99999999999999999999", std::nullopt},
  };
  for (const auto& [name, bus] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(parseI2cBusName(name), bus);
  }
}

TEST(DrmConnectorsTest, ConnectorNamesOrderByCardThenNaturally) {
  const std::pair<const char*, const char*> ordered[] = {
      {"card0-DP-1", "card1-DP-1"},      {"card2-DP-1", "card10-DP-1"},
      {"card0-DP-2", "card0-DP-10"},     {"card0-DP-1", "card0-HDMI-A-1"},
      {"card0-HDMI-A-1", "card0-eDP-1"}, {"card9-eDP-1", "card10-DP-1"},
      {"card0-DP-1", "card0-DP-1-1"},    {"card0-DP-01", "card0-DP-1"},
  };
  for (const auto& [lower, higher] : ordered) {
    SCOPED_TRACE(std::string(lower) + " < " + higher);
    EXPECT_TRUE(connectorNameLess(lower, higher));
    EXPECT_FALSE(connectorNameLess(higher, lower));
  }
  EXPECT_FALSE(connectorNameLess("card0-DP-1", "card0-DP-1"));
}

}  // namespace
}  // namespace kelvane::linux_ddc
