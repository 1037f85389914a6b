// Read before everything else when the AppKit adapter is checked against GNUstep's headers. It
// declares only what Apple's SDK has and GNUstep's lacks:
//   - NSTimer's tolerance property (macOS 10.9).
// Nothing is compiled from it: the check reads declarations, it links and runs nothing.
#pragma once

#import <Foundation/NSTimer.h>

@interface NSTimer (QuorvelAppleSDK)
@property NSTimeInterval tolerance;
@end
