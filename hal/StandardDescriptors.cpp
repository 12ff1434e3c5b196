#include "StandardDescriptors.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace vexa::templates::platform {

void reserveStandardDescriptors() {
#ifndef _WIN32
    // Standard output read-only: see the header. Standard error writes into the void.
    constexpr int kModes[] = {O_RDONLY, O_RDONLY, O_WRONLY};
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1) {
            // It takes the lowest free number, which is this one: the lower ones are open.
            // openat() as elsewhere in the tool: one libc function less to bind at start.
            openat(AT_FDCWD, "/dev/null", kModes[descriptor]);
        }
    }
#endif
}

void ignoreBrokenPipes() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void ignoreFileSizeLimitSignal() {
#ifndef _WIN32
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool isBrokenPipe([[maybe_unused]] int error) {
#ifdef _WIN32
    return false;
#else
    return error == EPIPE;
#endif
}

void endByBrokenPipe() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_DFL);
    // A mask inherited from the caller would hold the signal back.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigprocmask(SIG_UNBLOCK, &pipeSignal, nullptr);
    std::raise(SIGPIPE);
#endif
}

} // namespace vexa::templates::platform
