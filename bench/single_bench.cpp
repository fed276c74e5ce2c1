// The single-problem build on a dense knapsack-like 0-1 problem of 240 rows
// by 2000 columns, called through its exported entry: the whole search, and
// the root LP alone (every column marked never to branch on) timed against
// the same call on a copy whose objective has no improving column, so the
// difference is the simplex's own time.  Beside it, on the same shape, the
// kernel's PIVOT+COLRNG and GLPK's simplex on the same LP.
//
// Counters: iterations and branch points come from the call's print file;
// nodes counts the root and both solves of every branch point.
//
// Before and after: with KAV_BENCH_BASELINE set to the path of another
// build of the library (one built from an earlier commit, say), the search
// also runs through both libraries in turn within every iteration, and the
// ratio of the two times is reported from the one run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <glpk.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "kernel.hpp"
#include "single_host.hpp"

namespace {

using kav::test::SingleHost;
constexpr int ROWS = 240, COLS = 2000, NV = COLS - 1;

// Profits and weights 1..100, independent; the first TIGHT rows hold 1% of
// their weight sum, the others 60%, so one row decides the optimum while
// every row stays dense in the tableau.  With this seed the root LP takes
// about 220 iterations (within the limit of 300 per solve) and the search
// about 50 branch points.
constexpr int TIGHT = 1;
struct Knapsack {
    std::vector<double> c, b;
    std::vector<std::vector<double>> a;
    Knapsack() {
        std::mt19937_64 g(2026);
        std::uniform_int_distribution<int> u(1, 100);
        for (int v = 0; v < NV; ++v) c.push_back(u(g));
        a.assign(ROWS - 1, std::vector<double>(NV));
        for (int i = 0; i < ROWS - 1; ++i) {
            double sum = 0.0;
            for (double& x : a[i]) sum += x = u(g);
            b.push_back(std::floor(sum * (i < TIGHT ? 0.01 : 0.6)));
        }
    }
};

const Knapsack& problem() {
    static const Knapsack k;
    return k;
}

// A data directory of the run's own, removed at exit.
struct DataDir {
    std::string path;
    DataDir() {
        std::string t = (std::filesystem::temp_directory_path() / "kavbench-XXXXXX").string();
        path = mkdtemp(t.data()) ? t : std::string(".");
        setenv("KAV_DATA_DIR", path.c_str(), 1);
    }
    ~DataDir() {
        std::error_code ec;
        if (path != ".") std::filesystem::remove_all(path, ec);
    }
};

std::string print_file() {
    static DataDir dir;
    return dir.path + "/KAV.PNT";
}

// Iterations and branch points of the last call, read from the print file.
// Every call writes the file again from its start (an older, longer tail
// may stay behind), and its line with the total of iterations comes last.
struct Lines {
    double iterations = 0, branch_points = 0;
};
Lines last_call_lines() {
    std::ifstream in(print_file(), std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = "TOTAL NUMBER OF ITERATIONS OF PROBLEM =";
    const size_t end = s.find(key);
    Lines l;
    if (end == std::string::npos) return l;
    l.iterations = std::atof(s.c_str() + end + key.size());
    for (size_t p = 0; (p = s.find("BRANCH POINT INCREASED TO", p)) < end; ++p) ++l.branch_points;
    return l;
}

enum class Mode { search, lp, no_pivot };

// The host's arguments for one call: `lp` marks every column never to
// branch on; `no_pivot` negates the profits, so no column improves.
void load(SingleHost& h, Mode mode) {
    const Knapsack& k = problem();
    const double sign = mode == Mode::no_pivot ? -1.0 : 1.0;
    h.ncol = COLS;
    h.nlevel = 0;
    h.iflag = 0;
    std::fill(h.itype.begin(), h.itype.end(), int16_t{1});
    for (int v = 1; v <= NV; ++v) {
        h.a(1, v + 1) = sign * k.c[v - 1];
        h.val(v + 1, 1) = k.c[v - 1];
        h.nobran[v] = mode == Mode::search ? 0 : 1;
    }
    for (int i = 2; i <= ROWS; ++i) {
        h.a(i, 1) = k.b[i - 2];
        for (int v = 1; v <= NV; ++v) h.a(i, v + 1) = k.a[i - 2][v - 1];
    }
}

struct Call {
    double seconds;
    Lines lines;
};

Call call(SingleHost& h, Mode mode) {
    load(h, mode);
    const auto t0 = std::chrono::steady_clock::now();
    h.call(kav::test::single_entry(KAVSOLVE_SINGLE_SO));
    const auto t1 = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(t1 - t0).count(), last_call_lines()};
}

SingleHost& host() {
    static SingleHost h(ROWS, COLS, 1, 1, 0);
    print_file();  // the data directory exists before the first call
    return h;
}

void BM_EntrySearch(benchmark::State& state) {
    SingleHost& h = host();
    double nodes = 0, iters = 0, bps = 0;
    for (auto _ : state) {
        const Call c = call(h, Mode::search);
        state.SetIterationTime(c.seconds);
        bps += c.lines.branch_points;
        nodes += 1 + 2 * c.lines.branch_points;
        iters += c.lines.iterations;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["branch_points"] = bps / n;
    state.counters["nodes"] = nodes / n;
    state.counters["iterations"] = iters / n;
    state.counters["nodes_per_s"] = benchmark::Counter(nodes, benchmark::Counter::kIsRate);
    state.counters["status"] = h.status[0];
}

// GLPK's problem: the same LP, columns in [0, 1], solved from the slack
// basis each time.
struct GlpkLp {
    glp_prob* lp = glp_create_prob();
    GlpkLp() {
        const Knapsack& k = problem();
        glp_term_out(GLP_OFF);
        glp_set_obj_dir(lp, GLP_MAX);
        glp_add_rows(lp, ROWS - 1);
        glp_add_cols(lp, NV);
        for (int v = 1; v <= NV; ++v) {
            glp_set_col_bnds(lp, v, GLP_DB, 0.0, 1.0);
            glp_set_obj_coef(lp, v, k.c[v - 1]);
        }
        std::vector<int> ind(NV + 1);
        std::vector<double> val(NV + 1);
        for (int i = 1; i <= ROWS - 1; ++i) {
            glp_set_row_bnds(lp, i, GLP_UP, 0.0, k.b[i - 1]);
            for (int v = 1; v <= NV; ++v) ind[v] = v, val[v] = k.a[i - 1][v - 1];
            glp_set_mat_row(lp, i, NV, ind.data(), val.data());
        }
    }
    ~GlpkLp() { glp_delete_prob(lp); }
    // Seconds of one solve; the iteration count and the optimum by reference.
    double solve(double& iterations, double& obj) {
        glp_std_basis(lp);
        glp_smcp p;
        glp_init_smcp(&p);
        p.msg_lev = GLP_MSG_OFF;
        const int it0 = glp_get_it_cnt(lp);
        const auto t0 = std::chrono::steady_clock::now();
        glp_simplex(lp, &p);
        const auto t1 = std::chrono::steady_clock::now();
        iterations = glp_get_it_cnt(lp) - it0;
        obj = glp_get_obj_val(lp);
        return std::chrono::duration<double>(t1 - t0).count();
    }
};

// The root LP through the entry against GLPK, each iteration timing all
// three calls; the reported time is the simplex's share of the entry call,
// call_ratio_to_glpk compares the whole call.
void BM_RootLpVsGlpk(benchmark::State& state) {
    SingleHost& h = host();
    static GlpkLp glpk;
    double simplx = 0, rest = 0, whole = 0, glp = 0, iters = 0, glp_iters = 0, glp_obj = 0;
    for (auto _ : state) {
        const Call base = call(h, Mode::no_pivot);
        const Call lp = call(h, Mode::lp);
        double it = 0;
        const double g = glpk.solve(it, glp_obj);
        state.SetIterationTime(lp.seconds - base.seconds);
        simplx += lp.seconds - base.seconds;
        rest += base.seconds;
        whole += lp.seconds;
        glp += g;
        iters += lp.lines.iterations;
        glp_iters += it;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["simplx_ms"] = 1e3 * simplx / n;
    state.counters["entry_rest_ms"] = 1e3 * rest / n;
    state.counters["glpk_ms"] = 1e3 * glp / n;
    state.counters["ratio_to_glpk"] = simplx / glp;
    // The whole root LP call (input echo, packed files, simplex, print
    // lines) against GLPK's simplex on the same LP.
    state.counters["call_ms"] = 1e3 * whole / n;
    state.counters["call_ratio_to_glpk"] = whole / glp;
    state.counters["iterations"] = iters / n;
    state.counters["us_per_iteration"] = iters > 0 ? 1e6 * simplx / iters : 0.0;
    state.counters["glpk_iterations"] = glp_iters / n;
    state.counters["lp_value"] = h.status[0];
    state.counters["glpk_value"] = glp_obj;
}

// The kernel on the tableau shape of the problem: one exchange step and the
// scales and norms that follow it.  Pivoting twice on one entry brings the
// tableau back (to rounding), so the loop runs on one tableau.
void BM_KernelPivotColrng(benchmark::State& state) {
    using namespace kav::kernel;
    const Knapsack& k = problem();
    std::vector<double> t(static_cast<size_t>(SingleHost::LD) * COLS, 0.0);
    for (int v = 1; v <= NV; ++v) {
        t[static_cast<size_t>(v) * SingleHost::LD] = -k.c[v - 1];
        for (int i = 2; i <= ROWS; ++i) t[static_cast<size_t>(v) * SingleHost::LD + i - 1] = k.a[i - 2][v - 1];
    }
    for (int i = 2; i <= ROWS; ++i) t[i - 1] = k.b[i - 2];
    std::vector<int16_t> irow(ROWS), icol(COLS);
    for (int i = 0; i < ROWS; ++i) irow[i] = static_cast<int16_t>(-i);
    for (int j = 1; j < COLS; ++j) icol[j] = static_cast<int16_t>(5000 + j);
    std::vector<double> rs(ROWS), cs(COLS), cn(COLS), rn(ROWS);
    Tableau tb{t.data(), SingleHost::LD, ROWS, COLS, irow.data(), icol.data()};
    Scales sc{rs.data(), cs.data(), cn.data(), rn.data()};
    for (auto _ : state) {
        pivot(tb, ROWS / 3, COLS / 2);
        colrng(SINGLE_CONSTS, tb, sc);
        benchmark::ClobberMemory();
    }
}

void BM_GlpkSimplex(benchmark::State& state) {
    static GlpkLp glpk;
    double iters = 0, obj = 0;
    for (auto _ : state) {
        double it = 0;
        state.SetIterationTime(glpk.solve(it, obj));
        iters += it;
    }
    state.counters["iterations"] = iters / static_cast<double>(state.iterations());
    state.counters["lp_value"] = obj;
}

// The print file of the last call up to its line with the total of
// iterations (the times follow it).
std::string print_up_to_totals() {
    std::ifstream in(print_file(), std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t end = s.find('\n', s.find("TOTAL NUMBER OF ITERATIONS OF PROBLEM ="));
    return end == std::string::npos ? s : s.substr(0, end);
}

// CPU time of the calling thread: the machine is shared, and the search
// runs in the host's thread alone.
double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The search through this build and through the baseline library, in
// alternating order, timed by the thread's CPU time; ratio = this build's
// time over the baseline's, and same_print = 1 when every pair of calls
// wrote the same print file.
void BM_EntrySearchVsBaseline(benchmark::State& state, const std::string& path) {
    SingleHost& h = host();
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto base = lib ? reinterpret_cast<kav::test::SingleEntryFn>(dlsym(lib, "ALLAH_mp_TARVEXO")) : nullptr;
    const auto mine = kav::test::single_entry(KAVSOLVE_SINGLE_SO);
    if (base == nullptr || mine == nullptr || base == mine) {
        state.SkipWithError("the baseline library cannot be loaded apart from this build");
        return;
    }
    double t_mine = 0, t_base = 0, same = 1, status_mine = 0, status_base = 0;
    int round = 0;
    for (auto _ : state) {
        std::string printed[2];
        for (int j = 0; j < 2; ++j) {
            const bool this_build = (j + round) % 2 == 0;
            load(h, Mode::search);
            const double t0 = thread_seconds();
            h.call(this_build ? mine : base);
            const double dt = thread_seconds() - t0;
            (this_build ? t_mine : t_base) += dt;
            if (this_build) state.SetIterationTime(dt);
            (this_build ? status_mine : status_base) = h.status[0];
            printed[this_build ? 0 : 1] = print_up_to_totals();
        }
        if (printed[0] != printed[1]) same = 0;
        ++round;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ms"] = 1e3 * t_mine / n;
    state.counters["baseline_ms"] = 1e3 * t_base / n;
    state.counters["ratio"] = t_mine / t_base;
    state.counters["same_print"] = same;
    state.counters["status"] = status_mine;
    state.counters["baseline_status"] = status_base;
}

const bool baseline_registered = [] {
    const char* path = std::getenv("KAV_BENCH_BASELINE");
    if (path == nullptr || *path == '\0') return false;
    benchmark::RegisterBenchmark("BM_EntrySearchVsBaseline", BM_EntrySearchVsBaseline, std::string(path))
        ->UseManualTime()
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

BENCHMARK(BM_KernelPivotColrng)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlpkSimplex)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RootLpVsGlpk)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EntrySearch)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
