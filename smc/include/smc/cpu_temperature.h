// One reading of the CPU temperature from the SMC key "TC0P".
#pragma once

#include <cstdint>

// Converts the first two bytes of an "sp78" value (signed, big-endian, 8 fraction bits) into
// degrees Celsius. The two lowest bits are dropped, so the result moves in steps of 1/64 degree.
double sp78ToCelsius(uint8_t high, uint8_t low);

// Returns false, leaving temperature alone, when the SMC connection cannot be opened (the error
// line is printed then). Otherwise returns true with temperature set to the reading, to 0.0 when
// the key read failed, or left alone when the value is empty or not of type "sp78".
bool readCpuTemperature(double& temperature);
