#pragma once

// Ending a program cleanly on SIGINT, SIGTERM and SIGHUP. Qt-free, so that hh uses it too.
//
// The first signal is only recorded. The program notices it at its next wait (the office
// worker's answer, a child program, the next document or file), unwinds through its normal
// error path, so that every destructor removes what it made, and ends with exitStatus().
// A second signal does not wait for that: it removes the registered temporary files and
// ends the process at once with the same status.
#include <stop_token>

namespace zelbrin::interruption {

void install();
// The signal received, 0 while none came.
int received();
inline bool requested() { return received() != 0; }
// True as well when the work's own caller asked it to stop (a build's Cancel): work ends
// through the same path on either.
inline bool requested(const std::stop_token &stop) { return requested() || stop.stop_requested(); }
// 128 + the signal number, as a shell reports a process ended by that signal.
int exitStatus();

// A file (a name relative to dirFd, as for unlinkat) that a second signal removes. The
// registration ends with the object; removing the file in the normal way is the owner's.
class TemporaryFile {
public:
    TemporaryFile(int dirFd, const char *name);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

private:
    int slot_ = -1;
};

}  // namespace zelbrin::interruption
