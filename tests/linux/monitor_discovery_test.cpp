// SPDX-License-Identifier: MIT
#include "monitors/linux/monitor_discovery.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kelvane::linux_ddc {
namespace {

EdidBlock edid(std::uint8_t serial) {
  EdidBlock block{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  block[12] = serial;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < block.size(); ++i) {
    sum = static_cast<std::uint8_t>(sum + block[i]);
  }
  block.back() = static_cast<std::uint8_t>(0x100 - sum);
  return block;
}

struct ConnectorRow {
  const char* name;
  const char* status = "connected";
  std::optional<unsigned> ddc = std::nullopt;
  std::vector<unsigned> aux = {};
  std::optional<EdidBlock> edid = std::nullopt;
};

std::vector<DrmConnector> connectors(const std::vector<ConnectorRow>& rows) {
  std::vector<DrmConnector> result;
  for (const ConnectorRow& row : rows) {
    DrmConnector connector;
    connector.name = row.name;
    connector.card = connector.name.substr(0, connector.name.find('-'));
    connector.type = connectorType(row.name);
    connector.statusText = row.status;
    const std::string status = row.status;
    connector.status = status == "connected"      ? ConnectorStatus::kConnected
                       : status == "disconnected" ? ConnectorStatus::kDisconnected
                                                  : ConnectorStatus::kUnknown;
    connector.ddcLink = row.ddc;
    connector.auxChannels = row.aux;
    connector.edid = row.edid;
    result.push_back(connector);
  }
  return result;
}

// What each bus answers at 0x50, and which buses were asked.
class FakeEeproms {
 public:
  explicit FakeEeproms(std::map<unsigned, EdidBlock> contents) : contents_(std::move(contents)) {}
  EdidProbe probe() {
    return [this](unsigned bus) -> std::optional<EdidBlock> {
      probed_.push_back(bus);
      const auto found = contents_.find(bus);
      if (found == contents_.end()) {
        return std::nullopt;
      }
      return found->second;
    };
  }
  const std::vector<unsigned>& probed() const { return probed_; }

 private:
  std::map<unsigned, EdidBlock> contents_;
  std::vector<unsigned> probed_;
};

// "name: bus bus" for each monitor, "adapter N: N" for unmatched ones.
std::vector<std::string> described(const std::vector<DiscoveredMonitor>& monitors) {
  std::vector<std::string> lines;
  for (const DiscoveredMonitor& monitor : monitors) {
    std::string line =
        monitor.connector.empty()
            ? "adapter " +
                  (monitor.buses.empty() ? std::string("?") : std::to_string(monitor.buses[0])) +
                  ":"
            : monitor.connector + ":";
    for (const unsigned bus : monitor.buses) {
      line += " " + std::to_string(bus);
    }
    lines.push_back(line);
  }
  return lines;
}

using Lines = std::vector<std::string>;
using Buses = std::vector<unsigned>;

TEST(MonitorDiscoveryTest, LinkedConnectorsAreTakenAsTheySayAndTheirBusesAreNeverProbed) {
  const auto drm = connectors({
      {"card0-DP-1", "connected", std::nullopt, {5}},
      {"card0-DP-2", "disconnected", std::nullopt, {6}},
      {"card0-HDMI-A-1", "connected", 3},
      {"card0-eDP-1", "connected", std::nullopt, {2}, edid(9)},
  });
  const std::vector<DisplayAdapter> adapters = {{2, "AUX A/DDI A/PHY A", "card0"},
                                                {3, "i915 gmbus dpb", "card0"},
                                                {5, "AUX B/DDI B/PHY B", "card0"},
                                                {6, "AUX C/DDI C/PHY C", "card0"},
                                                {7, "i915 gmbus dpc", "card0"}};
  FakeEeproms eeproms({{2, edid(9)}, {6, edid(1)}});

  EXPECT_EQ(described(discoverMonitors(drm, adapters, eeproms.probe())),
            (Lines{"card0-DP-1: 5", "card0-HDMI-A-1: 3"}));
  // Only the adapter that no connector names, and only at 0x50.
  EXPECT_EQ(eeproms.probed(), Buses{7});
}

TEST(MonitorDiscoveryTest, UnlinkedAdaptersFindTheirConnectorByEdidWhateverItsStatus) {
  // The proprietary NVIDIA driver: no links, and a status that can be stale.
  const auto drm = connectors({
      {"card1-DP-1", "connected", std::nullopt, {}, edid(1)},
      {"card1-DP-2", "disconnected", std::nullopt, {}, edid(2)},
      {"card1-HDMI-A-1", "connected", std::nullopt, {}, edid(3)},
      {"card1-HDMI-A-2", "disconnected", std::nullopt, {}, edid(5)},
  });
  const std::vector<DisplayAdapter> adapters = {{3, "NVIDIA i2c adapter 1 at 1:00.0", "card1"},
                                                {4, "NVIDIA i2c adapter 2 at 1:00.0", "card1"},
                                                {5, "NVIDIA i2c adapter 3 at 1:00.0", "card1"},
                                                {6, "NVIDIA i2c adapter 4 at 1:00.0", "card1"},
                                                {8, "NVIDIA i2c adapter 6 at 1:00.0", "card1"}};
  EdidBlock corrupted = edid(7);
  corrupted[20] ^= 0x01;
  FakeEeproms eeproms({{4, edid(2)}, {5, edid(1)}, {6, edid(4)}, {8, corrupted}});

  EXPECT_EQ(described(discoverMonitors(drm, adapters, eeproms.probe())),
            (Lines{"card1-DP-1: 5", "card1-DP-2: 4",
                   "card1-HDMI-A-1:",  // says connected, but no bus carries its display
                   "adapter 6: 6"}));  // a display whose EDID no connector shows
  EXPECT_EQ(eeproms.probed(), (Buses{3, 4, 5, 6, 8}));
}

TEST(MonitorDiscoveryTest, MstAdaptersAreMonitorsByNameAndTheRootPortIsNot) {
  const auto drm = connectors({
      // The root port reads disconnected; its AUX channel still answers.
      {"card0-DP-1", "disconnected", std::nullopt, {3}, edid(8)},
      {"card0-DP-5", "connected", std::nullopt, {}, edid(1)},
      {"card0-DP-6", "connected", std::nullopt, {}, edid(2)},
      {"card0-HDMI-A-1", "connected", 4},
  });
  const std::vector<DisplayAdapter> adapters = {{3, "AUX A/DDI A/PHY A", "card0"},
                                                {4, "i915 gmbus dpb", "card0"},
                                                {10, "DPMST", "card0"},
                                                {11, "DPMST", "card0"}};
  EdidBlock zeros{};
  FakeEeproms eeproms({{3, edid(8)}, {10, zeros}, {11, edid(2)}});

  EXPECT_EQ(described(discoverMonitors(drm, adapters, eeproms.probe())),
            (Lines{"card0-DP-5:", "card0-DP-6: 11", "card0-HDMI-A-1: 4", "adapter 10: 10"}));
  EXPECT_EQ(eeproms.probed(), (Buses{10, 11}));
}

TEST(MonitorDiscoveryTest, TwinDisplaysWithTheSameEdidTakeOneConnectorEach) {
  const auto drm = connectors({
      {"card0-DP-5", "connected", std::nullopt, {}, edid(1)},
      {"card0-DP-6", "connected", std::nullopt, {}, edid(1)},
  });
  FakeEeproms eeproms({{10, edid(1)}, {11, edid(1)}});
  EXPECT_EQ(described(discoverMonitors(drm, {{11, "DPMST", "card0"}, {10, "DPMST", "card0"}},
                                       eeproms.probe())),
            (Lines{"card0-DP-5: 11", "card0-DP-6: 10"}));
}

// The same model without a serial number on two cards (one per GPU on a
// hybrid laptop): the same EDID, two monitors. On one card it would be one
// display seen through two buses.
TEST(MonitorDiscoveryTest, TwinDisplaysOnTwoDisplayControllersAreTwoMonitors) {
  struct Case {
    const char* what;
    std::vector<ConnectorRow> rows;
    const char* adapterCard;
    Lines expected;
  };
  const Case cases[] = {
      {"the twin's connector on the other card matches it",
       {{"card0-HDMI-A-1", "connected", 3, {}, edid(1)},
        {"card1-DP-1", "connected", std::nullopt, {}, edid(1)}},
       "card1",
       {"card0-HDMI-A-1: 3", "card1-DP-1: 6"}},
      {"no connector on the other card shows its EDID",
       {{"card0-HDMI-A-1", "connected", 3, {}, edid(1)}},
       "card1",
       {"card0-HDMI-A-1: 3", "adapter 6: 6"}},
      {"on the same card, the adapter is the linked display's own",
       {{"card0-HDMI-A-1", "connected", 3, {}, edid(1)}},
       "card0",
       {"card0-HDMI-A-1: 3"}},
      {"a connector of another card is not served by the adapter",
       {{"card0-DP-5", "connected", std::nullopt, {}, edid(1)}},
       "card1",
       {"card0-DP-5:", "adapter 6: 6"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeEeproms eeproms({{6, edid(1)}});
    EXPECT_EQ(
        described(discoverMonitors(connectors(c.rows), {{6, "NVIDIA i2c adapter 1", c.adapterCard}},
                                   eeproms.probe())),
        c.expected);
  }
}

TEST(MonitorDiscoveryTest, APanelOrADisplayAlreadyReachedIsNotTakenAgainThroughAnotherAdapter) {
  const auto drm = connectors({
      {"card0-DP-1", "connected", std::nullopt, {5}, edid(1)},
      {"card0-eDP-1", "connected", std::nullopt, {2}, edid(7)},
      // A hybrid laptop's panel wired to the NVIDIA card: no link either.
      {"card1-eDP-1", "connected", std::nullopt, {}, edid(8)},
      {"card1-HDMI-A-1", "connected", std::nullopt, {}, edid(3)},
  });
  const std::vector<DisplayAdapter> adapters = {{2, "AUX A", "card0"},
                                                {6, "NVIDIA i2c adapter 1", "card1"},
                                                {7, "NVIDIA i2c adapter 2", "card1"},
                                                {8, "NVIDIA i2c adapter 3", "card1"},
                                                {9, "i915 gmbus dpb", "card0"}};
  FakeEeproms eeproms({{6, edid(8)}, {7, edid(3)}, {8, edid(7)}, {9, edid(1)}});

  EXPECT_EQ(described(discoverMonitors(drm, adapters, eeproms.probe())),
            (Lines{"card0-DP-1: 5", "card1-HDMI-A-1: 7"}));
  EXPECT_EQ(eeproms.probed(), (Buses{6, 7, 8, 9}));
}

TEST(MonitorDiscoveryTest, AnUnknownStatusCountsWhenAValidEdidAnswersOnTheConnectorsBus) {
  const auto drm = connectors({
      {"card0-DVI-D-1", "unknown", 4},
      {"card0-DP-1", "unknown", 6, {5}},
      {"card0-VGA-1", "unknown", 3},
      {"card0-eDP-1", "unknown", std::nullopt, {2}},
  });
  FakeEeproms eeproms({{2, edid(9)}, {3, edid(1)}, {5, edid(2)}});
  EXPECT_EQ(described(discoverMonitors(drm, {}, eeproms.probe())),
            (Lines{"card0-DP-1: 5 6", "card0-VGA-1: 3"}));
  // The preferred bus only, and never the panel's.
  EXPECT_EQ(eeproms.probed(), (Buses{4, 5, 3}));
}

}  // namespace
}  // namespace kelvane::linux_ddc
