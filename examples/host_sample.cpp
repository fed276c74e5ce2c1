// A small host program for the decomposition build of libkavsolve.so.
//
// It loads the library, hands in the bundled sample problem call by call
// and prints the results.  The sample has two subproblems without 0-Z
// variables and one common resource:
//
//     maximise   3 x1 + 2 x2 + y1 + 4 y2
//     subject to x1 + x2 <= 1                      (subproblem 1)
//                y1 + y2 <= 1                      (subproblem 2)
//                2 x1 + 0.5 x2 + y1 + 2 y2 <= R    (common resource, R = 2.25)
//
// Optimum: 5.5 at x = (0, 1), y = (0, 0.875).
//
// How a host writes a subproblem: the last column is the weight variable,
// held at 1 by an equality row (type 0: 1 in the last column, 1 in column
// 1); row 1 of the subproblem matrix and row 1 of the coupling matrix carry
// the same profits (the problem is maximised); every coupling row is a "<="
// row; the coupling matrix has at least three rows: the objective, the
// common resources, and a last row.
//
// Usage: host_sample [path of libkavsolve.so] [right-hand side R]
// The data directory is $KAV_DATA_DIR, or ./KAV (it must exist).

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Entry = void (*)(
    int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*, int16_t*, int16_t*, double*,
    double*, int16_t*, int16_t*, int16_t*, int16_t*, double*, double*, double*, double*, int16_t*,
    int16_t*, int16_t*, int16_t*, int32_t*, int16_t*, int16_t*, int16_t*, int32_t*, int32_t*, int32_t*,
    float*, float*, int16_t*, int16_t*, int16_t*, int16_t*, float*, float*, float*, float*, int16_t*,
    int16_t*, int16_t*, int16_t*, int16_t*, int16_t*, int16_t*, int16_t*, float*, int32_t*, int32_t*,
    int32_t*, int16_t*, float*, int32_t*, int32_t*, int32_t*, int16_t*, int16_t*);

// Declared leading dimensions of the entry's arrays.
constexpr int LDA = 2400, LDC = 400, LDL = 6, LDZ = 860, LD60 = 60, NPROBS = 60;

// One subproblem: matrix rows (row 1 = profits), constraint types, coupling rows.
struct Sub {
    std::vector<std::vector<double>> a;
    std::vector<int16_t> type;
    std::vector<std::vector<double>> cpl;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string lib = argc > 1 ? argv[1] : "build/decomp/libkavsolve.so";
    const double rhs = argc > 2 ? std::atof(argv[2]) : 2.25;

    void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", lib.c_str(), dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<Entry>(dlsym(h, "ALLAH_mp_TARVEXO"));
    if (entry == nullptr) {
        std::fprintf(stderr, "%s does not export ALLAH_mp_TARVEXO\n", lib.c_str());
        return 1;
    }

    // Columns: 1 right-hand side, 2-3 the variables, 4 the weight variable.
    // Rows: 1 profits, 2 the subproblem's own constraint, 3 weight = 1.
    // Coupling rows: 1 profits, 2 the common resource, 3 the last row.
    const std::vector<Sub> subs = {
        {{{0, 3, 2, 0}, {1, 1, 1, 0}, {1, 0, 0, 1}}, {0, 1, 0}, {{0, 3, 2, 0}, {0, 2, 0.5, 0}, {0, 0, 0, 0}}},
        {{{0, 1, 4, 0}, {1, 1, 1, 0}, {1, 0, 0, 1}}, {0, 1, 0}, {{0, 1, 4, 0}, {0, 1, 2, 0}, {0, 0, 0, 0}}},
    };

    int16_t NSUB = 2, NCROW = 3, KPROB = 0, NROW = 3, NCOL = 4, NZO = 0, NLEVEL = 0;
    int16_t IFLAG = 0, KCODE = 501, NCRES = 0;
    std::vector<int16_t> ITYPCR(LDC, 0), ITYPE(3), NINC(LDL, 0), INCCOL(LDL, 0), INCROW(LDL, 0);
    std::vector<double> CRVAL(LDC, 0.0), AMAT(LDA * 4), ACPL(LDC * 4), DINC(LDL, 0.0), RESV(LDL, 0.0);
    std::vector<double> XRES(LDL * 64, 0.0), ZOVD(LDZ * LDL, 0.0);
    std::vector<float> ZOVR(LDZ * LDL, 0.0f), RRL1(LD60 * LDL), RRL2(LD60 * LDL), KR06(NPROBS);
    std::vector<float> RRK1(LD60), RRK2(LD60), RRK3(LD60), RRK4(LD60);
    std::vector<int16_t> IZA1(4), IZA2(4), IZA3(4), IZA4(4), KR05(NPROBS), KR17(NPROBS), KR18(NPROBS);
    std::vector<int16_t> KR19(NPROBS), KR20(NPROBS), KR21(NPROBS), IKR(LD60 * LD60), IKA(LD60 * 6), IKB(LD60 * 6);
    std::vector<int16_t> IRK1(LD60), IRK2(LD60), IRK3(LD60), IRK4(LD60), IRK5(LD60), IRK6(LD60);
    std::vector<int32_t> KR16(NPROBS), KR01(NPROBS), KR02(NPROBS), KR03(NPROBS), KR07(NPROBS), KR08(NPROBS);
    std::vector<int32_t> KR09(NPROBS), IRL1(LD60 * LDL), IRL2(LD60 * LDL), IRL3(LD60 * LDL);
    ITYPCR[1] = 1;  // row 2: the common resource, a "<=" row
    CRVAL[1] = rhs;

    for (int16_t k = 1; k <= NSUB; ++k) {
        const Sub& s = subs[k - 1];
        for (int i = 0; i < NROW; ++i) {
            ITYPE[i] = s.type[i];
            for (int j = 0; j < NCOL; ++j) AMAT[j * LDA + i] = s.a[i][j];
        }
        for (int i = 0; i < NCROW; ++i)
            for (int j = 0; j < NCOL; ++j) ACPL[j * LDC + i] = s.cpl[i][j];
        KPROB = k;
        NCROW = 3;
        entry(&NSUB, &NCROW, ITYPCR.data(), CRVAL.data(), &KPROB, &NROW, &NCOL, &NZO, ITYPE.data(),
              AMAT.data(), ACPL.data(), NINC.data(), &NLEVEL, INCCOL.data(), INCROW.data(), DINC.data(),
              RESV.data(), XRES.data(), ZOVD.data(), IZA1.data(), IZA2.data(), IZA3.data(), IZA4.data(),
              KR16.data(), &IFLAG, &KCODE, &NCRES, IRL1.data(), IRL2.data(), IRL3.data(), RRL1.data(),
              RRL2.data(), KR17.data(), KR18.data(), KR19.data(), KR21.data(), RRK1.data(), RRK2.data(),
              RRK3.data(), RRK4.data(), IRK1.data(), IRK2.data(), IRK3.data(), IRK4.data(), IRK5.data(),
              IRK6.data(), KR20.data(), IKR.data(), ZOVR.data(), KR01.data(), KR02.data(), KR03.data(),
              KR05.data(), KR06.data(), KR07.data(), KR08.data(), KR09.data(), IKA.data(), IKB.data());
    }

    const char* dir = std::getenv("KAV_DATA_DIR");
    const std::string data = (dir != nullptr && *dir != '\0') ? dir : "./KAV";
    std::printf("RESV(1) = %.7f\n", RESV[0]);
    std::printf("XRES(1, .) =");
    for (int j = 0; j < 4; ++j) std::printf(" %.7f", XRES[j * LDL]);
    std::printf("\nprint files: %s/KAV.PNT (input echo), %s/KAV100.PNT (solve)\n", data.c_str(), data.c_str());
    dlclose(h);
    return RESV[0] == 37.0 ? 2 : 0;
}
