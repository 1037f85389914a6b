// One reading of the CPU temperature from the SMC key "TC0P".
#pragma once

#include "smc/smc_block.h"  // sp78ToCelsius

// Returns false, leaving temperature alone, when the SMC connection cannot be opened (the error
// line is printed then). Otherwise returns true with temperature set to the reading, to 0.0 when
// the key read failed, or left alone when the value is empty or not of type "sp78".
bool readCpuTemperature(double& temperature);
