// Mach port names, declared with the types macOS gives them.
#ifndef QUORVEL_IOKIT_MACH_PORT_H
#define QUORVEL_IOKIT_MACH_PORT_H

typedef unsigned int natural_t;
typedef natural_t mach_port_name_t;
typedef mach_port_name_t mach_port_t;

#define MACH_PORT_NULL ((mach_port_t)0)

#endif
