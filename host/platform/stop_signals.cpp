#include "host/platform/stop_signals.h"

#include <csignal>
#include <initializer_list>

namespace host {

namespace {

volatile std::sig_atomic_t received_signal = 0;

extern "C" void note_stop_signal(int signal_number) {
  received_signal = signal_number;
}

}  // namespace

#if defined(_WIN32)
// Windows delivers Ctrl-C (SIGINT) and a termination request through the C runtime's signal(),
// which is one-shot there too.
void install_stop_signal_handlers() {
  for (const int signal_number : {SIGINT, SIGTERM}) std::signal(signal_number, &note_stop_signal);
}
#else
void install_stop_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = &note_stop_signal;
  sigemptyset(&action.sa_mask);
  // One-shot: after the first signal the default action is back, so a second one ends the host
  // even if something keeps it from reaching the next frame.
  action.sa_flags = SA_RESETHAND;
  for (const int signal_number : {SIGINT, SIGTERM}) {
    // A signal the host was started to ignore (nohup, a background job of a script) stays
    // ignored.
    struct sigaction inherited {};
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
      continue;
    sigaction(signal_number, &action, nullptr);
  }
}
#endif

int stop_signal() {
  return received_signal;
}

void end_by_stop_signal() {
  const int signal_number = received_signal;
  if (signal_number == 0) return;
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace host
