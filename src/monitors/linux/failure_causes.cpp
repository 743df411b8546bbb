// SPDX-License-Identifier: MIT
#include "monitors/linux/failure_causes.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include "monitors/linux/trace.h"

namespace kelvane::linux_ddc {

using platform::FailureCause;

platform::Failure failureOf(FailureCause cause, std::string monitor, int error) {
  return platform::Failure{cause, std::move(monitor), "", static_cast<std::uint32_t>(error),
                           error != 0 ? errorText(error) : ""};
}

platform::Failure openFailure(std::string monitor, int error, bool i2cDevicesExist) {
  switch (error) {
    case EACCES:
    case EPERM:
      return failureOf(FailureCause::kAccessDenied, std::move(monitor), error);
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return failureOf(i2cDevicesExist ? FailureCause::kDeviceMissing : FailureCause::kNoI2cDevices,
                       std::move(monitor), error);
    default:
      return failureOf(FailureCause::kOpenFailed, std::move(monitor), error);
  }
}

platform::Failure exchangeFailure(std::string monitor, const VcpResult& result,
                                  bool i2cDevicesExist) {
  switch (result.outcome) {
    case VcpResult::Outcome::kDone:
      return platform::Failure{};
    case VcpResult::Outcome::kUnsupported:
      return failureOf(FailureCause::kUnsupported, std::move(monitor), 0);
    case VcpResult::Outcome::kNoValidReply: {
      platform::Failure failure =
          failureOf(FailureCause::kNoValidReply, std::move(monitor), result.lastReadError);
      if (result.lastReadError == 0) {
        failure.detail = std::string("the last reply: ") + ddcci::describe(result.lastReply);
      }
      return failure;
    }
    case VcpResult::Outcome::kBusFailed:
      break;
  }
  const int error = result.bus.error;
  switch (result.bus.failure) {
    case BusResult::Failure::kOpen:
      return openFailure(std::move(monitor), error, i2cDevicesExist);
    case BusResult::Failure::kLock:
      return failureOf(FailureCause::kBusBusy, std::move(monitor), error);
    case BusResult::Failure::kNone:
    case BusResult::Failure::kTransfer:
      break;
  }
  // Some adapters report a NAK as a plain EIO.
  if (isAddressNak(error) || error == EIO) {
    return failureOf(FailureCause::kNoAnswer, std::move(monitor), error);
  }
  return failureOf(error == ENODEV ? FailureCause::kDeviceMissing : FailureCause::kTransferFailed,
                   std::move(monitor), error);
}

}  // namespace kelvane::linux_ddc
