// Example host for the allocation library: loads libkavmix.so at run time and
// solves a small allocation problem with two groups, three items and one
// shortage, then prints STATUS and XOUT.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>

using Entry = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*,
                       int16_t*, int16_t*, int16_t*, double*, float*, float*, double*, float*,
                       int16_t*, int16_t*, int16_t*);

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "build/mix/libkavmix.so";
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<Entry>(dlsym(h, "ALLAH_mp_TARVEXO1"));
    if (!entry) {
        std::fprintf(stderr, "no entry ALLAH_mp_TARVEXO1 in %s\n", path);
        return 1;
    }
    // Columns: 1 right-hand sides, 2..5 integer variables, 6..8 shortages of
    // items 11, 12, 13.  Rows: 1 objective (minus the values), 2 and 3 "<=".
    int16_t nrow = 3, ncol = 8, nitem = 3, ngroup = 2;
    int16_t itype[3] = {0, 1, 1};
    static double amat[100 * 8] = {};
    const double val[8] = {0, 5, 4, 3, 6, 0, 0, 0};
    auto at = [](int i, int j) -> double& { return amat[(j - 1) * 100 + (i - 1)]; };
    for (int k = 2; k <= 5; ++k) at(1, k) = -val[k - 1];
    at(2, 1) = 3.5, at(2, 2) = 1, at(2, 3) = 1;  // v1 + v2 <= 3.5
    at(3, 1) = 2.0, at(3, 4) = 1, at(3, 5) = 1;  // v3 + v4 <= 2
    int16_t iitem[3] = {11, 12, 13}, igroup[2] = {1, 2};
    int16_t igrpv[8] = {0, 1, 1, 2, 2, 0, 0, 0}, iitmv[8] = {0, 11, 12, 13, 11, 0, 0, 0};
    double valvar[8];
    for (int k = 0; k < 8; ++k) valvar[k] = val[k];
    float rqty[8] = {0, 1, 1, 1, 1, 0, 0, 0};
    int16_t ipen[3] = {1, 1, 1}, idem[3] = {2, 0, 2}, igcap[2] = {10, 10};
    double status = 0.0;
    float xout[7] = {};
    float best0 = 0.0f;
    entry(&nrow, &ncol, itype, amat, iitem, &nitem, igroup, &ngroup, igrpv, iitmv, &status,
          xout, &best0, valvar, rqty, ipen, idem, igcap);
    std::printf("allocation sample: STATUS = %.1f\nXOUT =", status);
    for (float x : xout) std::printf(" %g", x);
    std::printf("\n");
    dlclose(h);
    return 0;
}
