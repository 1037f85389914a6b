// IOKit's object handles: every one is a Mach port name, as in user space on macOS.
#ifndef QUORVEL_IOKIT_IOKIT_IOTYPES_H
#define QUORVEL_IOKIT_IOKIT_IOTYPES_H

#include <IOKit/IOReturn.h>
#include <mach/port.h>

typedef mach_port_t io_object_t;
typedef io_object_t io_connect_t;
typedef io_object_t io_iterator_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_service_t;

#define IO_OBJECT_NULL ((io_object_t)0)

#endif
