// The one owner of the handlers for the signals that end the program (Ctrl-C,
// Ctrl-\, SIGTERM, SIGHUP). Modules push a cleanup and pop it again; when such a
// signal comes, the cleanups run, last pushed first, and the program then ends as
// the signal asks. A signal the program was started ignoring stays ignored.
#pragma once

#include <signal.h>

// Runs inside a signal handler: async-signal-safe calls only.
typedef void (*FatalSignalCleanup)();
// false when the list is full (it is small and fixed); then nothing changed.
bool PushFatalSignalCleanup(FatalSignalCleanup cleanup);
void PopFatalSignalCleanup(FatalSignalCleanup cleanup);

// Sets the handler of one signal (no SA_RESTART, so that a wait ends), the fatal
// signals blocked while it runs; the previous action goes to *previous.
void SetSignalHandler(int signal_number, void (*handler)(int), struct sigaction* previous);
// The default action, as the program ends or stops on its own.
void SetDefaultSignalAction(int signal_number);

// Between these, the fatal signals wait; they nest.
void HoldInterruptions();
void ReleaseInterruptions();
