// kavmpi under mpiexec.  Each problem is first solved by the decomposition
// library through its entry (which also writes the hand-off files), then
// arranged into the input set and solved by 2*NSUB+1 processes.
// - Continuous problems, sensitivity levels and problems whose first
//   continuous solution is already integral: RESV and XRES in PAR5.DAT and
//   the first continuous solution block of KAV100.PNT equal the library's
//   bit for bit.
// - Problems with 0-Z variables: the result is a feasible mixed 0-Z
//   solution worth RESV and never better than GLPK's MIP optimum.
// - A wrong process count ends every process with a nonzero status.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "core_host.hpp"
#include "fixtures.hpp"

namespace kav::test {
namespace {

// MALLOC_PERTURB_ fills fresh heap blocks with a pattern, so that a rank
// that reads a word it never set shows it in its lines (sanitizer builds
// poison fresh blocks anyway).
int run(const std::string& cmd) {
    const int rc = std::system(
        ("ASAN_OPTIONS=detect_leaks=0 MALLOC_PERTURB_=165 timeout -k 5 120 " + cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

int mpiexec(int procs) { return run("mpiexec -n " + std::to_string(procs) + " " + KAVMPI_EXE); }

// The results record behind the flag word of PAR5.DAT.
struct Par5 {
    double resv[6] = {};
    int16_t nvres = 0;
    std::vector<std::vector<double>> x;  // per level
    bool whole = false;                  // the file has exactly the record's length
};

Par5 read_par5(const std::string& path, int levels) {
    const std::string b = read_file(path);
    Par5 p;
    if (b.size() < 52) return p;
    std::memcpy(p.resv, b.data() + 2, 48);
    std::memcpy(&p.nvres, b.data() + 50, 2);
    const size_t n = p.nvres > 0 ? static_cast<size_t>(p.nvres) : 0;
    p.whole = b.size() == 52 + 8 * n * static_cast<size_t>(levels);
    if (!p.whole) return p;
    p.x.assign(static_cast<size_t>(levels), std::vector<double>(n));
    for (int l = 0; l < levels; ++l)
        for (size_t j = 0; j < n; ++j) std::memcpy(&p.x[l][j], b.data() + 52 + 8 * (n * l + j), 8);
    return p;
}

// The first continuous solution block: its heading up to the last of its
// nvres values.
std::string continuous_block(const std::string& pnt, int nvres) {
    const size_t from = pnt.find("CONTINUOUS TOTAL SOLUTION COMPLETE");
    if (from == std::string::npos) return "";
    size_t p = pnt.find("\nI =", from);
    if (p == std::string::npos) return "";
    p = pnt.find("\n\n", p);  // the blank line before the values
    if (p == std::string::npos) return "";
    p += 2;
    for (int i = 0; i < nvres; ++i) {
        p = pnt.find_first_not_of(" \n", p);
        if (p == std::string::npos) return "";
        p = pnt.find_first_of(" \n", p);
        if (p == std::string::npos) p = pnt.size();
    }
    return pnt.substr(from, p - from);
}

struct Both {
    int levels = 1;
    double lib_resv[6] = {};
    std::vector<std::vector<double>> lib_x;  // per level
    std::string lib_pnt, mpi_pnt;
    Par5 mpi;
    int status = -1;
};

// The library's run, then kavmpi's on the input set made from it.
Both solve_both(const Problem& p) {
    Both b;
    b.levels = p.nlevel + 1;
    TempDataDir dir;
    int nvres = 0;
    for (const Sub& s : p.subs) nvres += s.ncol - 2;
    {
        NoSleep quiet;
        FreshState st;
        CoreHost h(*st);
        h.run(p);
        std::memcpy(b.lib_resv, h.RESV.data(), sizeof b.lib_resv);
        for (int l = 1; l <= b.levels; ++l) {
            b.lib_x.emplace_back();
            for (int j = 1; j <= nvres; ++j) b.lib_x.back().push_back(h.xres(l, j));
        }
    }
    b.lib_pnt = read_file(dir.file("KAV100.PNT"));
    if (run(std::string(INPUT_SET_WRITER_EXE) + " " + dir.path()) != 0) return b;
    // Keep only the flag word, so the results read back are kavmpi's own and
    // not the library's left in place.
    const std::string flag = read_file(dir.file("PAR5.DAT")).substr(0, 2);
    std::ofstream(dir.file("PAR5.DAT"), std::ios::binary | std::ios::trunc) << flag;
    b.status = mpiexec(2 * p.nsub + 1);
    b.mpi = read_par5(dir.file("PAR5.DAT"), b.levels);
    EXPECT_EQ(read_file(dir.file("PAR5.DAT")).substr(0, 2), flag);
    b.mpi_pnt = read_file(dir.file("KAV100.PNT"));
    for (int r = 1; r <= 2 * p.nsub; ++r) {
        char name[32];
        std::snprintf(name, sizeof name, "KAV%3d.PNT", 100 + r);
        EXPECT_EQ(read_file(dir.file(name)).find("BESM ELLAH EL RAHMAN EL RAHIM  1"), 1u) << name;
    }
    return b;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A random problem of at most three subproblems (seven processes).
PlainProblem small_problem(std::mt19937& g) { return random_problem_upto(g, 3); }

// The same without 0-Z variables.
PlainProblem continuous_problem(std::mt19937& g) { return without_zo(small_problem(g)); }

// Identity cases: the sample, continuous problems, continuous problems with
// sensitivity levels (objective and right-hand-side increments), and
// problems whose 0-Z variables sit in no row, so that the first continuous
// solution already has them at 1.
struct Case {
    std::string name;
    Problem p;
    bool solved = true;  // the library finds a solution
};

int runs_from_env(const char* name, int otherwise) {
    const char* env = std::getenv(name);
    return env != nullptr ? std::atoi(env) : otherwise;
}

// KAV_MPI_IDENTITY_RUNS sets the number of cases of each family.
std::vector<Case> identity_cases() {
    const int n = runs_from_env("KAV_MPI_IDENTITY_RUNS", 3);
    std::vector<Case> cs;
    cs.push_back({"sample", sample(2.25)});
    std::mt19937 g(4242);
    auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); };
    for (int i = 0; i < n; ++i) {
        PlainProblem pp = continuous_problem(g);
        cs.push_back({"continuous " + std::to_string(i), to_host(pp, i)});
    }
    for (int i = 0; i < n; ++i) {
        PlainProblem pp = continuous_problem(g);
        Problem p = to_host(pp, 100 + i);
        p.nlevel = static_cast<int16_t>(uni(1, 2));
        for (size_t k = 0; k < pp.subs.size(); ++k)
            for (int l = 2; l <= p.nlevel + 1; ++l) {
                const int nv = static_cast<int>(pp.subs[k].c.size());
                const int nr = static_cast<int>(pp.subs[k].a.size());
                p.subs[k].inc[l - 1] = {Inc{static_cast<int16_t>(uni(1, nv)), 0, 0.25 * uni(-4, 8)},
                                        Inc{0, static_cast<int16_t>(-uni(1, nr)), 0.25 * uni(1, 6)}};
            }
        cs.push_back({"levels " + std::to_string(i), p});
    }
    for (int i = 0; i < n; ++i) {
        PlainProblem pp = small_problem(g);
        if (i % 3 == 2) pp.kcode = 100;
        for (size_t k = 0; k < pp.subs.size(); ++k) {
            PlainSub& s = pp.subs[k];
            for (int v = 0; v < s.nz; ++v) {
                for (auto& row : s.a) row[v] = 0.0;
                for (auto& row : pp.cpl) row[k][v] = 0.0;
            }
        }
        // With KCODE 100 the 0-Z tail forms the proposals; its resource
        // tests on the generated data leave the library without a solution.
        cs.push_back({"integral root " + std::to_string(i), to_host(pp, 200 + i), i % 3 != 2});
    }
    // Every subproblem's first proposal is integral and rejected by the 0-Z
    // tail, so no master problem runs: the continuous solution still lists
    // every result position, as the library's does.
    {
        PlainProblem pp = small_problem(g);
        pp.kcode = 100;
        for (size_t k = 0; k < pp.subs.size(); ++k) {
            PlainSub& s = pp.subs[k];
            s.nz = static_cast<int>(s.c.size());
            for (double& c : s.c) c = std::fabs(c) + 1.0;
            for (int v = 0; v < s.nz; ++v) {
                for (auto& row : s.a) row[v] = 0.0;
                for (auto& row : pp.cpl) row[k][v] = 0.0;
            }
        }
        Problem p = to_host(pp, 300);
        // No chain starts and zero attribute words: a proposal with a 0-Z
        // variable at 1 has no chain the tail accepts.
        std::fill(p.kr17.begin(), p.kr17.end(), 0);
        cs.push_back({"first proposals rejected", p, false});
    }
    return cs;
}

TEST(Kavmpi, SameResultsAsTheLibrary) {
    for (Case& c : identity_cases()) {
        SCOPED_TRACE(c.name);
        // The library starts a level's best value at the KR16 sum of the
        // problems with KCODE <= 500, kavmpi at the sum over all: with 0
        // both start at 0.
        std::fill(c.p.kr16.begin(), c.p.kr16.end(), 0);
        const Both b = solve_both(c.p);
        ASSERT_EQ(b.status, 0);
        ASSERT_TRUE(b.mpi.whole);
        for (int l = 0; l < b.levels; ++l) {
            EXPECT_TRUE(same_bits(b.mpi.resv[l], b.lib_resv[l])) << "level " << l + 1 << ": " << b.mpi.resv[l]
                                                                  << " against " << b.lib_resv[l];
            if (c.solved) {
                EXPECT_NE(b.mpi.resv[l], 37.0);
            }
            for (size_t j = 0; j < b.lib_x[l].size(); ++j)
                EXPECT_TRUE(same_bits(b.mpi.x[l][j], b.lib_x[l][j])) << "level " << l + 1 << " x" << j + 1;
        }
        const std::string block = continuous_block(b.lib_pnt, b.mpi.nvres);
        EXPECT_FALSE(block.empty());
        EXPECT_EQ(continuous_block(b.mpi_pnt, b.mpi.nvres), block);
    }
}

// Problems with 0-Z variables, of both kinds (KCODE 501, and KCODE 100 where
// the 0-Z tail forms proposals).  KAV_MPI_MIXED_RUNS sets the number of runs.
TEST(Kavmpi, MixedSolutionsAgainstGlpk) {
    const int runs = runs_from_env("KAV_MPI_MIXED_RUNS", 6);
    std::mt19937 g(8080);
    // Per kind (0: KCODE 501, 1: KCODE 100).
    struct Tally {
        int runs = 0, solved = 0, at_optimum = 0, lib_solved = 0, lib_at_optimum = 0, as_library = 0;
    } tally[2];
    for (int i = 0; i < runs; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        PlainProblem pp = small_problem(g);
        Tally& t = tally[i % 2];
        if (i % 2 == 1) pp.kcode = 100;
        bool any = false;
        for (const auto& s : pp.subs) any = any || s.nz > 0;
        if (!any) pp.subs[0].nz = 1;
        Problem p = to_host(pp, i);
        // KR16 is each subproblem's start value of the search: 0 here.
        std::fill(p.kr16.begin(), p.kr16.end(), 0);
        const Both b = solve_both(p);
        ASSERT_EQ(b.status, 0);
        ASSERT_TRUE(b.mpi.whole);
        ++t.runs;
        if (same_bits(b.mpi.resv[0], b.lib_resv[0])) ++t.as_library;
        const LpProblem lp = to_lp(pp, true);
        const LpResult opt = solve_lp(lp);
        ASSERT_EQ(opt.status, LpStatus::optimal);
        const double lib = b.lib_resv[0];
        if (lib != 37.0) ++t.lib_solved;
        if (lib != 37.0 && std::fabs(lib - opt.obj) <= 1e-6 * std::max(1.0, std::fabs(lib))) ++t.lib_at_optimum;
        const double resv = b.mpi.resv[0];
        if (resv == 37.0) continue;
        ++t.solved;
        const std::vector<double>& x = b.mpi.x[0];
        const double scale = std::max(1.0, std::fabs(resv));
        EXPECT_LE(resv, opt.obj + 1e-6 * scale);
        EXPECT_NEAR(objective_of(lp, x), resv, 1e-6 * scale);
        EXPECT_LE(max_violation(lp, x), 1e-6 * scale);
        for (size_t j = 0; j < x.size(); ++j) {
            if (lp.integer[j]) {
                EXPECT_TRUE(x[j] == 0.0 || x[j] == 1.0) << "x" << j + 1 << " = " << x[j];
            }
        }
        if (std::fabs(resv - opt.obj) <= 1e-6 * scale) ++t.at_optimum;
    }
    for (int kind = 0; kind < 2; ++kind) {
        const Tally& t = tally[kind];
        std::printf("KCODE %d: runs %d, with a mixed solution %d (the library %d), at the MIP optimum %d (the library "
                    "%d), RESV as the library's %d\n",
                    kind == 0 ? 501 : 100, t.runs, t.solved, t.lib_solved, t.at_optimum, t.lib_at_optimum,
                    t.as_library);
    }
    EXPECT_GE(tally[0].solved + tally[1].solved, runs / 2);
}

// A worker whose weight variable ends at 0 reports code 6 with the variable
// it was looking for, 0 as the library does: the worker's state starts at
// zero like the library's, so the line carries no left-over word.
TEST(Kavmpi, WeightZeroIsReportedAsTheLibraryReportsIt) {
    Problem p = sample(2.25);
    p.subs[0].A(3, 1) = 0.0;  // subproblem 1's weight row no longer fixes x_w = 1
    const Both b = solve_both(p);
    EXPECT_NE(b.lib_pnt.find("SUBPROBLEM  1 VARIABLE     0 NOT FOUND IN ICOLSV"), std::string::npos);
    EXPECT_NE(b.mpi_pnt.find("SUBPROBLEM1001 VARIABLE     0 NOT FOUND IN ICOLSV"), std::string::npos) << b.mpi_pnt;
    ASSERT_TRUE(b.mpi.whole);
    EXPECT_EQ(b.mpi.resv[0], 37.0);
}

TEST(Kavmpi, WrongProcessCountEndsEveryProcess) {
    std::mt19937 g(7);
    PlainProblem pp = small_problem(g);
    TempDataDir dir;
    {
        NoSleep quiet;
        FreshState st;
        CoreHost h(*st);
        h.run(to_host(pp, 1));
    }
    ASSERT_EQ(run(std::string(INPUT_SET_WRITER_EXE) + " " + dir.path()), 0);
    EXPECT_NE(mpiexec(2 * static_cast<int>(pp.subs.size()) + 3), 0);
    EXPECT_NE(read_file(dir.file("KAV100.PNT")).find("ERROR CODE111"), std::string::npos);
    EXPECT_EQ(read_par5(dir.file("PAR5.DAT"), 1).resv[0], 37.0);
}

}  // namespace
}  // namespace kav::test
