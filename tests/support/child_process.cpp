#include "support/child_process.h"

#include <fcntl.h>
#include <unistd.h>

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           int outputFd, int extraFd)
    : child_([&] {
        const int null = open("/dev/null", O_RDWR);
        dup2(outputFd >= 0 ? outputFd : null, 1);
        dup2(null, 2);
        if (extraFd >= 0) fcntl(extraFd, F_SETFD, 0);
        applyEnvironment(environment);
        return execute(argv);
      }) {}
