// SPDX-License-Identifier: MIT
// Which of a connector's buses carries an exchange with its display. A
// DisplayPort connector may name two (its AUX channel, and a `ddc` adapter
// beside it), and one of them may not carry DDC/CI at all: on amdgpu the
// `ddc` adapter is a separate hardware bus that fails every transfer on USB4
// links. So the preferred bus is tried first, the other one when a message
// fails on a bus that has never answered; and a bus that has answered in the
// run is never put behind one that has not. One failure alone sets no bus
// aside for the rest of the run: a display still waking may refuse once.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "monitors/linux/display_bus.h"
#include "monitors/linux/vcp_exchange.h"

namespace kelvane::linux_ddc {

// One display's buses, preferred first, and the one its last exchange went to.
struct ConnectorBuses {
  std::vector<DisplayBus*> buses;
  std::size_t active = 0;
};

// What an exchange came to, and the bus that a failure names: the first one
// tried, whose failure says more than that of a bus that may carry no DDC/CI.
struct BusExchange {
  VcpResult result;
  DisplayBus* bus = nullptr;
};

// The order to try the buses in: those that answered, then the others, each
// group in the order of preference.
std::vector<std::size_t> busOrder(const std::vector<DisplayBus*>& buses);

// Runs operation on the buses in that order until one is not a bus that may
// carry no DDC/CI. The display's pacing follows it from bus to bus.
BusExchange exchangeOnAnyBus(ConnectorBuses& display,
                             const std::function<VcpResult(DisplayBus&)>& operation);

}  // namespace kelvane::linux_ddc
