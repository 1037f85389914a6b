// Ownership of the Objective-C objects the AppKit adapter keeps, written once for both ways it is
// compiled. With ARC (on the Mac) the compiler retains and releases, and each macro is nothing.
// Without ARC (against GNUstep and GCC's Objective-C runtime, which has none) each is the retain,
// release or autorelease that ARC would have made there.
#pragma once

#if __has_feature(objc_arc)
#define QUORVEL_RETAIN(object) (object)
#define QUORVEL_RELEASE(object) ((void)0)
#define QUORVEL_AUTORELEASE(object) (object)
#else
#define QUORVEL_RETAIN(object) [(object) retain]
#define QUORVEL_RELEASE(object) [(object) release]
#define QUORVEL_AUTORELEASE(object) [(object) autorelease]
#endif
