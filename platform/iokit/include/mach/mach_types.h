// The task port types of Mach, as macOS declares them.
#ifndef QUORVEL_IOKIT_MACH_MACH_TYPES_H
#define QUORVEL_IOKIT_MACH_MACH_TYPES_H

#include <mach/port.h>

typedef mach_port_t task_t;
typedef mach_port_t task_port_t;

#endif
