// The IOKit user-client calls that the sensor side makes, declared with Apple's signatures.
// Off the Mac they are answered by our stand-in, whose one service is "AppleSMC" backed by the
// platform's device (see seam/iokit/smc_device.h).
#ifndef QUORVEL_IOKIT_IOKIT_IOKITLIB_H
#define QUORVEL_IOKIT_IOKIT_IOKITLIB_H

#include <IOKit/IOReturn.h>
#include <IOKit/IOTypes.h>
#include <mach/mach_types.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Core Foundation's dictionary references, opaque here: a matching description is only ever
// built by IOServiceMatching and handed to IOServiceGetMatchingServices.
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;

extern const mach_port_t kIOMasterPortDefault;

kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t* masterPort);

// Returns a new matching description for services of the class, or NULL.
CFMutableDictionaryRef IOServiceMatching(const char* name);

// Takes over (releases) the matching description, whatever the outcome.
kern_return_t IOServiceGetMatchingServices(mach_port_t masterPort, CFDictionaryRef matching,
                                           io_iterator_t* existing);

io_object_t IOIteratorNext(io_iterator_t iterator);

kern_return_t IOObjectRelease(io_object_t object);

kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t* connect);

kern_return_t IOServiceClose(io_connect_t connect);

kern_return_t IOConnectCallStructMethod(mach_port_t connection, uint32_t selector,
                                        const void* inputStruct, size_t inputStructCnt,
                                        void* outputStruct, size_t* outputStructCnt);

#ifdef __cplusplus
}
#endif

#endif
