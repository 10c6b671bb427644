// Ctrl-C (SIGINT) and SIGTERM stop the host at once: the handler only notes the signal, the
// runner stops between two frames (a frame takes microseconds), the working folder is cleaned
// up, and the host then ends by that same signal, so a shell or a script sees how it ended.
// The handlers are in place before any library starts (SDL's audio would otherwise install its
// own, which swallow these signals), and a second signal ends the host outright.
#pragma once

namespace host {

void install_stop_signal_handlers();

// The signal that asked the host to stop, or 0.
int stop_signal();

// Ends the process by the signal that asked it to stop (its default action); returns when no
// signal came.
void end_by_stop_signal();

}  // namespace host
