// The running task's port. Off the Mac there is one task, this process, and its port is a
// constant handle that the IOKit stand-in accepts as the owner of a connection.
#ifndef QUORVEL_IOKIT_MACH_MACH_INIT_H
#define QUORVEL_IOKIT_MACH_MACH_INIT_H

#include <mach/mach_types.h>

#ifdef __cplusplus
extern "C" {
#endif

extern mach_port_t mach_task_self_;
#define mach_task_self() mach_task_self_

#ifdef __cplusplus
}
#endif

#endif
