// Run-and-wait service of the platform layer on POSIX: program search over
// the current folder and PATH, start without a shell, unlimited wait.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform.hpp"

extern char** environ;

namespace kav {

namespace {

constexpr const char* SUFFIXES[] = {"", ".com", ".exe", ".bat", ".cmd"};

bool runnable(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// First runnable file of `base` with one of the suffixes, or "".
std::string with_suffix(const std::string& base) {
    for (const char* suf : SUFFIXES) {
        std::string p = base + suf;
        if (runnable(p)) return p;
    }
    return {};
}

std::string find_program(std::string_view program) {
    const std::string name(program);
    if (name.find('/') != std::string::npos) return with_suffix(name);
    // The current folder first, then each PATH folder (an empty one is the
    // current folder again).
    std::string found = with_suffix("./" + name);
    if (!found.empty()) return found;
    const char* path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string dir = end > start ? list.substr(start, end - start) : std::string(".");
        found = with_suffix(dir + "/" + name);
        if (!found.empty()) return found;
        start = end + 1;
    }
    return {};
}

}  // namespace

int run_and_wait(std::string_view program, std::string_view args) {
    if (program.empty()) return -1;
    const std::string path = find_program(program);
    if (path.empty()) return -1;
    std::string arg0(program), arg1(args);
    std::vector<char*> argv{arg0.data()};
    if (!arg1.empty()) argv.push_back(arg1.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace kav
