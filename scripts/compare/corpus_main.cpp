// The corpus driver: runs every run of the corpus on the deliverables of one
// build folder, at most JOBS at a time, each in a child process of its own
// (so each starts on a freshly loaded library) and in a data directory of its
// own, OUT/<family>/<run>/.
//
// Usage: corpus BUILD_DIR OUT_DIR [JOBS [FILTER]]
//   JOBS   job slots (default 4); FILTER: only families whose name contains it.
// A run that does not end normally (a signal, its time limit, an exception)
// leaves run-end.txt in its data directory saying how it ended, so such an
// end shows as a difference too.  The programs' own output goes to
// OUT_DIR.logs/, which is not compared.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>

#include "corpus.hpp"

// The libraries wait 500 ms at the hand-over to the solve and before every
// level (waits the files of their original platform needed).  The waits
// change no output, and the corpus would spend most of its time in them, so
// this program answers every sleep at once.  It exports these definitions
// (it is linked with -rdynamic), and a library it loads binds its calls to
// the program's symbols before libc's.  kavmpi runs as a program of its own
// and keeps its pauses.
extern "C" {
int nanosleep(const struct timespec*, struct timespec* rem) {
    if (rem != nullptr) *rem = {};
    return 0;
}
int clock_nanosleep(clockid_t, int, const struct timespec*, struct timespec* rem) {
    if (rem != nullptr) *rem = {};
    return 0;
}
int usleep(useconds_t) { return 0; }
}

namespace kav::corpus {

namespace fs = std::filesystem;

Record::Record(const std::string& dir) : f_(std::fopen((dir + "/" + RESULTS_FILE).c_str(), "a")) {}

Record::~Record() {
    if (f_ != nullptr) std::fclose(f_);
}

void Record::text(const std::string& line) {
    if (f_ != nullptr) std::fprintf(f_, "%s\n", line.c_str());
}

template <class T>
void Record::list(const char* name, const T* v, size_t n, const char* form) {
    if (f_ == nullptr) return;
    std::fprintf(f_, "%s (%zu):", name, n);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && i % 8 == 0) std::fprintf(f_, "\n   ");
        std::fprintf(f_, form, v[i]);
    }
    std::fprintf(f_, "\n");
}

void Record::values(const char* name, const double* v, size_t n) { list(name, v, n, " %.17g"); }
void Record::values(const char* name, const float* v, size_t n) {
    std::vector<double> d(v, v + n);  // printf takes a float as a double
    list(name, d.data(), n, " %.9g");
}
void Record::values(const char* name, const int16_t* v, size_t n) {
    std::vector<int> d(v, v + n);
    list(name, d.data(), n, " %d");
}
void Record::values(const char* name, const int32_t* v, size_t n) {
    std::vector<long> d(v, v + n);
    list(name, d.data(), n, " %ld");
}

int shell(const std::string& cmd) {
    std::fflush(nullptr);
    const int rc = std::system(cmd.c_str());
    if (rc == -1) return -1;
    if (WIFEXITED(rc)) return WEXITSTATUS(rc);
    return WIFSIGNALED(rc) ? 128 + WTERMSIG(rc) : -1;
}

namespace {

std::string log_of(const Build& b, const Run& r) { return b.logs + "/" + r.family + "-" + r.name + ".log"; }

// The child: the run in its data directory, ended by SIGALRM at its limit.
[[noreturn]] void child(const Build& b, const Run& r, const std::string& dir) {
    const int fd = open(log_of(b, r).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    setenv("KAV_DATA_DIR", dir.c_str(), 1);
    if (chdir(dir.c_str()) != 0) std::_Exit(4);
    alarm(static_cast<unsigned>(r.seconds));
    try {
        r.body(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "run failed: %s\n", e.what());
        std::exit(3);
    }
    // exit, not _exit: a library may still flush and close its files in its
    // static destructors, as it would at the end of any host.
    std::exit(0);
}

// Notes an abnormal end in the run's data directory; true when there was one.
bool note_end(const std::string& dir, int status) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return false;
    std::FILE* f = std::fopen((dir + "/run-end.txt").c_str(), "w");
    if (f == nullptr) return true;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        std::fprintf(f, "ended at its time limit\n");
    else if (WIFSIGNALED(status))
        std::fprintf(f, "ended by signal %d\n", WTERMSIG(status));
    else
        std::fprintf(f, "ended with exit status %d\n", WEXITSTATUS(status));
    std::fclose(f);
    return true;
}

struct Active {
    std::string dir;
    int slots;
};

// Reaps one child; returns the slots it held.  Counts the abnormal ends
// and keeps the data directory of the first.
int reap(std::map<pid_t, Active>& active, int& abnormal, std::string& first) {
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    auto it = active.find(pid);
    if (it == active.end()) return 0;
    if (note_end(it->second.dir, status) && abnormal++ == 0) first = it->second.dir;
    const int slots = it->second.slots;
    active.erase(it);
    return slots;
}

// Whether `so` loads and exports `entry`, tried in a child process so that
// this process loads nothing before the runs.
bool loads(const std::string& so, const char* entry) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        void* h = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) std::fprintf(stderr, "corpus: %s\n", dlerror());
        std::_Exit(h != nullptr && dlsym(h, entry) != nullptr ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

}  // namespace kav::corpus

int main(int argc, char** argv) {
    using namespace kav::corpus;
    if (argc < 3) {
        std::fprintf(stderr, "usage: corpus BUILD_DIR OUT_DIR [JOBS [FILTER]]\n");
        return 2;
    }
    const fs::path build = fs::absolute(argv[1]);
    const fs::path out = fs::absolute(argv[2]);
    const int jobs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 4;
    const std::string filter = argc > 4 ? argv[4] : "";
    Build b{(build / "decomp/libkavsolve.so").string(), (build / "single/libkavsolve.so").string(),
            (build / "mix/libkavmix.so").string(), (build / "parallel/kavmpi").string(),
            (build / "examples/input_set_writer").string(), out.string() + ".logs"};
    for (const std::string* f : {&b.decomp_so, &b.single_so, &b.mix_so, &b.kavmpi, &b.input_set_writer})
        if (!fs::exists(*f)) {
            std::fprintf(stderr, "corpus: %s is missing (is %s built?)\n", f->c_str(), build.c_str());
            return 2;
        }
    const std::pair<const std::string*, const char*> entries[] = {
        {&b.decomp_so, "ALLAH_mp_TARVEXO"}, {&b.single_so, "ALLAH_mp_TARVEXO"}, {&b.mix_so, "ALLAH_mp_TARVEXO1"}};
    for (const auto& [so, entry] : entries)
        if (!loads(*so, entry)) {
            std::fprintf(stderr, "corpus: %s cannot be loaded with its entry %s (a sanitizer build?)\n",
                         so->c_str(), entry);
            return 2;
        }
    std::vector<Run> runs;
    decomp_runs(b, runs);
    single_runs(b, runs);
    mix_runs(b, runs);
    kavmpi_runs(b, runs);

    fs::create_directories(out);
    fs::create_directories(b.logs);
    const auto t0 = std::chrono::steady_clock::now();
    std::map<pid_t, Active> active;
    int used = 0, started = 0, abnormal = 0;
    std::string first_abnormal;
    for (const Run& r : runs) {
        if (r.family.find(filter) == std::string::npos) continue;
        const int slots = std::min(r.slots, jobs);
        while (used + slots > jobs) used -= reap(active, abnormal, first_abnormal);
        const std::string dir = (out / r.family / r.name).string();
        fs::create_directories(dir);
        std::fflush(nullptr);  // the child must not write the parent's buffers again
        const pid_t pid = fork();
        if (pid < 0) {
            std::perror("fork");
            return 2;
        }
        if (pid == 0) child(b, r, dir);
        active[pid] = {dir, slots};
        used += slots;
        ++started;
    }
    while (!active.empty()) reap(active, abnormal, first_abnormal);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%d runs on %s in %.1f s\n", started, build.c_str(), s);
    if (abnormal > 0)
        std::printf("warning: %d runs did not end normally (run-end.txt), the first in %s\n", abnormal,
                    first_abnormal.c_str());
    return 0;
}
