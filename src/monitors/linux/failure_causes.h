// SPDX-License-Identifier: MIT
// What went wrong, in the words the seam carries up (platform::Failure):
// the errno of an open or a transfer, and the outcome of an exchange, mapped
// to the cause that the user's line names. Nothing here prints.
#pragma once

#include <string>

#include "monitors/linux/vcp_exchange.h"
#include "monitors/platform.h"

namespace kelvane::linux_ddc {

// A failure of monitor's, with the system's words for error when there is one.
platform::Failure failureOf(platform::FailureCause cause, std::string monitor, int error);

// A device node that would not open. Without any /dev/i2c-* at all
// (i2cDevicesExist false), a missing node means i2c-dev is not loaded.
platform::Failure openFailure(std::string monitor, int error, bool i2cDevicesExist);

// An exchange that did not end in kDone.
platform::Failure exchangeFailure(std::string monitor, const VcpResult& result,
                                  bool i2cDevicesExist);

}  // namespace kelvane::linux_ddc
