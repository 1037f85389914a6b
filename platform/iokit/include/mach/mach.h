// The part of <mach/mach.h> that the sensor side uses.
#ifndef QUORVEL_IOKIT_MACH_MACH_H
#define QUORVEL_IOKIT_MACH_MACH_H

#include <mach/kern_return.h>
#include <mach/mach_init.h>
#include <mach/mach_types.h>
#include <mach/port.h>

#endif
