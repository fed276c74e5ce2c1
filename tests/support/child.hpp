// Runs a piece of a test in a child process of its own, within a time
// limit, with the limits a case needs: a file-size limit (a full disk as a
// writer sees it), the file-size signal ignored (as a host would have it),
// or the rights of an ordinary user (so that mode bits apply under root).
// Nothing a child does can hang the test: at the limit its whole process
// group is killed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kav::test {

struct ChildSetup {
    int64_t file_size_limit = -1;   // RLIMIT_FSIZE in bytes; -1: none
    bool ignore_file_size_signal = false;
    bool unprivileged = false;      // run as user and group 65534 when root
    std::vector<std::pair<std::string, std::string>> env;  // set in the child
};

struct ChildEnd {
    bool in_time = false;  // ended by itself within the limit
    int status = -1;       // exit status, or 128 + the signal that ended it
    std::string err;       // what it wrote to standard error
};

// `body` runs in the child; its return value is the child's exit status.
// `tick`, when given, is called about every millisecond in the parent while
// the child runs, with the child's pid.
ChildEnd run_child(const std::function<int()>& body, int seconds, const ChildSetup& setup = {},
                   const std::function<void(pid_t)>& tick = {});

// For a body: takes the rights of user and group 65534 when root (false
// when that fails).
bool drop_privileges();

// For a body: replaces the child by the program (searched along PATH).
int exec_program(const std::vector<std::string>& argv);

// Processes whose environment holds every one of `entries` ("NAME=value").
std::vector<pid_t> processes_with_env(const std::vector<std::string>& entries);

}  // namespace kav::test
