#include "child_process.h"

#include <fcntl.h>
#include <unistd.h>

ChildProcess StartChild(std::vector<std::string> args, const std::string &errPath) {
    ChildProcess child;
    int fds[2];
    if (pipe(fds) != 0) return child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(fds[1], 1);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        std::vector<char *> argv;
        for (std::string &arg : args) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    child.stdoutFd = fds[0];
    return child;
}
