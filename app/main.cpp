// The program's entry: everything is the application runner's.
#include "platform/port.h"

int main(int argc, char* argv[]) {
  return platform::applicationMain(argc, argv);
}
