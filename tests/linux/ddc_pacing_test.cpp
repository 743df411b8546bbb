// SPDX-License-Identifier: MIT
#include "monitors/linux/ddc_pacing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fake_timing.h"
#include "monitors/linux/bus_lock.h"
#include "monitors/linux/unique_fd.h"

namespace kelvane::linux_ddc {
namespace {

using Sleeps = std::vector<milliseconds>;

TEST(DdcPacingTest, TheNextMessageWaitsOnlyWhatIsLeftOfTheGap) {
  FakeTiming timing;
  DdcPacing pacing(timing);
  EXPECT_EQ(pacing.quietFrom(), std::nullopt);
  pacing.beforeMessage();  // a display nobody has spoken to takes a message at once
  EXPECT_EQ(timing.takeSleeps(), Sleeps{});

  pacing.exchangeEnded();
  timing.advance(milliseconds{30});
  pacing.beforeMessage();
  EXPECT_EQ(timing.takeSleeps(), Sleeps{milliseconds{20}});

  pacing.exchangeEnded();
  timing.advance(milliseconds{80});
  pacing.beforeMessage();  // a gap already past costs nothing
  EXPECT_EQ(timing.takeSleeps(), Sleeps{});
  pacing.awaitReply(kReplyDelay);
  EXPECT_EQ(timing.takeSleeps(), Sleeps{kReplyDelay});
}

TEST(DdcPacingTest, AnotherBusToTheSameDisplayTakesOverTheLaterExchange) {
  FakeTiming timing;
  DdcPacing first(timing);
  DdcPacing second(timing);
  second.exchangeEnded();
  timing.advance(milliseconds{10});
  first.exchangeEnded();
  second.continueFrom(first);
  EXPECT_EQ(second.quietFrom(), timing.now() + kMessageGap);
  timing.advance(milliseconds{10});
  first.continueFrom(DdcPacing(timing));  // nothing to take over
  EXPECT_EQ(first.quietFrom(), timing.now() - milliseconds{10} + kMessageGap);
}

class BusLockTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvane-lock-XXXXXX";
    const UniqueFd created(mkstemp(pattern));
    ASSERT_GE(created.get(), 0);
    path_ = pattern;
  }
  void TearDown() override { unlink(path_.c_str()); }
  UniqueFd openIt() const { return UniqueFd(open(path_.c_str(), O_RDWR | O_CLOEXEC)); }

  std::string path_;
};

TEST_F(BusLockTest, AHeldLockIsWaitedForUntilTheTimeoutAndNoLonger) {
  FakeTiming timing;
  const UniqueFd holder = openIt();
  const UniqueFd waiter = openIt();
  ASSERT_EQ(lockExclusively(holder.get(), kLockTimeout, timing), 0);
  EXPECT_EQ(timing.takeSleeps(), Sleeps{});

  const Clock::time_point start = timing.now();
  EXPECT_EQ(lockExclusively(waiter.get(), kLockTimeout, timing), ETIMEDOUT);
  EXPECT_GE(timing.now() - start, kLockTimeout);
  EXPECT_LE(timing.now() - start, kLockTimeout + milliseconds{1});

  unlock(holder.get());
  EXPECT_EQ(lockExclusively(waiter.get(), kLockTimeout, timing), 0);
}

TEST_F(BusLockTest, AnUnusableDescriptorFailsAtOnce) {
  FakeTiming timing;
  EXPECT_EQ(lockExclusively(-1, kLockTimeout, timing), EBADF);
  EXPECT_EQ(timing.takeSleeps(), Sleeps{});
}

}  // namespace
}  // namespace kelvane::linux_ddc
