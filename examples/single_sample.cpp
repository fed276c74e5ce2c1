// Example host for the single-problem build of libkavsolve.so: loads the
// library at run time and solves a knapsack of five items whose choice is
// also limited by two resources, on the problem itself and on one
// sensitivity level (more room in the knapsack, item 4 worth more); then
// prints STATUS and XBEST of both levels.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <vector>

using Entry = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*,
                       int16_t*, double*, double*, double*, double*, double*, int32_t*, int16_t*,
                       int16_t*, int32_t*, int32_t*, int32_t*, int16_t*, float*, float*, int16_t*,
                       int16_t*, int32_t*, int32_t*, float*, int16_t*, float*, int16_t*);

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "build/single/libkavsolve.so";
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<Entry>(dlsym(h, "ALLAH_mp_TARVEXO"));
    if (!entry) {
        std::fprintf(stderr, "no entry ALLAH_mp_TARVEXO in %s\n", path);
        return 1;
    }
    constexpr int LD = 241, LDCOL = 10000, NV = 5, NCOL = NV + 1;
    const double profit[NV] = {10, 13, 7, 8, 12};
    const double weight[NV] = {5, 7, 4, 3, 6};

    // Row 1: the profits (maximised); row 2: weights <= 15.  Column 1 holds
    // the right-hand sides.
    int16_t nrow = 2, ncol = NCOL, itype[2] = {0, 1};
    std::vector<double> amat(LD * NCOL, 0.0);
    auto at = [&](int i, int k) -> double& { return amat[(k - 1) * LD + (i - 1)]; };
    at(2, 1) = 15.0;
    for (int v = 1; v <= NV; ++v) {
        at(1, v + 1) = profit[v - 1];
        at(2, v + 1) = weight[v - 1];
    }

    // One sensitivity level: the knapsack row gains 5 units of room (row code
    // -1 = row 2, column code 0 = right-hand side) and item 4 gains 6 in value
    // (row code 0 = objective, column code 5004 = item 4).
    int16_t nlevel = 1, ninc[2] = {2, 0};
    int16_t inccol[6 * 3] = {}, incrow[6 * 3] = {};
    double dinc[6 * 3] = {};
    inccol[0] = 0, incrow[0] = -1, dinc[0] = 5.0;
    inccol[6] = 5004, incrow[6] = 0, dinc[6] = 6.0;

    // Value per unit of every item on both levels: what the search reports.
    std::vector<double> valcol(LDCOL * 2, 0.0);
    for (int v = 1; v <= NV; ++v) {
        valcol[v] = profit[v - 1];
        valcol[LDCOL + v] = profit[v - 1] + (v == 4 ? 6.0 : 0.0);
    }

    // Two resources limit the third usage sum: items 1-3 draw on resource 1
    // (2, 3 and 2 units, at most 4), items 4 and 5 on resource 2 (2 and 3
    // units, at most 3).  The integer limits are far off.
    int16_t nres = 2, iresp[NCOL] = {0, 1, 1, 1, 2, 2}, iresm[NCOL] = {}, nobran[NCOL] = {};
    std::vector<float> ruse1(LDCOL * 2, 0.0f), ruse2(LDCOL * 2, 0.0f);
    const float use[NV] = {2, 3, 2, 2, 3};
    for (int v = 1; v <= NV; ++v) ruse1[v] = ruse1[LDCOL + v] = use[v - 1];
    std::vector<int32_t> iuse(LDCOL * 2, 0);
    int32_t icap1[2] = {1000, 1000}, icap2[2] = {1000, 1000};
    float rcap[10 * 2] = {};
    rcap[0] = rcap[10] = 4.0f;
    rcap[1] = rcap[11] = 3.0f;
    float trcost[2] = {0.0f, 0.0f};

    double status[2] = {0.0, 0.0}, xbest[6 * NV] = {}, objoff = 0.0;
    int32_t improv = 0;
    int16_t iflag = 0, iconf = 0, ncont = 0;
    entry(&nrow, &ncol, itype, amat.data(), ninc, &nlevel, inccol, incrow, dinc, status, xbest,
          valcol.data(), &objoff, &improv, &iflag, &iconf, iuse.data(), iuse.data(), iuse.data(),
          nobran, ruse1.data(), ruse2.data(), iresp, iresm, icap1, icap2, rcap, &nres, trcost,
          &ncont);

    for (int l = 1; l <= 2; ++l) {
        std::printf("single-problem sample, level %d: STATUS = %.1f\nXBEST =", l, status[l - 1]);
        for (int v = 1; v <= NV; ++v) std::printf(" %g", xbest[(l - 1) + 6 * (v - 1)]);
        std::printf("\n");
    }
    dlclose(h);
    return 0;
}
