// The allocation library called through its exported entry, with host
// arrays sized to the arguments: the host side shared by the kavmix tests.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "datadir.hpp"

namespace kav::test {

using Entry = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*,
                       int16_t*, int16_t*, int16_t*, double*, float*, float*, double*, float*,
                       int16_t*, int16_t*, int16_t*);
constexpr int LD = 100;  // leading dimension of AMAT

inline Entry entry() {
    static void* h = dlopen(KAVMIX_SO, RTLD_NOW | RTLD_LOCAL);
    return h ? reinterpret_cast<Entry>(dlsym(h, "ALLAH_mp_TARVEXO1")) : nullptr;
}

// One allocation problem as a host lays it out: columns 2..nv+1 are the
// integer variables, the last `items` columns their items' shortages; every
// argument array has exactly its extent in the argument table.  By default
// each variable is in group 1 and delivers one unit to item 101, with no
// demand, no penalty and no binding limit.
struct Host {
    int nv;
    int16_t nrow, ncol, nitem, ngroup;
    std::vector<int16_t> itype, iitem, igroup, igrpv, iitmv, ipen, idem, igcap;
    std::vector<double> amat, valvar;
    std::vector<float> rqty, xout;
    std::vector<double> amat0;  // the tableau and types as passed (the call
    std::vector<int16_t> itype0;  // leaves its last solve in them)
    float best0 = 0.0f;
    double status = -1.0;
    std::string pnt;

    Host(int rows, int vars, int items = 1, int groups = 1)
        : nv(vars), nrow(int16_t(rows)), ncol(int16_t(vars + items + 1)), nitem(int16_t(items)),
          ngroup(int16_t(groups)), itype(rows, 1), iitem(items), igroup(groups), igrpv(ncol, 1),
          iitmv(ncol, 101), ipen(items, 0), idem(items, 0), igcap(groups, 32767),
          amat(size_t(LD) * ncol, 0.0), valvar(ncol, 0.0), rqty(ncol, 1.0f), xout(ncol - 1, -9.0f) {
        for (int m = 0; m < items; ++m) iitem[m] = int16_t(101 + m);
        for (int g = 0; g < groups; ++g) igroup[g] = int16_t(1 + g);
    }
    double& at(int i, int j) { return amat[size_t(j - 1) * LD + (i - 1)]; }
    double at0(int i, int j) const { return amat0[size_t(j - 1) * LD + (i - 1)]; }
    // Value per unit of variable v (1-based): VALVAR and, negated, row 1.
    void value(int v, double x) {
        valvar[v] = x;
        at(1, v + 1) = -x;
    }
    // One call in a fresh data directory; the counts must come back as passed.
    void call() {
        kav::test::TempDataDir dir;
        const int16_t m = nrow, n = ncol;
        amat0 = amat;
        itype0 = itype;
        entry()(&nrow, &ncol, itype.data(), amat.data(), iitem.data(), &nitem, igroup.data(),
                &ngroup, igrpv.data(), iitmv.data(), &status, xout.data(), &best0, valvar.data(),
                rqty.data(), ipen.data(), idem.data(), igcap.data());
        EXPECT_EQ(nrow, m);
        EXPECT_EQ(ncol, n);
        pnt = kav::test::read_file(dir.file("KAV1.PNT"));
    }
    bool printed(const std::string& line) const {
        return pnt.find("\n" + line + "\n") != std::string::npos;
    }
};

}  // namespace kav::test
