#include "monitors/linux/drm_connectors.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace kelvane::linux_ddc {
namespace {

// A throwaway directory laid out like /sys/class/drm.
class FakeDrmClass {
 public:
  FakeDrmClass() {
    char pattern[] = "/tmp/kelvane-drm-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      root_ = pattern;
    }
  }
  ~FakeDrmClass() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  FakeDrmClass(const FakeDrmClass&) = delete;
  FakeDrmClass& operator=(const FakeDrmClass&) = delete;
  FakeDrmClass(FakeDrmClass&&) = delete;
  FakeDrmClass& operator=(FakeDrmClass&&) = delete;

  const std::string& root() const { return root_; }

  void connector(const std::string& name, const std::string& status) {
    directory(name);
    std::ofstream(root_ + "/" + name + "/status") << status << "\n";
  }
  void directory(const std::string& relative) { mkdir((root_ + "/" + relative).c_str(), 0755); }
  void file(const std::string& relative) { std::ofstream(root_ + "/" + relative) << "1\n"; }
  void link(const std::string& relative, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (root_ + "/" + relative).c_str()), 0);
  }

 private:
  std::string root_;
};

using Found = std::vector<std::pair<std::string, std::optional<unsigned>>>;

Found found(const std::string& root) {
  Found result;
  for (const DrmConnector& connector : findConnectedConnectors(root)) {
    result.emplace_back(connector.name, connector.ddcBus);
  }
  return result;
}

TEST(DrmConnectorsTest, FindsConnectedConnectorsWithTheirBusInCardThenNaturalOrder) {
  FakeDrmClass drm;
  ASSERT_FALSE(drm.root().empty());
  drm.connector("card10-DP-1", "connected");
  drm.directory("card10-DP-1/i2c-12");
  drm.connector("card2-DP-10", "connected");
  drm.link("card2-DP-10/ddc", "../../../i2c-7");
  drm.connector("card2-DP-2", "connected");
  drm.directory("card2-DP-2/i2c-9");
  drm.directory("card2-DP-2/power");
  drm.connector("card0-HDMI-A-1", "connected");
  drm.link("card0-HDMI-A-1/ddc", "../../../i2c-3");
  drm.connector("card0-eDP-1", "connected");  // a panel with no DDC bus
  drm.connector("card0-HDMI-A-2", "disconnected");
  drm.link("card0-HDMI-A-2/ddc", "../../../i2c-4");
  drm.connector("card0-DP-3", "unknown");
  drm.directory("card0-DP-3/i2c-8");
  // Entries that are not connectors at all.
  drm.directory("card0");
  drm.directory("renderD128");
  drm.file("version");

  EXPECT_EQ(found(drm.root()), (Found{
                                   {"card0-HDMI-A-1", 3},
                                   {"card0-eDP-1", std::nullopt},
                                   {"card2-DP-2", 9},
                                   {"card2-DP-10", 7},
                                   {"card10-DP-1", 12},
                               }));
}

TEST(DrmConnectorsTest, AMalformedBusNameTiesNoBus) {
  FakeDrmClass drm;
  ASSERT_FALSE(drm.root().empty());
  drm.connector("card0-DP-1", "connected");
  drm.link("card0-DP-1/ddc", "../../../i2c-03");
  drm.connector("card0-DP-2", "connected");
  drm.link("card0-DP-2/ddc", "../../../spi-2");
  drm.connector("card0-DP-3", "connected");
  drm.directory("card0-DP-3/i2c-x");

  EXPECT_EQ(found(drm.root()), (Found{{"card0-DP-1", std::nullopt},
                                      {"card0-DP-2", std::nullopt},
                                      {"card0-DP-3", std::nullopt}}));
}

TEST(DrmConnectorsTest, AMissingDirectoryHasNoConnector) {
  EXPECT_EQ(found("/nonexistent/kelvane/drm"), Found{});
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
