#include "smc/cpu_temperature.h"

#include <cstring>

#include "smc/smc_connection.h"

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
