// SPDX-License-Identifier: MIT
// The bus policy in-process, on scripted buses and a fake clock: the retry
// schedule, a refusal asked again, the lock's timeout per step, the pause
// before the lock is given back, and which of a connector's buses carries an
// exchange. Each test states what the host did to the buses, and when.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "monitors/linux/bus_choice.h"
#include "monitors/linux/display_bus.h"
#include "monitors/linux/vcp_exchange.h"
#include "scripted_buses.h"

namespace kelvane::linux_ddc {
namespace {

class BusPolicyTest : public testing::Test {
 protected:
  DisplayBus& bus(unsigned number) {
    return buses_.emplace_back(number, scripted, timing, tracer_);
  }

  FakeTiming timing;
  ScriptedBuses scripted{timing};

 private:
  Tracer tracer_;
  std::deque<DisplayBus> buses_;
};

TEST_F(BusPolicyTest, AGetIsAskedAgainWithLongerWaitsAndThePauseBetweenAttempts) {
  DisplayBus& display = bus(4);
  scripted.bus(4).replies = {nullReply(), nullReply()};

  const VcpResult result = getVcpFeature(display, 0xD6);
  EXPECT_EQ(result.outcome, VcpResult::Outcome::kDone);
  EXPECT_EQ(result.reply.present, 1);
  EXPECT_EQ(scripted.timeline(),
            (Timeline{"0 i2c-4 open", "0 i2c-4 lock", "0 i2c-4 get D6",
                      "40 i2c-4 read: null message", "90 i2c-4 get D6",
                      "170 i2c-4 read: null message", "220 i2c-4 get D6", "340 i2c-4 read"}));
}

TEST_F(BusPolicyTest, ARefusedMessageIsSentOnceMoreAfterThePauseAndNoMore) {
  struct Case {
    const char* what;
    std::deque<int> writeErrors;
    VcpResult::Outcome outcome;
    Timeline timeline;
  };
  const Case cases[] = {
      {"refused once, as by a display still waking",
       {ENXIO},
       VcpResult::Outcome::kDone,
       {"0 i2c-4 open", "0 i2c-4 lock", "0 i2c-4 set D6 4: NAK", "50 i2c-4 set D6 4"}},
      {"refused twice: DDC/CI off, or asleep",
       {EREMOTEIO, EREMOTEIO},
       VcpResult::Outcome::kBusFailed,
       {"0 i2c-4 open", "0 i2c-4 lock", "0 i2c-4 set D6 4: NAK (AUX)",
        "50 i2c-4 set D6 4: NAK (AUX)"}},
      {"a bus that fails otherwise is not asked again",
       {EIO},
       VcpResult::Outcome::kBusFailed,
       {"0 i2c-4 open", "0 i2c-4 lock", "0 i2c-4 set D6 4: EIO"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeTiming clock;
    ScriptedBuses buses(clock);
    buses.bus(4).writeErrors = c.writeErrors;
    Tracer tracer;
    DisplayBus display(4, buses, clock, tracer);
    EXPECT_EQ(setVcpFeature(display, 0xD6, 4).outcome, c.outcome);
    EXPECT_EQ(buses.timeline(), c.timeline);
  }
}

TEST_F(BusPolicyTest, AHeldLockIsWaitedForOncePerStepAndTriedAgainAtTheNext) {
  DisplayBus& display = bus(4);
  scripted.bus(4).lockedUntil = Clock::time_point{} + milliseconds{2500};

  BusResult sent = setVcpFeature(display, 0xD6, 4).bus;
  EXPECT_EQ(sent.failure, BusResult::Failure::kLock);
  EXPECT_EQ(sent.error, ETIMEDOUT);
  // The same step (a query, then a command) does not wait a second time.
  EXPECT_EQ(setVcpFeature(display, 0xD6, 4).bus.failure, BusResult::Failure::kLock);
  display.close();  // the routine sleeps between its steps
  EXPECT_TRUE(setVcpFeature(display, 0xD6, 4).ok());
  EXPECT_EQ(scripted.timeline(),
            (Timeline{"0 i2c-4 open", "2000 i2c-4 lock: timed out", "2000 i2c-4 open",
                      "2500 i2c-4 lock", "2500 i2c-4 set D6 4"}));
}

TEST_F(BusPolicyTest, TheLockIsGivenBackOnlyOnceTheDisplayMayTakeTheNextMessage) {
  DisplayBus& display = bus(4);
  EXPECT_TRUE(setVcpFeature(display, 0xD6, 4).ok());
  timing.advance(milliseconds{10});
  display.close();
  display.close();  // nothing more to give back
  EXPECT_EQ(scripted.timeline(),
            (Timeline{"0 i2c-4 open", "0 i2c-4 lock", "0 i2c-4 set D6 4", "50 i2c-4 unlock"}));
}

TEST_F(BusPolicyTest, AnotherBusOfTheConnectorTakesOverOnlyOnceItHasAnswered) {
  struct Case {
    const char* what;
    std::deque<int> preferredErrors;  // of the first writes on the preferred bus
    int preferredAlways;              // of every later one
    int otherAlways;
    bool firstOk;
    Timeline timeline;
  };
  const Case cases[] = {
      {"the preferred bus is dead, the other answers and keeps the display",
       {},
       EIO,
       0,
       true,
       {"0 i2c-5 set D6 4: EIO", "50 i2c-3 set D6 4", "100 i2c-3 set D6 1"}},
      {"the preferred bus refuses once, the other is dead",
       {EREMOTEIO},
       0,
       EIO,
       true,
       {"0 i2c-5 set D6 4: NAK (AUX)", "50 i2c-5 set D6 4", "100 i2c-5 set D6 1"}},
      {"neither answers: the preferred bus is tried first again, and its failure told",
       {},
       EREMOTEIO,
       EIO,
       false,
       {"0 i2c-5 set D6 4: NAK (AUX)", "50 i2c-5 set D6 4: NAK (AUX)", "100 i2c-3 set D6 4: EIO",
        "150 i2c-5 set D6 1: NAK (AUX)", "200 i2c-5 set D6 1: NAK (AUX)",
        "250 i2c-3 set D6 1: EIO"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeTiming clock;
    ScriptedBuses buses(clock);
    buses.bus(5).writeErrors = c.preferredErrors;
    buses.bus(5).everyWriteError = c.preferredAlways;
    buses.bus(3).everyWriteError = c.otherAlways;
    Tracer tracer;
    DisplayBus aux(5, buses, clock, tracer);
    DisplayBus ddc(3, buses, clock, tracer);
    ConnectorBuses display{{&aux, &ddc}, 0};
    const auto set = [](std::uint16_t value) {
      return [value](DisplayBus& on) { return setVcpFeature(on, 0xD6, value); };
    };

    const BusExchange first = exchangeOnAnyBus(display, set(4));
    EXPECT_EQ(first.result.ok(), c.firstOk);
    EXPECT_EQ(first.bus, c.firstOk ? display.buses[display.active] : &aux);
    exchangeOnAnyBus(display, set(1));
    Timeline messages;
    for (const std::string& entry : buses.timeline()) {
      if (entry.find(" set ") != std::string::npos) {
        messages.push_back(entry);
      }
    }
    EXPECT_EQ(messages, c.timeline);
  }
}

TEST_F(BusPolicyTest, ABusThatHasAnsweredIsNotLeftForTheOtherOnALaterFailure) {
  DisplayBus& aux = bus(5);
  DisplayBus& ddc = bus(3);
  ConnectorBuses display{{&aux, &ddc}, 0};
  const auto set = [](DisplayBus& on) { return setVcpFeature(on, 0xD6, 4); };
  EXPECT_TRUE(exchangeOnAnyBus(display, set).result.ok());
  scripted.bus(5).everyWriteError = EIO;

  const BusExchange failed = exchangeOnAnyBus(display, set);
  EXPECT_EQ(failed.result.bus.error, EIO);
  EXPECT_EQ(failed.bus, &aux);
  EXPECT_EQ(scripted.timeline(), (Timeline{"0 i2c-5 open", "0 i2c-5 lock", "0 i2c-5 set D6 4",
                                           "50 i2c-5 set D6 4: EIO"}));
}

}  // namespace
}  // namespace kelvane::linux_ddc
