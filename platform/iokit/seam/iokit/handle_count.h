// How many IOKit objects (iterators, services, connections) the stand-in can hold and holds now:
// a test checks that the sensor side hands back every handle it was given, and what happens when
// every slot is taken.
#pragma once

#include <cstddef>

namespace iokit {

inline constexpr std::size_t kIoObjectCapacity = 64;

std::size_t liveIoObjects();

}  // namespace iokit
