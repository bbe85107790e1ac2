#include "tmpfile.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "utils.h"

namespace {

constexpr std::array<int, 3> INTERRUPTS = {SIGINT, SIGTERM, SIGHUP};

// The file the handler removes. It is set and cleared only while the
// handled signals are held back, so the handler finds either no name or
// the name of a file this process made and has not yet given away: never
// a final output, never someone else's file.
char registered[PATH_BUF_SIZE];
volatile std::sig_atomic_t registered_set = 0;

// The thread that installed the handler: the only one that registers.
thread_local bool handler_thread = false;

sigset_t interrupt_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : INTERRUPTS)
        sigaddset(&set, sig);
    return set;
}

// Async-signal-safe calls only: the process may be anywhere.
void on_interrupt(int sig) {
    if (registered_set) unlink(registered);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig); // ends the process with the signal's status
    _exit(128 + sig);
}

// On the handler's thread, holds the handled signals back for its lifetime
// and keeps errno; elsewhere does nothing.
class registration_guard {
public:
    registration_guard() : active(handler_thread) {
        if (!active) return;
        sigset_t set = interrupt_set();
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~registration_guard() {
        if (!active) return;
        int saved = errno;
        sigprocmask(SIG_SETMASK, &old, nullptr);
        errno = saved;
    }
    registration_guard(const registration_guard &) = delete;
    registration_guard &operator=(const registration_guard &) = delete;

    void set(const char *path) {
        if (!active) return;
        path_copy(registered, sizeof registered, path);
        registered_set = 1;
    }
    void clear() {
        if (active) registered_set = 0;
    }

private:
    bool active;
    sigset_t old;
};

} // namespace

void interrupts_install() {
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sa.sa_mask = interrupt_set(); // one cleanup at a time
    for (int sig : INTERRUPTS) {
        struct sigaction old {};
        // Ignored at start (nohup, a background job of a script): stays so.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &sa, nullptr);
    }
    handler_thread = true;
}

int tmpfile_name(char *buf, std::size_t size, const char *final_name) {
    path_copy(buf, size, final_name);
    return filename_add_ext(buf, size, "XXXXXX");
}

int tmpfile_create(char *tmp) {
    registration_guard guard;
    if (file_create_temp(tmp) != 0) return -1;
    guard.set(tmp);
    return 0;
}

int tmpfile_remove(const char *path) {
    registration_guard guard;
    int rc = unlink(path);
    guard.clear();
    return rc;
}

int tmpfile_commit(const char *tmp, const char *final_name, output_rule rule,
                   bool still_temporary) {
    registration_guard guard;
    int rc =
        rule == output_rule::replace ? rename(tmp, final_name) : rename_noreplace(tmp, final_name);
    if (rc == 0 && still_temporary)
        guard.set(final_name);
    else
        guard.clear();
    return rc;
}

void tmpfile_keep() {
    registration_guard guard;
    guard.clear();
}
