// The decomposition library's families: the bundled sample, random problems
// (continuous, with 0-Z variables for KCODE 501 and for KCODE 500 and below,
// with sensitivity levels and common resources), reruns and second runs in
// one loaded library, many subproblems, hand-off data of every kind, and
// input the entry refuses.
#include <algorithm>
#include <filesystem>
#include <string>

#include "corpus.hpp"
#include "host.hpp"
#include "plain_problem.hpp"

namespace kav::corpus {

using test::Host;
using test::Inc;
using test::PlainProblem;
using test::PlainSub;
using test::Problem;
using test::Sub;

namespace {

// Every call's returned arguments, then XRES of all six levels over the
// result positions of the run, and on to the last nonzero value of any
// level (a value written beyond them shows too).
void record(const std::string& dir, const Host& h, const Problem& p) {
    Record r(dir);
    for (const test::CallRecord& c : h.calls) {
        r.text("call KPROB " + std::to_string(c.kprob_in) + " IFLAG " + std::to_string(c.iflag) + ": KPROB " +
               std::to_string(c.kprob) + " NCROW " + std::to_string(c.ncrow) + " NLEVEL " +
               std::to_string(c.nlevel));
        r.values("ITYPE", c.itype);
        r.values("NINC", c.ninc);
        r.values("INCCOL", c.inccol);
        r.values("INCROW", c.incrow);
        r.values("DINC", c.dinc);
        r.values("RESV", c.resv);
    }
    int positions = 0;
    for (const Sub& s : p.subs) positions += std::max(0, s.ncol - 2);
    positions = std::min(positions, test::XRES_COLS);
    for (int j = positions + 1; j <= test::XRES_COLS; ++j)
        for (int l = 1; l <= test::LD_LEV; ++l)
            if (h.xres(l, j) != 0.0) positions = j;
    for (int l = 1; l <= test::LD_LEV; ++l) {
        std::vector<double> x;
        for (int j = 1; j <= positions; ++j) x.push_back(h.xres(l, j));
        r.values(("XRES level " + std::to_string(l)).c_str(), x);
    }
}

// A run of `p`, then, when given, a rerun (IFLAG 1) or a second run with
// `then`, all in one loaded library.
Run solve(const Build& b, std::string family, std::string name, Problem p,
          std::function<void(Host&)> then = nullptr) {
    return {std::move(family), std::move(name), [so = b.decomp_so, p, then](const std::string& dir) {
                Host h(so);
                h.run(p);
                if (then) then(h);
                record(dir, h, p);
            }};
}

// The bundled sample with right-hand side `rhs` of its common row.
Problem sample(double rhs) {
    PlainProblem pp;
    pp.subs = {PlainSub{0, {3, 2}, {{1, 1}}, {1}}, PlainSub{0, {1, 4}, {{1, 1}}, {1}}};
    pp.cpl = {{{2, 0.5}, {1, 2}}};
    pp.rhs = {rhs};
    return test::to_host(pp, 1);
}

// Common resources: the data the 0-Z tail tests its proposals against, wide
// member capacities, and their per-level limits.
void add_resources(Problem& p, int ncres, Draw& d, int seed) {
    p.ncres = static_cast<int16_t>(ncres);
    for (Sub& s : p.subs) {
        for (auto& v : s.rrk) v.assign(ncres, 0.0f);
        for (auto& v : s.irk) v.assign(ncres, 0);
        s.rrl1.assign(ncres, {});
        s.rrl2.assign(ncres, {});
        for (int j = 0; j < ncres; ++j) {
            s.rrk[0][j] = 100.0f;
            for (int q = 1; q < 4; ++q) s.rrk[q][j] = static_cast<float>(d(0, 40)) * 0.5f;
            for (int q = 0; q < 6; ++q) s.irk[q][j] = static_cast<int16_t>(d(0, 3));
            for (int l = 0; l < 6; ++l) {
                s.rrl1[j][l] = static_cast<float>(d(0, 60)) * 0.5f;
                s.rrl2[j][l] = static_cast<float>(d(0, 60)) * 0.5f;
            }
        }
    }
    p.fill_passthrough(seed);  // sizes the per-resource items too
}

// Sensitivity levels 2..nlevel+1: increments of profits, right-hand sides
// and entries of each subproblem's own rows, the 0-Z values per level.
void add_levels(Problem& p, int nlevel, Draw& d) {
    p.nlevel = static_cast<int16_t>(nlevel);
    for (Sub& s : p.subs) {
        const int nv = s.ncol - 2, nr = s.nrow - 2;
        for (int l = 2; l <= nlevel + 1; ++l) {
            std::vector<Inc>& incs = s.inc[l - 1];
            incs.clear();
            for (int n = d(1, 3); n > 0; --n) {
                const auto v = static_cast<int16_t>(d(1, nv));
                const auto r = static_cast<int16_t>(-d(1, std::max(1, nr)));
                switch (d(0, 2)) {
                case 0: incs.push_back({v, 0, d.quarter(-1.0, 2.0)}); break;
                case 1: incs.push_back({0, r, d.quarter(0.25, 1.5)}); break;
                default: incs.push_back({v, r, d.quarter(-0.5, 1.0)});
                }
            }
        }
        for (int k = 2; k <= s.nzo + 1; ++k)
            for (int l = 0; l < 6; ++l) {
                s.zovd[k - 1][l] = d(0, 8);
                s.zovr[k - 1][l] = static_cast<float>(d(0, 12)) * 0.5f;
            }
    }
}

// Attribute words and values of the 0-Z variables and the problem record
// items the 0-Z tail reads, at random in small ranges.
void add_zo_attributes(Problem& p, Draw& d) {
    for (size_t k = 0; k < p.subs.size(); ++k) {
        Sub& s = p.subs[k];
        for (int c = 2; c <= s.nzo + 1; ++c) {
            s.iza[c - 1] = {static_cast<int16_t>(d(0, 2)), static_cast<int16_t>(d(0, 2)),
                            static_cast<int16_t>(d(0, 2)), static_cast<int16_t>(d(0, 2))};
            s.zovd[c - 1][0] = d(1, 8);
            s.zovr[c - 1][0] = static_cast<float>(d(0, 12)) * 0.5f;
        }
        p.kr01[k] = p.kr02[k] = p.kr07[k] = p.kr08[k] = p.kr16[k] = 0;
        p.kr17[k] = static_cast<int16_t>(d(0, 2));
        p.kr18[k] = static_cast<int16_t>(d(0, 2));
        p.kr19[k] = static_cast<int16_t>(d(0, 1));
        p.kr20[k] = p.kr21[k] = 0;
        p.kr06[k] = static_cast<float>(d(5, 30));
    }
}

// A problem with every kind of hand-off data: row types -1..2, coupling row
// counts that grow and shrink from subproblem to subproblem, 0-Z entries
// with attribute words, unsorted increments with repeated codes, resources
// and KCODE of both kinds.  The rows are "<=" rows (every nonzero type is
// one) with nonnegative data, so most problems reach the solve.
Problem handoff_problem(Draw& d, int seed) {
    Problem p;
    p.nsub = static_cast<int16_t>(d(1, 4));
    const int ncres = d(0, 3);
    p.nlevel = static_cast<int16_t>(d(-1, 3));
    const int16_t kcodes[] = {100, 200, 300, 500, 501, 600}, types[] = {-1, 1, 1, 2};
    std::vector<int16_t> nrows;
    for (int k = 1; k <= p.nsub; ++k) nrows.push_back(static_cast<int16_t>(d(3, 7)));
    const int fewest = *std::min_element(nrows.begin(), nrows.end());
    int16_t rmax = 2;
    for (int k = 1; k <= p.nsub; ++k) {
        const int16_t nrow = nrows[k - 1], ncol = static_cast<int16_t>(d(3, 8));
        const auto ncrow = static_cast<int16_t>(d(2, std::min(fewest, 5)));
        rmax = std::max(rmax, ncrow);
        Sub s = Sub::sized(nrow, ncol, static_cast<int16_t>(d(0, ncol - 2)), ncrow, ncres);
        s.kcode = kcodes[d(0, 5)];
        for (int i = 1; i < nrow; ++i) {
            if (i > 1) s.A(i, 1) = d.quarter(0.5, 10.0);
            for (int c = 2; c < ncol; ++c) s.A(i, c) = d(0, 2) == 0 ? 0.0 : d.quarter(0.25, 6.0);
            s.A(i, d(2, ncol - 1)) = d.quarter(0.25, 6.0);
        }
        for (int c = 2; c < ncol; ++c) {  // every variable bounded by a row
            bool bounded = false;
            for (int i = 2; i < nrow; ++i) bounded = bounded || s.A(i, c) > 0.0;
            if (!bounded) s.A(d(2, nrow - 1), c) = d.quarter(0.25, 6.0);
        }
        for (int i = 2; i < nrow; ++i) s.type[i - 1] = types[d(0, 3)];
        s.type[nrow - 1] = 0;  // the weight row
        s.A(nrow, 1) = s.A(nrow, ncol) = 1.0;
        if (d(0, 3) == 0) s.A(3, ncol) = -1.0;
        for (int c = 2; c <= ncol; ++c) s.C(1, c) = s.A(1, c);
        for (int i = 2; i < ncrow; ++i) {
            for (int c = 2; c < ncol; ++c) s.C(i, c) = d(0, 2) == 0 ? 0.0 : d.quarter(0.25, 4.0);
            s.C(i, d(2, ncol - 1)) = d.quarter(0.25, 4.0);
        }
        if (d(0, 1) == 0)
            for (int c = 1; c <= ncol; ++c) s.C(ncrow, c) = 100.0 * k + c;  // a full last row
        for (int c = 2; c <= s.nzo + 1; ++c) {
            s.iza[c - 1] = {static_cast<int16_t>(d(-3, 30)), static_cast<int16_t>(d(-3, 3)),
                            static_cast<int16_t>(d(0, 9)), static_cast<int16_t>(d(0, 4))};
            for (int l = 0; l < 6; ++l) {
                s.zovd[c - 1][l] = d.quarter(-2.0, 20.0);
                s.zovr[c - 1][l] = static_cast<float>(d.quarter(0.0, 6.0));
            }
        }
        for (int l = 0; l <= std::max<int>(p.nlevel, 0); ++l)
            for (int n = d(0, 4); n > 0; --n) {
                const int kind = d(0, 2);
                const auto col = static_cast<int16_t>(kind == 0 ? 0 : kind == 1 ? d(1, ncol - 1) : 5000 + d(1, std::max<int>(1, s.nzo)));
                s.inc[l].push_back({col, static_cast<int16_t>(-d(0, nrow - 1)), d.quarter(-3.0, 3.0)});
            }
        for (int j = 0; j < ncres; ++j) {
            for (int q = 0; q < 4; ++q) s.rrk[q][j] = static_cast<float>(d.quarter(0.0, 50.0));
            for (int q = 0; q < 6; ++q) s.irk[q][j] = static_cast<int16_t>(d(-5, 500));
            for (int l = 0; l < 6; ++l) {
                s.rrl1[j][l] = static_cast<float>(d.quarter(0.0, 30.0));
                s.rrl2[j][l] = static_cast<float>(d.quarter(-30.0, 0.0));
            }
        }
        p.subs.push_back(std::move(s));
    }
    p.ncres = static_cast<int16_t>(ncres);
    p.fill_passthrough(seed);
    for (int i = 1; i <= rmax; ++i) {
        p.itypcr.push_back(i == 1 || i == rmax ? 0 : types[d(0, 3)]);
        p.crval.push_back(i == 1 || i == rmax ? 0.0 : d.quarter(1.0, 20.0));
    }
    return p;
}

// Input the entry refuses or cannot store: every limit of a call, calls out
// of order, reruns it cannot make, a data directory it cannot use.
void stop_runs(const Build& b, std::vector<Run>& out) {
    const std::string fam = "decomp-stops";
    std::mt19937 g(707);
    const Problem base = [&] {
        Problem p = test::to_host(test::random_problem_upto(g, 2), 7);
        p.nlevel = 1;
        return p;
    }();
    using Change = std::function<void(Problem&)>;
    const std::pair<const char*, Change> runs[] = {
        {"nsub-61", [](Problem& p) { p.nsub = 61; }},
        {"ncres-61", [](Problem& p) { p.ncres = 61; }},
        {"nlevel-6", [](Problem& p) { p.nlevel = 6; }},
        {"nrow-0", [](Problem& p) { p.subs[0].nrow = 0; }},
        {"ncol-0", [](Problem& p) { p.subs[1].ncol = 0; }},
        {"ncrow-1", [](Problem& p) { p.subs[0].ncrow = 1; }},
        {"ncrow-401",
         [](Problem& p) {
             p.subs[0].cpl.resize(401u * static_cast<size_t>(p.subs[0].ncol));
             p.subs[0].ncrow = 401;
         }},
        {"ncrow-above-nrow",
         [](Problem& p) {
             Sub& s = p.subs[1];
             s.cpl.resize(static_cast<size_t>(s.nrow + 1) * static_cast<size_t>(s.ncol));
             s.ncrow = static_cast<int16_t>(s.nrow + 1);
         }},
        {"nzo-above-ncol", [](Problem& p) { p.subs[0].nzo = static_cast<int16_t>(p.subs[0].ncol - 1); }},
        {"nzo-860", [](Problem& p) { p.subs[1].nzo = 860; }},
        {"ninc-2001", [](Problem& p) { p.subs[0].inc[1].assign(2001, Inc{1, 0, 0.25}); }},
        {"zero-row",
         [](Problem& p) {
             Sub& s = p.subs[1];
             for (int c = 1; c <= s.ncol; ++c) s.A(2, c) = 0.0;
         }},
    };
    for (const auto& [name, change] : runs) {
        Problem p = base;
        change(p);
        out.push_back(solve(b, fam, name, p));
    }
    const std::string so = b.decomp_so;
    auto calls = [&](const char* name, std::function<void(Host&, const std::string&)> body) {
        out.push_back({fam, name, [so, base, body](const std::string& dir) {
                           Host h(so);
                           body(h, dir);
                           record(dir, h, base);
                       }});
    };
    calls("kprob-out-of-order", [base](Host& h, const std::string&) {
        h.set_common(base);
        h.call_sub(base, 2, 0);  // before any first call
        h.call_sub(base, 1, 0);
        h.set_sub(base.subs[1]);  // the completing call's number while 2 is due
        h.KPROB = 3;
        h.call();
        h.call_sub(base, 2, 0);
    });
    calls("incomplete-run", [base](Host& h, const std::string&) {
        h.set_common(base);
        h.call_sub(base, 1, 0);
    });
    calls("rerun-without-run", [base](Host& h, const std::string&) { h.rerun(base); });
    calls("rerun-ninc-2001", [base](Host& h, const std::string&) {
        h.run(base);
        Problem r = base;
        r.subs[0].inc[0].assign(2001, Inc{1, 0, 1.0});
        h.rerun(r);
    });
    calls("no-data-directory", [base](Host& h, const std::string& dir) {
        setenv("KAV_DATA_DIR", (dir + "/missing").c_str(), 1);
        h.run(base);
    });
    for (const char* f : {"KAV.PNT", "PAR2.DAT", "TAB20.DAT", "PAR5.DAT"})
        calls((std::string("unwritable-") + f).c_str(), [base, f](Host& h, const std::string& dir) {
            std::filesystem::create_directory(dir + "/" + f);
            h.run(base);
        });
}

// The library's run in lib/, then kavmpi with 2 NSUB + 1 processes on the
// input set made from its hand-off files in mpi/.
Run mpi_run(const Build& b, std::string name, Problem p) {
    std::fill(p.kr16.begin(), p.kr16.end(), 0);  // every subproblem's search starts at 0
    auto body = [b, p](const std::string& dir) {
        namespace fs = std::filesystem;
        const std::string lib = dir + "/lib", mpi = dir + "/mpi";
        fs::create_directories(lib);
        fs::create_directories(mpi);
        setenv("KAV_DATA_DIR", lib.c_str(), 1);
        {
            Host h(b.decomp_so);
            h.run(p);
            record(lib, h, p);
        }
        for (const auto& e : fs::directory_iterator(lib))
            if (e.path().filename() != RESULTS_FILE) fs::copy_file(e.path(), mpi / e.path().filename());
        Record r(mpi);
        const auto q = [](const std::string& s) { return "'" + s + "'"; };
        r.text("input_set_writer exit " + std::to_string(shell(q(b.input_set_writer) + " " + q(mpi))));
        // Only the flag word of PAR5.DAT stays, so the results read back are
        // the ones kavmpi writes.
        std::error_code ec;
        fs::resize_file(mpi + "/PAR5.DAT", 2, ec);
        setenv("KAV_DATA_DIR", mpi.c_str(), 1);
        const int procs = 2 * p.nsub + 1;
        r.text("mpiexec exit " +
               std::to_string(shell("timeout -k 5 120 mpiexec -n " + std::to_string(procs) + " " + q(b.kavmpi))));
    };
    return {"kavmpi", std::move(name), body, 2, 300};
}

}  // namespace

void kavmpi_runs(const Build& b, std::vector<Run>& out) {
    out.push_back(mpi_run(b, "sample", sample(2.25)));
    {
        Problem p = sample(2.25);
        Draw d(11);
        add_resources(p, 1, d, 1);
        add_levels(p, 2, d);
        out.push_back(mpi_run(b, "sample-resource-levels", p));
    }
    std::mt19937 g(606);
    for (int i = 0; i < 5; ++i)
        out.push_back(mpi_run(b, "continuous-" + std::to_string(i),
                              test::to_host(test::without_zo(test::random_problem_upto(g, 4)), i)));
    for (int i = 0; i < 5; ++i) {
        Problem p = test::to_host(test::without_zo(test::random_problem_upto(g, 4)), 10 + i);
        Draw d(6060 + i);
        add_levels(p, d(1, 2), d);
        out.push_back(mpi_run(b, "levels-" + std::to_string(i), p));
    }
    // 0-Z variables in no row: the first continuous solution is integral.
    for (int i = 0; i < 5; ++i) {
        PlainProblem pp = test::random_problem_upto(g, 4);
        if (i % 3 == 2) pp.kcode = 100;
        for (size_t k = 0; k < pp.subs.size(); ++k)
            for (int v = 0; v < pp.subs[k].nz; ++v) {
                for (auto& row : pp.subs[k].a) row[v] = 0.0;
                for (auto& row : pp.cpl) row[k][v] = 0.0;
            }
        out.push_back(mpi_run(b, "integral-root-" + std::to_string(i), test::to_host(pp, 20 + i)));
    }
    for (int i = 0; i < 10; ++i) {
        PlainProblem pp = test::random_problem_upto(g, 4);
        if (i % 2 == 1) pp.kcode = 100;
        if (pp.subs[0].nz == 0) pp.subs[0].nz = 1;
        out.push_back(mpi_run(b, std::string(i % 2 ? "mixed100-" : "mixed501-") + std::to_string(i / 2),
                              test::to_host(pp, 30 + i)));
    }
}

void decomp_runs(const Build& b, std::vector<Run>& out) {
    out.push_back(solve(b, "decomp-sample", "rhs-2.25", sample(2.25)));
    out.push_back(solve(b, "decomp-sample", "rhs-1.5", sample(1.5)));
    {
        Problem p = sample(2.25);
        Draw d(11);
        add_resources(p, 1, d, 1);
        add_levels(p, 2, d);
        out.push_back(solve(b, "decomp-sample", "resource-levels", p));
    }

    std::mt19937 g(101);
    for (int i = 0; i < 40; ++i)
        out.push_back(solve(b, "decomp-continuous", run_name(i), test::to_host(test::without_zo(test::random_problem(g)), i)));

    g.seed(202);
    for (int i = 0; i < 50; ++i)
        out.push_back(solve(b, "decomp-mixed501", run_name(i), test::to_host(test::random_problem(g), i)));

    // KCODE 500 and below, three kinds: zero attribute words (100), random
    // words with resources and the tail's record items (500), a start value
    // of 0 (300).
    g.seed(303);
    for (int i = 0; i < 45; ++i) {
        PlainProblem pp = test::random_problem(g);
        const int kind = i % 3;
        pp.kcode = kind == 0 ? 100 : kind == 1 ? 500 : 300;
        Problem p = test::to_host(pp, i);
        Draw d(3000 + i);
        if (kind == 1) {
            add_resources(p, d(1, 2), d, i);
            add_zo_attributes(p, d);
        }
        if (kind == 2) std::fill(p.kr16.begin(), p.kr16.end(), 0);
        out.push_back(solve(b, "decomp-mixed500", run_name(i), p));
    }

    // Levels on continuous and mixed problems of both kinds, some with
    // common resources.
    g.seed(404);
    for (int i = 0; i < 36; ++i) {
        PlainProblem pp = test::random_problem(g);
        if (i % 3 == 0) pp = test::without_zo(pp);
        if (i % 3 == 2) pp.kcode = 100;
        Problem p = test::to_host(pp, i);
        Draw d(4000 + i);
        if (i % 4 == 1) add_resources(p, d(1, 3), d, i);
        add_levels(p, d(1, 5), d);
        out.push_back(solve(b, "decomp-levels", run_name(i), p));
    }

    // Reruns with new level-1 increments, new 0-Z values and new record
    // items; and second runs of another problem in the same library.
    g.seed(505);
    for (int i = 0; i < 24; ++i) {
        PlainProblem pp = test::random_problem(g);
        if (i % 4 == 3) pp.kcode = 100;
        Problem p = test::to_host(pp, i);
        Draw d(5000 + i);
        add_levels(p, d(1, 2), d);
        Problem again = p;
        if (i % 3 == 2) {
            again = test::to_host(test::random_problem(g), 100 + i);
            out.push_back(solve(b, "decomp-reruns", run_name(i), p, [again](Host& h) { h.run(again); }));
            continue;
        }
        again.fill_passthrough(50 + i);
        for (Sub& s : again.subs) {
            s.inc[0].clear();
            for (int n = d(1, 3); n > 0; --n)
                s.inc[0].push_back({static_cast<int16_t>(d(1, s.ncol - 2)), static_cast<int16_t>(-d(0, 1)),
                                    d.quarter(-1.0, 1.0)});
            for (int c = 2; c <= s.nzo + 1; ++c) s.zovd[c - 1][1] = d(0, 9);
        }
        out.push_back(solve(b, "decomp-reruns", run_name(i), p, [again](Host& h) { h.rerun(again); }));
    }

    // Many subproblems, up to the 60 a host may pass.
    const int many[][2] = {{12, 2}, {20, 1}, {33, 0}, {40, 0}, {40, 1}, {60, 0}};
    for (const auto& [nsub, nz] : many)
        out.push_back(solve(b, "decomp-many", std::to_string(nsub) + "x" + std::to_string(nz),
                            test::to_host(test::blocks(nsub, nz, 7u + static_cast<unsigned>(nsub)), nsub)));

    for (int i = 0; i < 30; ++i) {
        Draw d(6000 + i);
        out.push_back(solve(b, "decomp-handoff", run_name(i), handoff_problem(d, i)));
    }
    stop_runs(b, out);
}

}  // namespace kav::corpus
