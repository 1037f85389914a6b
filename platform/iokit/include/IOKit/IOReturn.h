// IOKit's status codes, with the values macOS gives them: the IOKit system (0x38) in the top
// six bits and the common subsystem (0), so that a status prints as on a Mac (0xe00002c2 ...).
#ifndef QUORVEL_IOKIT_IOKIT_IORETURN_H
#define QUORVEL_IOKIT_IOKIT_IORETURN_H

#include <mach/kern_return.h>

typedef kern_return_t IOReturn;

#define sys_iokit (((0x38) & 0x3f) << 26)
#define sub_iokit_common 0
#define iokit_common_err(return ) ((IOReturn)(sys_iokit | sub_iokit_common | (return )))

#define kIOReturnSuccess KERN_SUCCESS
#define kIOReturnError iokit_common_err(0x2bc)
#define kIOReturnNoMemory iokit_common_err(0x2bd)
#define kIOReturnNoResources iokit_common_err(0x2be)
#define kIOReturnIPCError iokit_common_err(0x2bf)
#define kIOReturnNoDevice iokit_common_err(0x2c0)
#define kIOReturnNotPrivileged iokit_common_err(0x2c1)
#define kIOReturnBadArgument iokit_common_err(0x2c2)
#define kIOReturnExclusiveAccess iokit_common_err(0x2c5)
#define kIOReturnUnsupported iokit_common_err(0x2c7)
#define kIOReturnInternalError iokit_common_err(0x2c9)
#define kIOReturnIOError iokit_common_err(0x2ca)
#define kIOReturnNotOpen iokit_common_err(0x2cd)
#define kIOReturnNotReadable iokit_common_err(0x2ce)
#define kIOReturnBusy iokit_common_err(0x2d5)
#define kIOReturnTimeout iokit_common_err(0x2d6)
#define kIOReturnOffline iokit_common_err(0x2d7)
#define kIOReturnNotReady iokit_common_err(0x2d8)
#define kIOReturnNotAttached iokit_common_err(0x2d9)
#define kIOReturnNotPermitted iokit_common_err(0x2e2)
#define kIOReturnDeviceError iokit_common_err(0x2e9)
#define kIOReturnNotResponding iokit_common_err(0x2ed)
#define kIOReturnNotFound iokit_common_err(0x2f0)
#define kIOReturnInvalid iokit_common_err(0x1)

#endif
