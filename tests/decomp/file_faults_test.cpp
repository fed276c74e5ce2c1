// The libraries when their files fail them: a pipe in place of a print
// file, hand-off files that are read-only, no data directory, a folder in
// place of "PAR5.DAT", and a full disk (a file-size limit) below the print
// files or below the results record.  Every case runs in a child process
// with a time limit, so a call that hangs fails the case instead of the
// suite.  What each gives: the results of a clean run, or 37.0 for every
// level; "PAR5.DAT" holds the clean run's record, the no-result record, or
// no record (at most the flag word), never part of one; print files hold
// whole lines.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "child.hpp"
#include "core_host.hpp"
#include "fixtures.hpp"
#include "single_host.hpp"

namespace kav::test {
namespace {

namespace fs = std::filesystem;

// What a child hands back.
struct Shared {
    double resv[6];
    double status;       // STATUS(1) of the single-problem library, STATUS of kavmix
    int64_t pipe_bytes;  // bytes that reached the pipe of the case
};

std::string timeless(const std::string& s) {
    return std::regex_replace(s, std::regex("[0-9][0-9]:[0-9][0-9]:[0-9][0-9]"), "hh:mm:ss");
}

// The decomposition sample over six levels (the results record then takes
// 246 bytes, more than any hand-off file of the run).
Problem six_levels() {
    Problem p = sample(2.25);
    p.nlevel = 5;
    return p;
}

// A decomposition run, and with `rerun` a rerun of it (which solves level 1
// alone); with `locked` the rerun's files PAR2, TAB0, 1TAB0, TAB20 and
// 1TAB20 are made read-only for an ordinary user, who does the rerun.
int decomp_run(Shared& out, bool rerun, bool locked = false) {
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    h.RESV.assign(6, -1.0);
    h.run(six_levels());
    if (rerun && !locked) {
        h.rerun(six_levels());
    } else if (rerun) {
        const std::string dir = data_dir();
        fs::permissions(dir, fs::perms::all);
        for (const auto& e : fs::directory_iterator(dir)) fs::permissions(e.path(), fs::perms(0666));
        for (const char* f : {"PAR2.DAT", "TAB0.DAT", "1TAB0.DAT", "TAB20.DAT", "1TAB20.DAT"})
            fs::permissions(dir + "/" + f, fs::perms(0444));
        if (!drop_privileges()) return 3;
        std::fill(h.RESV.begin(), h.RESV.end(), -1.0);
        h.rerun(six_levels());
    }
    std::memcpy(out.resv, h.RESV.data(), sizeof out.resv);
    return 0;
}

// The single-problem library on a problem of two levels (1.5 and 5.5).
int single_run(Shared& out) {
    auto entry = single_entry(KAVSOLVE_SINGLE_SO);
    if (entry == nullptr) return 4;
    SingleHost h = two_level_sample();
    h.call(entry);
    out.status = h.status[1];
    return 0;
}

// kavmix on one variable of value 10 that a row bounds to 3 (status 30).
int mix_run(Shared& out) {
    using Entry = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*, int16_t*,
                           int16_t*, int16_t*, double*, float*, float*, double*, float*, int16_t*, int16_t*,
                           int16_t*);
    void* lib = dlopen(KAVMIX_SO, RTLD_NOW | RTLD_LOCAL);
    auto entry = lib ? reinterpret_cast<Entry>(dlsym(lib, "ALLAH_mp_TARVEXO1")) : nullptr;
    if (entry == nullptr) return 4;
    int16_t nrow = 2, ncol = 3, nitem = 1, ngroup = 1;
    std::vector<int16_t> itype{1, 1}, iitem{101}, igroup{1}, igrpv(3, 1), iitmv(3, 101), ipen{0}, idem{0},
        igcap{32767};
    std::vector<double> amat(100 * 3, 0.0), valvar{0.0, 10.0, 0.0};
    std::vector<float> rqty(3, 1.0f), xout(2, -9.0f);
    amat[0 + 100 * 1] = -10.0;  // row 1: the value, negated
    amat[1 + 100 * 0] = 3.0;    // row 2: x <= 3
    amat[1 + 100 * 1] = 1.0;
    float best0 = 0.0f;
    double status = -1.0;
    entry(&nrow, &ncol, itype.data(), amat.data(), iitem.data(), &nitem, igroup.data(), &ngroup, igrpv.data(),
          iitmv.data(), &status, xout.data(), &best0, valvar.data(), rqty.data(), ipen.data(), idem.data(),
          igcap.data());
    out.status = status;
    return 0;
}

enum class Lib { decomp, decomp_rerun, single, mix };
// The clean run's results, 37.0 everywhere, or what the host passed (a call
// for the last subproblem that ends with an error before the solve).
enum class Got { results, none, as_passed };
enum class Par5 { results, no_result, no_record, none };

struct Case {
    const char* name;
    Lib lib;
    std::function<void(const std::string& dir)> prepare;  // the data directory before the run
    const char* pipe;        // a print file made a pipe, or nullptr
    int64_t size_limit;      // file-size limit of the run, -1 none
    Got got;                 // what the host's result arguments hold
    Par5 par5;
    const char* line;        // a line of KAV.PNT (decomposition) or nullptr
};

TEST(LibraryFiles, EveryCaseEndsInTimeWithItsResults) {
    // The clean runs the cases are held against.
    Shared clean[2] = {};  // the run, the run and a rerun
    std::string clean_par5[2], clean_pnt[2];
    for (int r = 0; r < 2; ++r) {
        TempDataDir dir;
        ASSERT_EQ(decomp_run(clean[r], r == 1), 0);
        clean_par5[r] = read_file(dir.file("PAR5.DAT"));
        if (r == 0) {
            clean_pnt[0] = timeless(read_file(dir.file("KAV.PNT")));
            clean_pnt[1] = timeless(read_file(dir.file("KAV100.PNT")));
        }
        ASSERT_EQ(clean_par5[r].size(), 52u + 6u * 4u * 8u);
        ASSERT_NEAR(clean[r].resv[0], 5.5, 1e-9);
    }
    double clean_status[2] = {};
    for (int k = 0; k < 2; ++k) {
        TempDataDir dir;
        Shared s{};
        ASSERT_EQ(k == 0 ? single_run(s) : mix_run(s), 0);
        clean_status[k] = s.status;
    }
    EXPECT_EQ(clean_status[0], 5.5);
    EXPECT_EQ(clean_status[1], 30.0);

    auto folder = [](const char* name) {
        return [=](const std::string& dir) { fs::create_directory(dir + "/" + name); };
    };
    auto no_dir = [](const std::string& dir) { fs::remove_all(dir); };
    const Case cases[] = {
        {"a pipe as KAV.PNT", Lib::decomp, {}, "KAV.PNT", -1, Got::results, Par5::results, nullptr},
        {"a pipe as KAV100.PNT", Lib::decomp, {}, "KAV100.PNT", -1, Got::results, Par5::results, nullptr},
        {"a pipe as KAV.PNT of the single-problem library", Lib::single, {}, "KAV.PNT", -1, Got::results, Par5::none,
         nullptr},
        {"a pipe as KAV1.PNT of kavmix", Lib::mix, {}, "KAV1.PNT", -1, Got::results, Par5::none, nullptr},
        {"read-only hand-off files of a rerun", Lib::decomp_rerun, {}, nullptr, -1, Got::results, Par5::results, nullptr},
        {"no data directory", Lib::decomp, no_dir, nullptr, -1, Got::none, Par5::none, nullptr},
        {"no data directory for the single-problem library", Lib::single, no_dir, nullptr, -1, Got::none, Par5::none,
         nullptr},
        {"no data directory for kavmix", Lib::mix, no_dir, nullptr, -1, Got::results, Par5::none, nullptr},
        {"a folder as PAR5.DAT", Lib::decomp, folder("PAR5.DAT"), nullptr, -1, Got::none, Par5::none,
         "PROBLEM   1 ERROR CODE 40"},
        {"a file-size limit below the print files", Lib::decomp, {}, nullptr, 1024, Got::results, Par5::results, nullptr},
        {"a file-size limit below the results record", Lib::decomp, {}, nullptr, 240, Got::none, Par5::no_result,
         nullptr},
        {"a file-size limit below every hand-off file", Lib::decomp, {}, nullptr, 40, Got::as_passed, Par5::no_record,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDataDir dir;
        if (c.prepare) c.prepare(dir.path());
        if (c.pipe) {
            ASSERT_EQ(::mkfifo(dir.file(c.pipe).c_str(), 0666), 0);
        }
        auto* out = static_cast<Shared*>(
            ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(out, MAP_FAILED);
        *out = Shared{{-1, -1, -1, -1, -1, -1}, -1.0, 0};
        ChildSetup setup;
        setup.file_size_limit = c.size_limit;
        setup.ignore_file_size_signal = true;
        const ChildEnd end = run_child(
            [&] {
                // The child holds the pipe's other end, so what the library
                // writes into it stays there to be counted.
                const int rd = c.pipe ? ::open(dir.file(c.pipe).c_str(), O_RDONLY | O_NONBLOCK) : -1;
                const int rc = c.lib == Lib::single ? single_run(*out)
                               : c.lib == Lib::mix  ? mix_run(*out)
                                                    : decomp_run(*out, c.lib == Lib::decomp_rerun, true);
                if (rd >= 0) {
                    char b[4096];
                    for (ssize_t n; (n = ::read(rd, b, sizeof b)) > 0;) out->pipe_bytes += n;
                }
                return rc;
            },
            60, setup);
        EXPECT_TRUE(end.in_time) << "the call did not return";
        EXPECT_EQ(end.status, 0) << end.err;
        EXPECT_EQ(out->pipe_bytes, 0) << "the library wrote into the pipe";
        if (c.lib == Lib::single || c.lib == Lib::mix) {
            const double want = c.got == Got::results ? clean_status[c.lib == Lib::mix] : 37.0;
            EXPECT_EQ(out->status, want);
        } else {
            const Shared& want = clean[c.lib == Lib::decomp_rerun];
            for (int l = 0; l < 6; ++l)
                EXPECT_EQ(out->resv[l], c.got == Got::results ? want.resv[l] : c.got == Got::none ? 37.0 : -1.0)
                    << "level " << l + 1;
        }
        ::munmap(out, sizeof(Shared));
        if (c.prepare && !fs::exists(dir.path())) continue;
        const std::string& clean_rec = clean_par5[c.lib == Lib::decomp_rerun];
        const std::string par5 = fs::is_regular_file(dir.file("PAR5.DAT")) ? read_file(dir.file("PAR5.DAT")) : "";
        std::string none = clean_rec.substr(0, 2);
        for (int l = 0; l < 6; ++l) none.append("\0\0\0\0\0\x80\x42\x40", 8);  // 37.0
        none.append(2, '\0');
        switch (c.par5) {
            case Par5::results: EXPECT_EQ(par5, clean_rec); break;
            case Par5::no_result: EXPECT_EQ(par5, none); break;
            case Par5::no_record: EXPECT_EQ(par5, clean_rec.substr(0, par5.size())); EXPECT_LE(par5.size(), 2u); break;
            case Par5::none: EXPECT_FALSE(fs::is_regular_file(dir.file("PAR5.DAT"))); break;
        }
        if (c.line) {
            EXPECT_NE(read_file(dir.file("KAV.PNT")).find(c.line), std::string::npos) << read_file(dir.file("KAV.PNT"));
        }
        // Print files: whole lines, each a beginning of the clean run's.
        for (int k = 0; k < 2 && c.lib == Lib::decomp; ++k) {
            const std::string name = k == 0 ? "KAV.PNT" : "KAV100.PNT";
            if (!fs::is_regular_file(dir.file(name)) || c.prepare) continue;
            const std::string pnt = timeless(read_file(dir.file(name)));
            if (c.size_limit >= 0) {
                EXPECT_LE(static_cast<int64_t>(pnt.size()), c.size_limit) << name;
            }
            EXPECT_TRUE(pnt.empty() || pnt.back() == '\n') << name;
            if (c.got == Got::results) {
                EXPECT_EQ(clean_pnt[k].substr(0, pnt.size()), pnt) << name;
            }
        }
    }
}

}  // namespace
}  // namespace kav::test
