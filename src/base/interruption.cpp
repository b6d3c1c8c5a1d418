#include "interruption.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zelbrin::interruption {
namespace {

std::atomic<int> g_signal{0};

// Slots the handler may read at any moment: a slot is filled while Filling and only
// looked at once Ready, so the handler never sees half a name.
enum SlotState : int { Free, Filling, Ready };
struct Slot {
    std::atomic<int> state{Free};
    int dirFd = AT_FDCWD;
    char name[PATH_MAX] = {};
};
constexpr int kSlots = 16;
Slot g_slots[kSlots];

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

void onSignal(int signal) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal))
        return;
    for (Slot &s : g_slots)
        if (s.state.load() == Ready)
            ::unlinkat(s.dirFd, s.name, 0);
    ::_exit(128 + g_signal.load());
}

}  // namespace

void install() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Waits restart; the program notices the flag in its polling loops.
    action.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

int received() { return g_signal.load(); }

int exitStatus() { return 128 + g_signal.load(); }

TemporaryFile::TemporaryFile(int dirFd, const char *name) {
    if (std::strlen(name) >= PATH_MAX)
        return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (g_slots[i].state.compare_exchange_strong(expected, Filling)) {
            g_slots[i].dirFd = dirFd;
            std::strcpy(g_slots[i].name, name);
            g_slots[i].state.store(Ready);
            slot_ = i;
            return;
        }
    }
}

TemporaryFile::~TemporaryFile() {
    if (slot_ >= 0)
        g_slots[slot_].state.store(Free);
}

}  // namespace zelbrin::interruption
