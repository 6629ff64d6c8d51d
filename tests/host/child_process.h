// Starting a program as a child process for tests: its standard output on a pipe that the
// test reads, its standard error in a file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ChildProcess {
    pid_t pid = -1;
    int stdoutFd = -1;  // the read end of the child's standard output
};

// Runs args[0] with args; standard error goes to errPath. pid is -1 when it could not start.
ChildProcess StartChild(std::vector<std::string> args, const std::string &errPath);
