// The allocation library's families: random integer problems with "<=",
// ">=" and equation rows; random allocations with demands, penalties and
// group limits that refuse solutions; one-variable problems drawn from the
// edges of the allocation step (rounding, saturation, closed nodes, missing
// codes); full tableaus and counts beyond the limits.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "corpus.hpp"

namespace kav::corpus {

namespace {

using MixEntry = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*, int16_t*,
                          int16_t*, int16_t*, double*, float*, float*, double*, float*, int16_t*, int16_t*,
                          int16_t*);
constexpr int LD = 100;  // leading dimension of AMAT

// The arguments of one call, each array of exactly its extent.  By default
// every variable is in group 1 and delivers one unit to item 101.
struct MixCall {
    int16_t nrow, ncol, nitem, ngroup;
    std::vector<int16_t> itype, iitem, igroup, igrpv, iitmv, ipen, idem, igcap;
    std::vector<double> amat, valvar;
    std::vector<float> rqty, xout;
    float best0 = 0.0f;
    double status = -1.0;

    MixCall(int rows, int vars, int items = 1, int groups = 1)
        : nrow(static_cast<int16_t>(rows)), ncol(static_cast<int16_t>(vars + items + 1)),
          nitem(static_cast<int16_t>(items)), ngroup(static_cast<int16_t>(groups)), itype(rows, 1),
          iitem(items), igroup(groups), igrpv(ncol, 1), iitmv(ncol, 101), ipen(items, 0), idem(items, 0),
          igcap(groups, 32767), amat(static_cast<size_t>(LD) * ncol, 0.0), valvar(ncol, 0.0),
          rqty(ncol, 1.0f), xout(ncol - 1, -9.0f) {
        for (int m = 0; m < items; ++m) iitem[m] = static_cast<int16_t>(101 + m);
        for (int g = 0; g < groups; ++g) igroup[g] = static_cast<int16_t>(1 + g);
    }
    double& at(int i, int j) { return amat[static_cast<size_t>(j - 1) * LD + (i - 1)]; }
    // Value per unit of variable v: VALVAR and, negated, the objective row.
    void value(int v, double x) {
        valvar[v] = x;
        at(1, v + 1) = -x;
    }

    void call(const std::string& so, const std::string& dir) {
        void* h = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto f = h != nullptr ? reinterpret_cast<MixEntry>(dlsym(h, "ALLAH_mp_TARVEXO1")) : nullptr;
        if (f == nullptr) throw std::runtime_error("cannot load " + so);
        f(&nrow, &ncol, itype.data(), amat.data(), iitem.data(), &nitem, igroup.data(), &ngroup, igrpv.data(),
          iitmv.data(), &status, xout.data(), &best0, valvar.data(), rqty.data(), ipen.data(), idem.data(),
          igcap.data());
        Record r(dir);
        r.text("NROW " + std::to_string(nrow) + " NCOL " + std::to_string(ncol));
        r.values("STATUS", &status, 1);
        r.values("XOUT", xout);
        r.values("ITYPE", itype);
        std::vector<double> t;
        for (int j = 1; j <= std::min<int>(ncol, static_cast<int>(amat.size() / LD)); ++j)
            for (int i = 1; i <= std::min<int>(nrow, LD); ++i) t.push_back(at(i, j));
        r.values("AMAT", t);
    }
};

// Integer variables worth 1..20 under 1..5 "<=" rows, with a ">= 1" row
// passed with negative signs and an equation over two variables in some.
MixCall integer_problem(Draw& d) {
    const int nv = d(2, 7), mr = d(1, 5);
    const bool ge = d(0, 1) == 1, eq = d(0, 2) == 0;
    MixCall c(1 + mr + ge + eq, nv);
    for (int v = 1; v <= nv; ++v) c.value(v, d(1, 20));
    int i = 2;
    for (; i <= mr + 1; ++i) {
        c.at(i, 1) = d(5, 60);
        for (int v = 1; v <= nv; ++v) c.at(i, v + 1) = d(1, 12);
    }
    if (ge) {
        c.at(i, 1) = -1.0;
        c.at(i, 2) = c.at(i, nv + 1) = -1.0;
        ++i;
    }
    if (eq) {
        c.itype[i - 1] = 0;
        c.at(i, 1) = 1.0;
        c.at(i, 2) = c.at(i, 3) = 1.0;
    }
    return c;
}

// Demands, penalties and tight group limits the rows do not hold, so the
// allocation step refuses integral solutions and the search goes on.
MixCall allocation_problem(Draw& d) {
    const int nv = d(2, 6), items = d(1, 3), groups = d(1, 3), extra = d(0, 3);
    MixCall c(2 + extra, nv, items, groups);
    c.best0 = -1000.0f;
    for (int v = 1; v <= nv; ++v) {
        c.value(v, d(0, 5) ? d(1, 30) : -d(1, 5));
        c.igrpv[v] = static_cast<int16_t>(d(1, groups));
        c.iitmv[v] = static_cast<int16_t>(100 + d(1, items));
        c.rqty[v] = 0.5f * static_cast<float>(d(-2, 8));
    }
    for (int m = 0; m < items; ++m) {
        c.idem[m] = static_cast<int16_t>(d(0, 15));
        c.ipen[m] = static_cast<int16_t>(d(0, 20));
    }
    for (int g = 0; g < groups; ++g) c.igcap[g] = static_cast<int16_t>(d(0, 8));
    c.at(2, 1) = d(4, 15) + 0.5;
    for (int v = 1; v <= nv; ++v) c.at(2, v + 1) = d(1, 3);
    for (int i = 3; i <= c.nrow; ++i) {
        const int kind = d(0, 2);
        if (kind == 2) {
            c.itype[i - 1] = 0;
            c.at(i, 1) = d(1, 4);
            c.at(i, d(2, nv + 1)) = 1.0;
            c.at(i, d(2, nv + 1)) = 1.0;
            continue;
        }
        const double sg = kind == 1 ? -1.0 : 1.0;
        c.at(i, 1) = kind == 1 ? -1.0 : d(3, 20) + 0.25;
        for (int v = 1; v <= nv; ++v) c.at(i, v + 1) = sg * d(0, 4);
        c.at(i, d(2, nv + 1)) = sg;
    }
    return c;
}

// x1 worth `value` in one row: each item drawn from values at the edges of
// the search and the allocation step.
MixCall one_variable(Draw& d) {
    auto pick = [&](std::initializer_list<double> v) { return *(v.begin() + d(0, static_cast<int>(v.size()) - 1)); };
    MixCall c(2, 1);
    c.value(1, pick({10.0, 10.0, 0.0005, -4.0}));
    c.itype[1] = static_cast<int16_t>(d(0, 1));
    c.at(2, 1) = pick({1.0, 3.5, 3.995, 4.004, 7.0, -1.0, 0.0005});
    c.at(2, 2) = pick({1.0, 2.0, -0.001, 0.5});
    c.rqty[1] = static_cast<float>(pick({1.0, 2.5, -2.5, 5.0, 3e9, -3e9}));
    c.idem[0] = static_cast<int16_t>(pick({0.0, 4.0, 100.0}));
    c.ipen[0] = static_cast<int16_t>(pick({0.0, 3.0, 5.0}));
    c.igcap[0] = static_cast<int16_t>(pick({10.0, 0.0, 3.0}));
    c.igrpv[1] = static_cast<int16_t>(pick({1.0, 1.0, 4.0}));
    c.iitmv[1] = static_cast<int16_t>(pick({101.0, 101.0, 102.0}));
    c.best0 = static_cast<float>(pick({0.0, 7.0, 10.0, -100.0}));
    return c;
}

}  // namespace

void mix_runs(const Build& b, std::vector<Run>& out) {
    const std::string so = b.mix_so;
    auto add = [&](const char* family, const std::string& name, std::function<MixCall()> make) {
        out.push_back({family, name, [so, make](const std::string& dir) { make().call(so, dir); }});
    };
    for (int i = 0; i < 120; ++i)
        add("mix-integer", run_name(i), [i] {
            Draw d(12000 + i);
            return integer_problem(d);
        });
    for (int i = 0; i < 100; ++i)
        add("mix-allocation", run_name(i), [i] {
            Draw d(14000 + i);
            return allocation_problem(d);
        });
    for (int i = 0; i < 60; ++i)
        add("mix-cases", run_name(i), [i] {
            Draw d(16000 + i);
            return one_variable(d);
        });
    // A full tableau: no room for a branch row.
    add("mix-cases", "full-tableau", [] {
        MixCall c(100, 1);
        c.value(1, 10.0);
        for (int i = 2; i <= 100; ++i) c.at(i, 1) = i == 2 ? 3.5 : 10.0 + i, c.at(i, 2) = 1.0;
        return c;
    });
    // Counts beyond the library's limits.
    add("mix-cases", "nrow-101", [] { return MixCall(101, 2); });
    add("mix-cases", "ncol-1009", [] { return MixCall(3, 1007); });
    add("mix-cases", "nitem-ncol", [] {
        MixCall c(3, 2);
        c.nitem = c.ncol;
        return c;
    });
    add("mix-cases", "ngroup-negative", [] {
        MixCall c(3, 2);
        c.ngroup = -1;
        return c;
    });
}

}  // namespace kav::corpus
