// Read before everything else when the AppKit adapter is compiled against GNUstep's headers, for
// the syntax check and for the build that runs. It declares only what Apple's SDK has and
// GNUstep's lacks:
//   - NSTimer's tolerance property (macOS 10.9). GNUstep base 1.28 has no such method: in the
//     build that runs, the menu-bar double (recording_status_bar.mm) adds setTolerance:.
#pragma once

#import <Foundation/NSTimer.h>

@interface NSTimer (QuorvelAppleSDK)
@property NSTimeInterval tolerance;
@end
