// The line on standard error, made here alone: the one file of the port besides the streams' that
// names standard error.
#include <unistd.h>

#include "appkit/line_status_bar.h"
#include "appkit/run_loop.h"

namespace appkit {

std::unique_ptr<LineStatusBar> makeStandardErrorLine(const StandardStreams& streams,
                                                     RunLoop& loop) {
  // A status bar whose reader has gone away (the bar closed the pipe) has nothing left to show:
  // the application ends, as it would on a hangup.
  return std::make_unique<LineStatusBar>(streams, STDERR_FILENO, [&loop] { loop.stop(); });
}

}  // namespace appkit
