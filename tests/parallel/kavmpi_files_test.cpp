// kavmpi when its files fail it: a pipe as a print file, read-only input
// files, no data directory, a folder in place of "PAR5.DAT", a full disk (a
// file-size limit) below the print files or below the results record, and
// a worker killed during the search.  Each run has a time limit and is
// held against a clean run of the same input set: its exit status, the
// line on standard error or in KAV100.PNT, and "PAR5.DAT", which holds the
// clean results, the no-result record for the run's levels (37.0 for
// every level, zero values), no record at all (only its flag word), or is
// not there.  Print files hold whole lines.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core_host.hpp"
#include "fixtures.hpp"
#include "child.hpp"

namespace kav::test {
namespace {

namespace fs = std::filesystem;

const char* const INPUTS[] = {"PAR1.DAT", "PAR3.DAT", "PAR5.DAT", "TAB.DAT", "1TAB.DAT"};

// The two-subproblem sample over three levels: 5 processes, a results
// record of 50 + 3 x 4 x 8 bytes behind the flag word.
struct Base {
    std::string files[5];
    std::string par5;  // after a clean run
};

const Base& base() {
    static const Base b = [] {
        Base r;
        TempDataDir dir;
        {
            NoSleep quiet;
            FreshState st;
            CoreHost h(*st);
            Problem p = sample(2.25);
            p.nlevel = 2;
            h.run(p);
        }
        const std::string cmd = std::string(INPUT_SET_WRITER_EXE) + " " + dir.path() + " >/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        for (int i = 0; i < 5; ++i) r.files[i] = read_file(dir.file(INPUTS[i]));
        r.files[2].resize(2);  // the flag word alone
        return r;
    }();
    return b;
}

void lay_out(const std::string& dir) {
    for (int i = 0; i < 5; ++i)
        std::ofstream(dir + "/" + INPUTS[i], std::ios::binary | std::ios::trunc) << base().files[i];
}

// Ranks share memory through MPICH and UCX in files unless told otherwise;
// under a file-size limit they must not, or the start-up itself fails.
const std::vector<std::pair<std::string, std::string>> NO_SHM_FILES = {{"MPIR_CVAR_NOLOCAL", "1"},
                                                                       {"UCX_TLS", "self,sysv"}};

enum class Par5 { results, no_result, no_record, none };

struct Case {
    const char* name;
    std::function<void(const std::string& dir)> prepare;
    ChildSetup setup;
    bool kill_worker = false;  // stop rank 1 once it runs, kill it once the search has begun
    bool unset_dir = false;    // KAV_DATA_DIR unset, in a folder without KAV
    int status;                // exit status of mpiexec, -1: any but 0
    const char* err;           // on standard error, "%s" for the data directory
    const char* pnt;           // in KAV100.PNT
    Par5 par5;
};

std::string with_dir(const char* text, const std::string& dir) {
    std::string s = text;
    const size_t at = s.find("%s");
    if (at != std::string::npos) s.replace(at, 2, dir);
    return s;
}

TEST(KavmpiFiles, EveryCaseEndsInTimeWithItsLineAndResults) {
    std::string clean;  // the clean run's PAR5.DAT
    {
        TempDataDir dir;
        lay_out(dir.path());
        ChildSetup setup;
        setup.env = {{"ASAN_OPTIONS", "detect_leaks=0"}};
        const ChildEnd end = run_child([] { return exec_program({"mpiexec", "-n", "5", KAVMPI_EXE}); }, 60, setup);
        ASSERT_TRUE(end.in_time);
        ASSERT_EQ(end.status, 0) << end.err;
        clean = read_file(dir.file("PAR5.DAT"));
        ASSERT_EQ(clean.size(), 52u + 3u * 4u * 8u);
    }
    std::string none = clean.substr(0, 2);
    for (int l = 0; l < 6; ++l) none.append("\0\0\0\0\0\x80\x42\x40", 8);  // 37.0
    none.append("\x04\0", 2);
    none.append(3 * 4 * 8, '\0');

    auto fifo = [](const char* name) {
        return [=](const std::string& dir) {
            fs::remove(dir + "/" + name);
            ::mkfifo((dir + "/" + name).c_str(), 0666);
        };
    };
    auto read_only = [](const std::string& dir) {
        fs::permissions(dir, fs::perms::all);
        for (const char* f : {"PAR1.DAT", "PAR3.DAT", "TAB.DAT", "1TAB.DAT"}) fs::permissions(dir + "/" + f, fs::perms(0444));
        fs::permissions(dir + "/PAR5.DAT", fs::perms(0666));
    };
    ChildSetup nobody;
    nobody.unprivileged = true;
    ChildSetup small, tiny;
    small.file_size_limit = 1024;
    small.env = NO_SHM_FILES;
    tiny.file_size_limit = 40;
    tiny.env = NO_SHM_FILES;
    const Case cases[] = {
        {"a pipe as KAV100.PNT", fifo("KAV100.PNT"), {}, false, false, 1,
         "kavmpi: rank 0: cannot open %s/KAV100.PNT: not a regular file", nullptr, Par5::results},
        {"a pipe as KAV103.PNT", fifo("KAV103.PNT"), {}, false, false, 1,
         "kavmpi: rank 3: cannot open %s/KAV103.PNT: not a regular file", nullptr, Par5::results},
        {"read-only input files", read_only, nobody, false, false, 0, nullptr, nullptr, Par5::results},
        {"no data directory", [](const std::string& dir) { fs::remove_all(dir); }, {}, false, false, -1,
         "kavmpi: cannot open %s/KAV100.PNT: the data directory %s does not exist", nullptr, Par5::none},
        {"a file as the data directory",
         [](const std::string& dir) {
             fs::remove_all(dir);
             std::ofstream(dir) << "x";
         },
         {}, false, false, -1, "kavmpi: cannot open %s/KAV100.PNT: the data directory %s is not a folder", nullptr,
         Par5::none},
        {"KAV_DATA_DIR unset and no ./KAV", {}, {}, false, true, -1,
         "kavmpi: cannot open ./KAV/KAV100.PNT: the data directory ./KAV does not exist", nullptr, Par5::no_record},
        {"a folder as PAR5.DAT",
         [](const std::string& dir) {
             fs::remove(dir + "/PAR5.DAT");
             fs::create_directory(dir + "/PAR5.DAT");
         },
         {}, false, false, -1, nullptr, "PROBLEM 3031 ERROR CODE 40", Par5::none},
        {"a file-size limit below the print files", {}, small, false, false, 1,
         "kavmpi: rank 0: cannot write %s/KAV100.PNT: File too large", nullptr, Par5::results},
        {"a file-size limit below the results record", {}, tiny, false, false, 1,
         "kavmpi: cannot write %s/PAR5.DAT: File too large", nullptr, Par5::no_record},
        {"a worker killed during the search", {}, {}, true, false, -1, nullptr, nullptr, Par5::no_result},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDataDir outside;
        TempDataDir dir;
        lay_out(dir.path());
        if (c.prepare) c.prepare(dir.path());
        ChildSetup setup = c.setup;
        setup.env.emplace_back("ASAN_OPTIONS", "detect_leaks=0");
        // The worker to kill: stopped as soon as it has started (rank 0
        // still sends it its set-up, which MPI buffers), killed once rank 0
        // has read the input set, so that rank 0 waits in the first cycle.
        pid_t worker = 0;
        bool killed = false;
        auto size_of = [&](const char* name) {
            std::error_code ec;
            const auto n = fs::file_size(dir.file(name), ec);
            return ec ? 0 : n;
        };
        auto tick = [&](pid_t) {
            if (!c.kill_worker || killed) return;
            if (worker == 0) {
                if (size_of("KAV101.PNT") == 0) return;
                const auto w = processes_with_env({"KAV_DATA_DIR=" + dir.path(), "PMI_RANK=1"});
                if (w.size() != 1) return;
                worker = w[0];
                ::kill(worker, SIGSTOP);
            } else if (size_of("PAR5.DAT") > 2) {
                ::kill(worker, SIGKILL);
                killed = true;
            }
        };
        const ChildEnd end = run_child(
            [&] {
                if (c.unset_dir) {
                    ::unsetenv("KAV_DATA_DIR");
                    if (::chdir(outside.path().c_str()) != 0) return 122;
                }
                return exec_program({"mpiexec", "-n", "5", KAVMPI_EXE});
            },
            60, setup, tick);
        EXPECT_TRUE(end.in_time) << "the time limit ended the run";
        if (c.status >= 0) {
            EXPECT_EQ(end.status, c.status) << end.err;
        } else {
            EXPECT_NE(end.status, 0);
        }
        if (c.kill_worker) {
            EXPECT_TRUE(killed);
        }
        if (c.err) {
            std::string want = with_dir(c.err, dir.path());
            want = with_dir(want.c_str(), dir.path());
            EXPECT_NE(end.err.find(want), std::string::npos) << end.err;
        }
        if (c.pnt) {
            EXPECT_NE(read_file(dir.file("KAV100.PNT")).find(c.pnt), std::string::npos);
        }
        EXPECT_TRUE(fs::is_empty(outside.path()));
        const std::string par5 = fs::is_regular_file(dir.file("PAR5.DAT")) ? read_file(dir.file("PAR5.DAT")) : "";
        switch (c.par5) {
            case Par5::results: EXPECT_EQ(par5, clean); break;
            case Par5::no_result: EXPECT_EQ(par5, none); break;
            case Par5::no_record: EXPECT_EQ(par5, clean.substr(0, 2)); break;
            case Par5::none: EXPECT_FALSE(fs::is_regular_file(dir.file("PAR5.DAT"))); break;
        }
        if (!fs::is_directory(dir.path())) continue;
        for (const auto& e : fs::directory_iterator(dir.path())) {
            if (e.path().extension() != ".PNT" || !e.is_regular_file()) continue;
            const std::string pnt = read_file(e.path().string());
            EXPECT_TRUE(pnt.empty() || pnt.back() == '\n') << e.path();
            if (setup.file_size_limit >= 0) {
                EXPECT_LE(static_cast<int64_t>(pnt.size()), setup.file_size_limit) << e.path();
            }
        }
    }
}

// input_set_writer names the folder it cannot find, and the file it cannot
// write.
TEST(KavmpiFiles, InputSetWriterSaysWhy) {
    TempDataDir dir;
    const std::string missing = dir.file("none");
    ChildEnd end = run_child([&] { return exec_program({INPUT_SET_WRITER_EXE, missing}); }, 30);
    EXPECT_EQ(end.status, 1);
    EXPECT_NE(end.err.find("cannot open " + missing + "/PAR1.DAT: the data directory " + missing + " does not exist"),
              std::string::npos)
        << end.err;
}

}  // namespace
}  // namespace kav::test
