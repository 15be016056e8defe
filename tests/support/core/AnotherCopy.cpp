// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnotherCopy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace dayvell::test {

pid_t AnotherCopyHolding(const std::string& dir, std::chrono::milliseconds holdFor, bool working) {
    // Every path is made before the fork.
    const std::string scratch = dir + "dvltemp.dvl";
    const std::string finished = dir + "finished";
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        (void)!::write(ready[1], "x", 1);
        const int out = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        constexpr long kPauseMs = 300;
        for (long left = static_cast<long>(holdFor.count()); left > 0; left -= kPauseMs) {
            const timespec pause{0, kPauseMs * 1000 * 1000};
            ::nanosleep(&pause, nullptr);
            if (working)
                (void)!::write(out, "some records\r\n", 14);
        }
        ::close(out);
        ::unlink(scratch.c_str());
        ::close(::open(finished.c_str(), O_WRONLY | O_CREAT, 0600));
        ::_exit(0);
    }
    ::close(ready[1]);
    char c;
    const bool holds = child > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    return holds ? child : -1;
}

int FinishCopy(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace dayvell::test
