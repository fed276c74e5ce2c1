#include "child.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kav::test {

ChildEnd run_child(const std::function<int()>& body, int seconds, const ChildSetup& setup,
                   const std::function<void(pid_t)>& tick) {
    ChildEnd end;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return end;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(fds[1], 2);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        for (const auto& [k, v] : setup.env) ::setenv(k.c_str(), v.c_str(), 1);
        if (setup.ignore_file_size_signal) ::signal(SIGXFSZ, SIG_IGN);
        if (setup.file_size_limit >= 0) {
            const rlimit r{static_cast<rlim_t>(setup.file_size_limit), static_cast<rlim_t>(setup.file_size_limit)};
            if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(120);
        }
        if (setup.unprivileged && !drop_privileges()) ::_exit(121);
        ::_exit(body());
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return end;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int wstatus = 0;
    bool done = false;
    char buf[4096];
    while (!done) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 1) > 0) {
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n > 0) end.err.append(buf, static_cast<size_t>(n));
        }
        if (::waitpid(pid, &wstatus, WNOHANG) == pid) {
            done = true;
            end.in_time = true;
        } else if (std::chrono::steady_clock::now() > deadline) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            done = true;
        } else if (tick) {
            tick(pid);
        }
    }
    // What is left in the pipe (a grandchild may still hold it: no waiting).
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) end.err.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    end.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return end;
}

bool drop_privileges() {
    if (::geteuid() != 0) return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

int exec_program(const std::vector<std::string>& argv) {
    std::vector<char*> a;
    for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    ::execvp(a[0], a.data());
    return 127;
}

std::vector<pid_t> processes_with_env(const std::vector<std::string>& entries) {
    std::vector<pid_t> found;
    DIR* d = ::opendir("/proc");
    if (d == nullptr) return found;
    while (const dirent* e = ::readdir(d)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::ifstream in("/proc/" + std::string(e->d_name) + "/environ", std::ios::binary);
        const std::string env((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bool all = !env.empty();
        for (const std::string& x : entries) all = all && ('\0' + env).find('\0' + x + '\0') != std::string::npos;
        if (all) found.push_back(pid);
    }
    ::closedir(d);
    return found;
}

}  // namespace kav::test
