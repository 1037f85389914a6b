#include "smc/cpu_temperature.h"

#include <cstring>

#include "smc/smc_connection.h"

double sp78ToCelsius(uint8_t high, uint8_t low) {
  const int raw = static_cast<int8_t>(high) * 256 + low;
  return static_cast<double>(raw >> 2) * 0.015625;
}

bool readCpuTemperature(double& temperature) {
  if (openSmcConnection() != 0) return false;

  SmcValueRecord value;
  if (fetchSmcValue("TC0P", value) != kIOReturnSuccess) {
    temperature = 0.0;
  } else if (value.dataSize != 0 && std::strcmp(value.dataType, "sp78") == 0) {
    temperature = sp78ToCelsius(value.bytes[0], value.bytes[1]);
  }

  closeSmcConnection();
  return true;
}
