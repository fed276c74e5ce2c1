// Runs a program and reports its peak memory on standard error:
//   "rank R rss_kb A vm_kb B"
// A: the peak resident set (the kernel's high-water mark, from the wait);
// B: the peak address space (VmPeak, read from /proc while it runs, the last
// reading before it ended).  R is the process manager's PMI_RANK (or "?").
// Usage: peak_memory PROGRAM [ARGS...]; the exit status is the program's.
// Used by bench/kavmpi_bench.sh as mpiexec -n N peak_memory kavmpi.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr long POLL_NS = 5000000;  // 5 ms between readings of the address space

long vm_peak_kb(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmPeak:", 0) == 0) return std::atol(line.c_str() + 7);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak_memory PROGRAM [ARGS...]\n");
        return 2;
    }
    const pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        std::perror("peak_memory: exec");
        _exit(127);
    }
    long vm = 0;
    int status = 0;
    rusage ru{};
    for (;;) {
        const pid_t r = wait4(pid, &status, WNOHANG, &ru);
        if (r == pid) break;
        if (r < 0) return 2;
        const long v = vm_peak_kb(pid);
        if (v > vm) vm = v;
        const timespec ts{0, POLL_NS};
        nanosleep(&ts, nullptr);
    }
    const char* rank = std::getenv("PMI_RANK");
    std::fprintf(stderr, "rank %s rss_kb %ld vm_kb %ld\n", rank != nullptr ? rank : "?", ru.ru_maxrss, vm);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
