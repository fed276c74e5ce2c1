// The single-problem library's families: random 0-1 problems over up to four
// sensitivity levels with offsets, start values, columns never branched on
// and reruns; small problems whose resource test decides; and input the
// entry refuses.
#include <cmath>
#include <stdexcept>
#include <string>

#include "corpus.hpp"
#include "single_host.hpp"

namespace kav::corpus {

using test::SingleHost;

namespace {

// maximise c x over x in {0,1}^n with A x <= b: nonnegative integer data,
// every row and column with an entry, right-hand sides at 20-70% of a row.
struct ZeroOne {
    int n = 0, m = 0;
    std::vector<double> c, b;
    std::vector<std::vector<double>> a;
};

ZeroOne zero_one(Draw& d, int n, int m) {
    ZeroOne p{n, m, {}, {}, std::vector<std::vector<double>>(m, std::vector<double>(n, 0.0))};
    for (int v = 0; v < n; ++v) p.c.push_back(d(1, 30));
    for (int i = 0; i < m; ++i) {
        double sum = 0.0;
        for (int v = 0; v < n; ++v) sum += p.a[i][v] = d(0, 3) == 0 ? 0 : d(1, 20);
        if (sum == 0.0) sum = p.a[i][d(0, n - 1)] = d(1, 20);
        p.b.push_back(std::floor(sum * d(20, 70) / 100.0));
    }
    for (int v = 0; v < n; ++v) {
        bool any = false;
        for (int i = 0; i < m; ++i) any = any || p.a[i][v] != 0.0;
        if (!any) p.a[d(0, m - 1)][v] = d(1, 20);
    }
    return p;
}

void load(SingleHost& h, const ZeroOne& p) {
    for (int v = 1; v <= p.n; ++v) h.a(1, v + 1) = p.c[v - 1];
    for (int i = 0; i < p.m; ++i) {
        h.a(i + 2, 1) = p.b[i];
        for (int v = 1; v <= p.n; ++v) h.a(i + 2, v + 1) = p.a[i][v - 1];
    }
}

// The values per unit of level l: the profits.
void set_values(SingleHost& h, const ZeroOne& p, int l) {
    for (int v = 1; v <= p.n; ++v) h.val(v + 1, l) = p.c[v - 1];
}

// Up to `count` increments at level l of the host's lists: profits, the
// objective's constant, right-hand sides, entries.  They make the problem
// of level `solved` (l + 1 in a first call, 1 in a rerun), whose values per
// unit follow the profit increments.
void add_incs(SingleHost& h, const ZeroOne& p, int l, int solved, int count, Draw& d) {
    set_values(h, p, solved);
    for (int i = 0; i < count; ++i) {
        const int v = d(1, p.n);
        const auto row = static_cast<int16_t>(-d(1, p.m));
        switch (d(0, 3)) {
        case 0: {
            const double inc = d(-5, 12);
            h.add_inc(l, static_cast<int16_t>(5000 + v), 0, inc);
            h.val(v + 1, solved) += inc;
            break;
        }
        case 1: h.add_inc(l, 0, 0, d(-6, 6)); break;
        case 2: h.add_inc(l, 0, row, d(-4, 15)); break;
        default: h.add_inc(l, static_cast<int16_t>(5000 + v), row, d(0, 8));
        }
    }
}

// STATUS, XBEST and the arguments the call leaves changed.
void record(Record& r, const SingleHost& h, const char* what) {
    r.text(std::string(what) + ": NCOL " + std::to_string(h.ncol) + " NLEVEL " + std::to_string(h.nlevel) +
           " IFLAG " + std::to_string(h.iflag));
    r.values("STATUS", h.status);
    r.values("XBEST", h.xbest);
    r.values("NINC", h.ninc);
    r.values("ITYPE", h.itype);
    std::vector<double> t;
    for (int c = 1; c <= h.ncol && c * SingleHost::LD <= static_cast<int>(h.amat.size()); ++c)
        for (int i = 1; i <= h.nrow && i <= SingleHost::LD; ++i) t.push_back(h.amat[(c - 1) * SingleHost::LD + (i - 1)]);
    r.values("AMAT", t);
}

void call(const Build& b, SingleHost& h) {
    auto f = test::single_entry(b.single_so.c_str());
    if (f == nullptr) throw std::runtime_error("cannot load " + b.single_so);
    h.call(f);
}

void level_run(const Build& b, unsigned seed, const std::string& dir) {
    Draw d(seed);
    const ZeroOne p = zero_one(d, d(2, 18), d(1, 8));
    const int nlevel = d(-1, 3), levels = std::max(1, nlevel + 1);
    SingleHost h(p.m + 1, p.n + 1, levels, 5, 0);
    load(h, p);
    h.nlevel = static_cast<int16_t>(nlevel);
    h.objoff = d(0, 3) == 0 ? 0.0 : d(0, 20);
    h.improv = d(0, 3) == 0 ? d(-5, 40) : 0;
    if (d(0, 2) == 0)
        for (int k = 2; k <= p.n + 1; ++k) h.nobran[k - 1] = d(0, 4) == 0;
    set_values(h, p, 1);
    for (int l = 1; l <= nlevel; ++l) add_incs(h, p, l, l + 1, d(0, 5), d);
    call(b, h);
    Record r(dir);
    record(r, h, "call");
    if (d(0, 2) != 0) return;
    // A rerun: the matrix plus new level-1 increments.
    std::fill(h.amat.begin(), h.amat.end(), 0.0);
    std::fill(h.itype.begin(), h.itype.end(), int16_t{1});
    h.ncol = static_cast<int16_t>(p.n + 1);
    load(h, p);
    h.iflag = 1;
    h.ninc.assign(h.ninc.size(), 0);
    add_incs(h, p, 1, 1, d(1, 5), d);
    h.status.assign(h.status.size(), -5.0);
    call(b, h);
    record(r, h, "rerun");
}

// Usage lists, limits at random shares of the whole usage (so they bind
// often), configuration codes of both kinds, transfer variables.
void resource_run(const Build& b, unsigned seed, const std::string& dir) {
    Draw d(seed);
    const ZeroOne p = zero_one(d, d(2, 8), d(1, 3));
    const int nlevel = d(0, 1), levels = nlevel + 1, nres = d(1, 3);
    std::vector<float> trcost(nres);
    std::vector<double> tau;
    for (float& t : trcost) {
        t = d(0, 1) == 0 ? static_cast<float>(d(1, 6)) : -static_cast<float>(d(0, 1));
        if (t > 0.0f) tau.push_back(d(1, 2) * 0.5);
    }
    const int ntr = static_cast<int>(tau.size()), k = p.n + 1;
    SingleHost h(p.m + 1 + ntr, k + ntr, levels, 3, nres);
    load(h, p);
    h.ncont = static_cast<int16_t>(ntr);
    h.nlevel = static_cast<int16_t>(nlevel);
    set_values(h, p, 1);
    if (nlevel == 1) add_incs(h, p, 1, 2, d(0, 3), d);
    const int16_t confs[] = {0, 1, 2, 3, 4, 6, 7, 110, 320, 610, -2};
    h.iconf = confs[d(0, 10)];
    std::vector<double> total(3 * nres, 0.0);
    for (int v = 1; v <= p.n; ++v) {
        h.iresp[v] = static_cast<int16_t>(d(0, nres));
        h.iresm[v] = static_cast<int16_t>(d(0, 2) == 0 ? d(1, nres) : 0);
        for (int l = 1; l <= levels; ++l) {
            const size_t at = SingleHost::pl(v + 1, l);
            h.iuse1[at] = d(0, 12);
            h.iuse2[at] = d(0, 12);
            h.iuse3[at] = d(0, 12);
            h.ruse1[at] = d(0, 8) * 0.5f;
            h.ruse2[at] = d(0, 8) * 0.5f;
            if (h.iresp[v] > 0 && l == 1) {
                const int j = h.iresp[v] - 1;
                total[3 * j] += h.iuse1[at];
                total[3 * j + 1] += std::max(h.iuse2[at], h.iuse3[at]);
                total[3 * j + 2] += h.ruse1[at];
            }
        }
    }
    for (int j = 1; j <= nres; ++j) {
        h.icap1[j - 1] = static_cast<int32_t>(total[3 * (j - 1)] * d(20, 110) / 100.0);
        h.icap2[j - 1] = static_cast<int32_t>(total[3 * (j - 1) + 1] * d(20, 110) / 100.0);
        h.trcost[j - 1] = trcost[j - 1];
        for (int l = 1; l <= levels; ++l)
            h.cap3(j, l) = static_cast<float>(std::floor(total[3 * (j - 1) + 2] * d(20, 110) / 50.0) / 2.0);
    }
    for (int u = 1, j = 0; j < nres; ++j) {
        if (trcost[j] <= 0.0f) continue;
        const int col = k + u, row = p.m + 1 + u;
        h.a(1, col) = trcost[j];
        h.a(row, col) = 1.0;
        h.a(row, 1) = tau[u - 1];
        ++u;
    }
    call(b, h);
    Record r(dir);
    record(r, h, "call");
}

// Input the entry refuses, each changed from one small valid problem.
void fault_runs(const Build& b, std::vector<Run>& out) {
    using Change = std::function<void(SingleHost&)>;
    const std::pair<const char*, Change> faults[] = {
        {"nrow-0", [](SingleHost& h) { h.nrow = 0; }},
        {"nrow-242", [](SingleHost& h) { h.nrow = 242; }},
        {"ncol-1", [](SingleHost& h) { h.ncol = 1; }},
        {"ncont-ncol", [](SingleHost& h) { h.ncont = h.ncol; }},
        {"nlevel-minus-2", [](SingleHost& h) { h.nlevel = -2; }},
        {"nlevel-6", [](SingleHost& h) { h.nlevel = 6; }},
        {"nres-11", [](SingleHost& h) { h.nres = 11; }},
        {"increment-outside",
         [](SingleHost& h) {
             h.nlevel = 1;
             h.add_inc(1, 5009, 0, 1.0);
         }},
        {"ninc-negative",
         [](SingleHost& h) {
             h.nlevel = 1;
             h.ninc[0] = -1;
         }},
        {"equality-row", [](SingleHost& h) { h.itype[1] = 0; }},
        {"row-without-entries",
         [](SingleHost& h) {
             for (int c = 1; c <= h.ncol; ++c) h.a(3, c) = c == 2 ? 0.0005 : 0.0;
         }},
        {"infeasible",
         [](SingleHost& h) {
             h.a(2, 1) = -1.0;
             for (int c = 2; c <= h.ncol; ++c) h.a(2, c) = 1.0;
         }},
        {"rerun-first", [](SingleHost& h) { h.iflag = 1; }},
    };
    for (const auto& [name, change] : faults)
        out.push_back({"single-faults", name, [&b, change](const std::string& dir) {
                           Draw d(77);
                           const ZeroOne p = zero_one(d, 6, 3);
                           SingleHost h(p.m + 1, p.n + 1, 2, 3, 1);
                           load(h, p);
                           set_values(h, p, 1);
                           h.itype.resize(SingleHost::LD + 1, 1);
                           change(h);
                           call(b, h);
                           Record r(dir);
                           record(r, h, "call");
                       }});
    out.push_back({"single-faults", "rerun-without-increments", [&b](const std::string& dir) {
                       Draw d(78);
                       const ZeroOne p = zero_one(d, 6, 3);
                       SingleHost h(p.m + 1, p.n + 1, 1, 3, 0);
                       load(h, p);
                       set_values(h, p, 1);
                       call(b, h);
                       Record r(dir);
                       record(r, h, "call");
                       h.iflag = 1;
                       call(b, h);
                       record(r, h, "rerun");
                   }});
}

}  // namespace

void single_runs(const Build& b, std::vector<Run>& out) {
    for (int i = 0; i < 120; ++i)
        out.push_back({"single-levels", run_name(i), [&b, i](const std::string& dir) { level_run(b, 8100u + i, dir); }});
    for (int i = 0; i < 100; ++i)
        out.push_back({"single-resources", run_name(i), [&b, i](const std::string& dir) { resource_run(b, 9100u + i, dir); }});
    fault_runs(b, out);
}

}  // namespace kav::corpus
