// SPDX-License-Identifier: MIT
#include "monitors/linux/bus_choice.h"

#include <string>

namespace kelvane::linux_ddc {
namespace {

// A failure that may mean the bus carries no DDC/CI: only on a bus that has
// never answered, since one that has carries it, and what failed now is the
// display. A bus held by another program is not dead, only busy.
bool mayCarryNoDdc(const VcpResult& result, const DisplayBus& bus) {
  return result.outcome == VcpResult::Outcome::kBusFailed &&
         result.bus.failure != BusResult::Failure::kLock && !bus.answered();
}

}  // namespace

std::vector<std::size_t> busOrder(const std::vector<DisplayBus*>& buses) {
  std::vector<std::size_t> order;
  for (const bool answered : {true, false}) {
    for (std::size_t i = 0; i < buses.size(); ++i) {
      if (buses[i]->answered() == answered) {
        order.push_back(i);
      }
    }
  }
  return order;
}

BusExchange exchangeOnAnyBus(ConnectorBuses& display,
                             const std::function<VcpResult(DisplayBus&)>& operation) {
  BusExchange first;
  for (const std::size_t i : busOrder(display.buses)) {
    DisplayBus& current = *display.buses[i];
    if (i != display.active) {
      const DisplayBus& previous = *display.buses[display.active];
      previous.trace("the display is tried on i2c-" + std::to_string(current.number()) +
                     ", the connector's other bus");
      // The same display behind another bus: its pause still holds.
      current.pacing().continueFrom(previous.pacing());
      display.active = i;
    }
    const VcpResult result = operation(current);
    if (!mayCarryNoDdc(result, current)) {
      return BusExchange{result, &current};
    }
    if (first.bus == nullptr) {
      first = BusExchange{result, &current};
    }
  }
  return first;
}

}  // namespace kelvane::linux_ddc
