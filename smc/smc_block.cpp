#include "smc/smc_block.h"

void decodeSmcType(uint32_t typeCode, char (&type)[5]) {
  // The four characters as "%c%c%c%c" would print them, a NUL among them included, then a NUL.
  for (int i = 0; i < 4; ++i) type[i] = static_cast<char>((typeCode >> (24 - 8 * i)) & 0xff);
  type[4] = '\0';
}
