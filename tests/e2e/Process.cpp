#include "Process.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vexa::e2e {

namespace {

// Owns one file descriptor.
class Descriptor {
public:
    Descriptor() = default;
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd; }
    int* put() { return &fd; }
    void reset() {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }

private:
    int fd = -1;
};

struct Pipe {
    Descriptor readEnd;
    Descriptor writeEnd;
};

bool openPipe(Pipe& pipe) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    *pipe.readEnd.put() = ends[0];
    *pipe.writeEnd.put() = ends[1];
    return fcntl(ends[0], F_SETFL, O_NONBLOCK) == 0;
}

// Appends what can be read now; false once the stream has ended.
bool drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count > 0) {
            into.append(buffer, static_cast<std::size_t>(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
}

void addSink(posix_spawn_file_actions_t& actions, Sink sink, const Pipe& pipe, int descriptor) {
    switch (sink) {
    case Sink::Pipe:
    case Sink::DeadPipe:
    case Sink::ReaderQuits:
        posix_spawn_file_actions_adddup2(&actions, pipe.writeEnd.get(), descriptor);
        break;
    case Sink::FullDevice:
        posix_spawn_file_actions_addopen(&actions, descriptor, "/dev/full", O_WRONLY, 0);
        break;
    case Sink::Closed:
        posix_spawn_file_actions_addclose(&actions, descriptor);
        break;
    }
}

// Closes the reader's end of the pipe of a sink whose reader goes away at `moment`.
void dropReader(Sink sink, Sink moment, Pipe& pipe) {
    if (sink == moment) {
        pipe.readEnd.reset();
    }
}

std::vector<char*> nullTerminated(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& s : strings) {
        pointers.push_back(const_cast<char*>(s.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                         const std::string& workingDirectory, std::chrono::milliseconds timeLimit, Sink out,
                         Sink err, bool pipeSignalBlocked) {
    ProcessResult result;
    Pipe outPipe;
    Pipe errPipe;
    if (!openPipe(outPipe) || !openPipe(errPipe)) {
        result.spawnError = std::string("pipe: ") + std::strerror(errno);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    addSink(actions, out, outPipe, 1);
    addSink(actions, err, errPipe, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (pipeSignalBlocked) {
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGPIPE);
        posix_spawnattr_setsigmask(&attributes, &mask);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    const std::vector<char*> argv = nullTerminated(command);
    const std::vector<char*> envp = nullTerminated(environment);
    pid_t pid = -1;
    dropReader(out, Sink::DeadPipe, outPipe);
    dropReader(err, Sink::DeadPipe, errPipe);
    const int spawnError = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    dropReader(out, Sink::ReaderQuits, outPipe);
    dropReader(err, Sink::ReaderQuits, errPipe);
    outPipe.writeEnd.reset();
    errPipe.writeEnd.reset();
    if (spawnError != 0) {
        result.spawnError = command[0] + ": " + std::strerror(spawnError);
        return result;
    }

    // The exit of the program, not the end of its streams, ends the wait: under Wine,
    // helper processes that the first program starts inherit the pipes and keep them
    // open for seconds after the program itself has gone.
    std::array<pollfd, 2> streams{{{outPipe.readEnd.get(), POLLIN, 0}, {errPipe.readEnd.get(), POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&result.out, &result.err};
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    int waitStatus = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            waitpid(pid, &waitStatus, 0);
            break;
        }
        poll(streams.data(), streams.size(), static_cast<int>(std::min<long long>(left.count(), 10)));
        for (std::size_t i = 0; i < streams.size(); ++i) {
            if (streams[i].fd >= 0 && streams[i].revents != 0 && !drain(streams[i].fd, *sinks[i])) {
                streams[i].fd = -1;
            }
        }
        if (waitpid(pid, &waitStatus, WNOHANG) == pid) {
            break;
        }
    }
    // Whatever the program wrote before it ended is in the pipes now.
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (streams[i].fd >= 0) {
            drain(streams[i].fd, *sinks[i]);
        }
    }
    if (WIFEXITED(waitStatus)) {
        result.status = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
        result.signal = WTERMSIG(waitStatus);
    }
    return result;
}

} // namespace vexa::e2e
