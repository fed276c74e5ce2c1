// kavmpi under mpiexec: random decomposition problems are written through
// the library's entry, arranged into the input set and solved by 2*NSUB+1
// processes; the results in PAR5.DAT are checked against GLPK and against
// their own objective.  A wrong process count ends every process with a
// nonzero status instead of leaving workers waiting.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "../decomp/core_host.hpp"

namespace kav::test {
namespace {

int run(const std::string& cmd) {
    const int rc = std::system(("ASAN_OPTIONS=detect_leaks=0 timeout -k 5 120 " + cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

int mpiexec(int procs) { return run("mpiexec -n " + std::to_string(procs) + " " + KAVMPI_EXE); }

struct Par5 {
    double resv[6] = {};
    int16_t nvres = 0;
    std::vector<double> x;  // level 1
};

Par5 read_par5(const std::string& path) {
    const std::string b = read_file(path);
    Par5 p;
    if (b.size() < 52) return p;
    std::memcpy(p.resv, b.data() + 2, 48);
    std::memcpy(&p.nvres, b.data() + 50, 2);
    for (int j = 0; j < p.nvres && 52 + 8 * (j + 1) <= static_cast<int>(b.size()); ++j) {
        double v;
        std::memcpy(&v, b.data() + 52 + 8 * j, 8);
        p.x.push_back(v);
    }
    return p;
}

TEST(Kavmpi, RandomProblemsAgreeWithGlpk) {
    std::mt19937 g(8080);
    int solved = 0;
    for (int seed = 0; seed < 4; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        PlainProblem pp = random_problem(g);
        if (seed % 2 == 0)
            for (auto& s : pp.subs) s.nz = 0;  // continuous: the result is the LP optimum
        TempDataDir dir;
        {
            // KR16 is each subproblem's start value of the search: 0 here.
            Problem p = to_host(pp, seed);
            std::fill(p.kr16.begin(), p.kr16.end(), 0);
            Host h;
            h.run(p);
        }
        ASSERT_EQ(run(std::string(INPUT_SET_WRITER_EXE) + " " + dir.path()), 0);
        ASSERT_EQ(mpiexec(2 * static_cast<int>(pp.subs.size()) + 1), 0);
        const Par5 r = read_par5(dir.file("PAR5.DAT"));
        const LpProblem lp = to_lp(pp, false);
        ASSERT_EQ(static_cast<size_t>(r.nvres), lp.c.size());
        if (r.resv[0] == 37.0) {
            ADD_FAILURE() << read_file(dir.file("KAV100.PNT")).substr(0, 4000);
            continue;
        }
        ++solved;
        const double scale = std::max(1.0, std::fabs(r.resv[0]));
        EXPECT_NEAR(objective_of(lp, r.x), r.resv[0], 1e-6 * scale);
        EXPECT_LE(max_violation(lp, r.x), 1e-6 * scale);
        const bool mixed = seed % 2 != 0;
        const LpResult opt = solve_lp(to_lp(pp, mixed));
        EXPECT_LE(r.resv[0], opt.obj + 1e-6 * scale);
        if (!mixed) {
            EXPECT_GE(r.resv[0], opt.obj - 5e-8 * 30000.0 * static_cast<double>(pp.subs.size()) - 1e-6 * scale);
        }
    }
    EXPECT_GE(solved, 3);
}

TEST(Kavmpi, WrongProcessCountEndsEveryProcess) {
    std::mt19937 g(7);
    PlainProblem pp = random_problem(g);
    TempDataDir dir;
    {
        Host h;
        h.run(to_host(pp, 1));
    }
    ASSERT_EQ(run(std::string(INPUT_SET_WRITER_EXE) + " " + dir.path()), 0);
    EXPECT_NE(mpiexec(2 * static_cast<int>(pp.subs.size()) + 3), 0);
    EXPECT_NE(read_file(dir.file("KAV100.PNT")).find("ERROR CODE111"), std::string::npos);
    const Par5 r = read_par5(dir.file("PAR5.DAT"));
    EXPECT_EQ(r.resv[0], 37.0);
}

}  // namespace
}  // namespace kav::test
