#include "smc/smc_block.h"

#include <cstdio>

void decodeSmcType(uint32_t typeCode, char (&type)[5]) {
  std::snprintf(type, sizeof type, "%c%c%c%c", static_cast<int>((typeCode >> 24) & 0xff),
                static_cast<int>((typeCode >> 16) & 0xff), static_cast<int>((typeCode >> 8) & 0xff),
                static_cast<int>(typeCode & 0xff));
}
