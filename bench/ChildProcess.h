#pragma once
// Benchmarks that measure one case per process, so that a case's peak memory is its own and no
// earlier case's allocator pools count (POSIX only).

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <type_traits>

namespace bench {

// Runs measure(result) in a child process and brings result (trivially copyable) back through a
// pipe; false when measure fails or the child does not end normally.
template <class T, class Measure>
bool InChildProcess(Measure measure, T& result) {
    static_assert(std::is_trivially_copyable_v<T>);
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        T measured{};
        const bool ok = measure(measured) && write(fds[1], &measured, sizeof measured) ==
                                                 static_cast<ssize_t>(sizeof measured);
        std::_Exit(ok ? 0 : 1);
    }
    close(fds[1]);
    const bool read =
        child > 0 && ::read(fds[0], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
    close(fds[0]);
    int status = 0;
    const bool exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                        WEXITSTATUS(status) == 0;
    return read && exited;
}

}  // namespace bench
