// SPDX-License-Identifier: MIT
// One display bus as a run uses it: /dev/i2c-N, the lock that shares it with
// other processes, and the pacing of the display behind it. The run keeps it
// from first use to its end, across the Monitors objects of one run (a query
// and then a command), so that the pause after the last message is kept
// however the handles come and go. A run that sleeps between its steps (the
// test routine) closes the device meanwhile and opens it again afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "monitors/linux/ddc_pacing.h"
#include "monitors/linux/edid.h"
#include "monitors/linux/i2c_device.h"
#include "monitors/linux/pause_keeper.h"
#include "monitors/linux/trace.h"

namespace kelvane::linux_ddc {

// Where an operation on the bus stopped, and why.
struct BusResult {
  enum class Failure {
    kNone,
    kOpen,      // error: the errno of the open
    kLock,      // error: ETIMEDOUT, another program kept the bus, or flock's errno
    kTransfer,  // error: the errno of the I2C transfer
  };
  Failure failure = Failure::kNone;
  int error = 0;
  std::size_t bytes = 0;
  bool ok() const { return failure == Failure::kNone; }
};

class DisplayBus {
 public:
  DisplayBus(unsigned number, I2cDevices& devices, Timing& timing, const Tracer& tracer)
      : number_(number), devices_(&devices), timing_(&timing), tracer_(&tracer), pacing_(timing) {}
  // Gives the lock back once the display may take the next message.
  ~DisplayBus();
  DisplayBus(const DisplayBus&) = delete;
  DisplayBus& operator=(const DisplayBus&) = delete;
  DisplayBus(DisplayBus&&) = delete;
  DisplayBus& operator=(DisplayBus&&) = delete;

  unsigned number() const { return number_; }

  // Opens the device node on first use; later calls report that outcome
  // until the bus is closed. Opened again after close(), it must still be
  // the adapter it was: one that took the number of an unplugged adapter
  // fails with ENODEV, untouched.
  BusResult open();
  // Gives the lock back once the display may take the next message, and
  // closes the device, so that the kernel may remove the adapter (a dock
  // unplugged, a driver unbound) while the run sleeps. What the run learnt
  // of the bus stays: whether it answered, how to transfer, the pacing. The
  // next step opens it again and tries the lock again.
  void close();

  // A DDC/CI message to the display (0x37), after the pause it is owed.
  BusResult send(const std::uint8_t* bytes, std::size_t size);
  // Waits the reply time, then reads the display's reply.
  BusResult receive(std::uint8_t* bytes, std::size_t size, milliseconds replyWait);

  // The EDID at 0x50. Sends nothing to 0x37 and gives the lock back at once.
  std::optional<EdidBlock> readEdid();

  // Lets other programs use the bus once the display may take the next
  // message; the next message takes the lock again.
  void release();
  // Traces what the end of the run will wait for, while a trace still listens.
  void traceRelease() const;

  // The pause still owed before the lock may be given back, while the lock
  // is held; unset when nothing is owed.
  std::optional<OwedPause> owedPause() const;
  // At the end of a run whose owed pause another process now keeps: closes
  // the device without giving the lock back (it belongs to the open file,
  // which that process shares).
  void handOver();

  // One line of the trace about this bus, when a trace listens.
  void trace(const std::string& text) const;

  // Whether a DDC/CI message or an EDID read went through on this bus in
  // this run: the display is known to answer there.
  bool answered() const { return answered_; }

  DdcPacing& pacing() { return pacing_; }
  const DdcPacing& pacing() const { return pacing_; }

 private:
  BusResult acquire();
  // Sleeps until the display may take the next message, saying so in the trace.
  void keepPause() const;
  void traceTransfer(const char* what, std::uint8_t address, const std::uint8_t* bytes,
                     const TransferResult& result, bool wasPlain) const;

  unsigned number_;
  I2cDevices* devices_;
  Timing* timing_;
  const Tracer* tracer_;
  DdcPacing pacing_;
  std::unique_ptr<I2cDevice> device_;
  std::optional<BusResult> opened_;
  std::optional<BusResult> lockFailure_;
  std::optional<std::string> identity_;
  bool locked_ = false;
  bool answered_ = false;
  bool plainTransfers_ = false;
};

}  // namespace kelvane::linux_ddc
