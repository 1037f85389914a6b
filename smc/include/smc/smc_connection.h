// The connection to the SMC service and the two-phase key read over it.
#pragma once

#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <string_view>

#include "smc/smc_block.h"

// The one process-wide connection: written by a successful openSmcConnection, used by every
// exchange, handed back by closeSmcConnection (which leaves the value as it was).
extern io_connect_t smcConnection;

// Returns 0 when smcConnection holds an open connection, else prints one "Error: ..." line to
// standard output and returns 1.
int openSmcConnection();

// Closes smcConnection and returns the platform's status of the close.
kern_return_t closeSmcConnection();

// One exchange of 80-byte blocks with the service's struct method `selector`.
kern_return_t callSmcStruct(uint32_t selector, const SmcParamBlock& request, SmcParamBlock& reply);

// Reads the key into value: key information first, then its bytes. Returns 0, or the status of
// the exchange that failed; value then holds what the steps before the failure wrote.
kern_return_t fetchSmcValue(std::string_view key, SmcValueRecord& value);
