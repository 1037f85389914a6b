// Mach's result type, declared as macOS declares it.
#ifndef QUORVEL_IOKIT_MACH_KERN_RETURN_H
#define QUORVEL_IOKIT_MACH_KERN_RETURN_H

typedef int kern_return_t;

#define KERN_SUCCESS 0

#endif
