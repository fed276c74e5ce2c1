// The single-problem library through its exported entry: bad extents are
// refused with their own code before any packed file is written, and the
// call's end lines and result words follow every path.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "datadir.hpp"

namespace {

using EntryFn = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*,
                         int16_t*, double*, double*, double*, double*, double*, int32_t*,
                         int16_t*, int16_t*, int32_t*, int32_t*, int32_t*, int16_t*, float*,
                         float*, int16_t*, int16_t*, int32_t*, int32_t*, float*, int16_t*,
                         float*, int16_t*);

EntryFn entry() {
    static void* h = dlopen(KAVSOLVE_SINGLE_SO, RTLD_NOW | RTLD_LOCAL);
    return h ? reinterpret_cast<EntryFn>(dlsym(h, "ALLAH_mp_TARVEXO")) : nullptr;
}

// A host's arrays at their declared extents, holding a valid 2-row knapsack.
struct Call {
    int16_t nrow = 2, ncol = 4, nlevel = 0, iflag = 0, iconf = 0, nres = 0, ncont = 0;
    std::vector<int16_t> itype = std::vector<int16_t>(241, 1);
    std::vector<double> amat = std::vector<double>(241 * 10000, 0.0);
    std::vector<int16_t> ninc = std::vector<int16_t>(6, 0);
    std::vector<int16_t> inccol = std::vector<int16_t>(6 * 20, 0), incrow = inccol;
    std::vector<double> dinc = std::vector<double>(6 * 20, 0.0);
    std::vector<double> status = std::vector<double>(6, -5.0);
    std::vector<double> xbest = std::vector<double>(6 * 10000, 0.0);
    std::vector<double> valcol = std::vector<double>(10000 * 6, 1.0);
    double objoff = 0.0;
    int32_t improv = 0;
    std::vector<int32_t> iuse = std::vector<int32_t>(10000 * 6, 0);
    std::vector<int16_t> cols = std::vector<int16_t>(10000, 0);
    std::vector<float> ruse = std::vector<float>(10000 * 6, 0.0f);
    std::vector<int32_t> icap = std::vector<int32_t>(64, 0);
    std::vector<float> rcap = std::vector<float>(10 * 6, 0.0f), trcost = std::vector<float>(64, 0.0f);

    Call() {
        const double a[2][4] = {{0, 5, 4, 3}, {10, 6, 5, 4}};
        for (int i = 0; i < 2; ++i)
            for (int k = 0; k < 4; ++k) amat[i + 241 * k] = a[i][k];
    }
    void run() {
        entry()(&nrow, &ncol, itype.data(), amat.data(), ninc.data(), &nlevel, inccol.data(),
                incrow.data(), dinc.data(), status.data(), xbest.data(), valcol.data(), &objoff,
                &improv, &iflag, &iconf, iuse.data(), iuse.data(), iuse.data(), cols.data(),
                ruse.data(), ruse.data(), cols.data(), cols.data(), icap.data(), icap.data(),
                rcap.data(), &nres, trcost.data(), &ncont);
    }
};

std::string code_line(int code) {
    std::string c = std::to_string(code);
    return "PROBLEM ERROR CODE" + std::string(3 - c.size(), ' ') + c + "\n";
}

TEST(SingleEntry, RefusesBadExtentsBeforeWritingAnything) {
    ASSERT_NE(entry(), nullptr);
    struct Case {
        const char* what;
        void (*spoil)(Call&);
        int code;
    };
    const Case cases[] = {
        {"no rows", [](Call& c) { c.nrow = 0; }, 80},
        {"too many rows", [](Call& c) { c.nrow = 242; }, 80},
        {"one column", [](Call& c) { c.ncol = 1; }, 81},
        {"too many columns", [](Call& c) { c.ncol = 10001; }, 81},
        {"negative NCONT", [](Call& c) { c.ncont = -1; }, 82},
        {"all columns continuous", [](Call& c) { c.ncont = 4; }, 82},
        {"NLEVEL below -1", [](Call& c) { c.nlevel = -2; }, 83},
        {"NLEVEL above 5", [](Call& c) { c.nlevel = 6; }, 83},
        {"too many resources", [](Call& c) { c.nres = 11; }, 84},
        {"increment column beyond NCOL",
         [](Call& c) { c.nlevel = 1; c.ninc[0] = 1; c.inccol[0] = 5004; }, 85},
        {"increment column code below 5001",
         [](Call& c) { c.nlevel = 1; c.ninc[0] = 1; c.inccol[0] = 7; }, 85},
        {"increment row beyond NROW",
         [](Call& c) { c.nlevel = 1; c.ninc[0] = 1; c.incrow[0] = -2; }, 85},
        {"increment row code positive",
         [](Call& c) { c.nlevel = 1; c.ninc[0] = 1; c.incrow[0] = 1; }, 85},
        {"negative NINC", [](Call& c) { c.nlevel = 2; c.ninc[1] = -1; }, 86},
        {"equality row", [](Call& c) { c.itype[1] = 0; }, 87},
        {"row without magnitude", [](Call& c) { for (int k = 0; k < 4; ++k) c.amat[1 + 241 * k] = 0.001; }, 73},
        {"objective without magnitude", [](Call& c) { for (int k = 0; k < 4; ++k) c.amat[241 * k] = 0.0; }, 73},
        // NaN and infinite numbers, wherever the call reads them.
        {"NaN in a row", [](Call& c) { c.amat[1 + 241 * 3] = NAN; }, 88},
        {"infinite objective entry", [](Call& c) { c.amat[241 * 2] = -INFINITY; }, 88},
        {"infinite increment",
         [](Call& c) { c.nlevel = 1; c.ninc[0] = 1; c.inccol[0] = 5001; c.dinc[0] = INFINITY; }, 88},
        {"NaN value of the last level", [](Call& c) { c.valcol[3 + 10000 * 2] = NAN; }, 88},
        {"infinite OBJOFF", [](Call& c) { c.objoff = INFINITY; }, 88},
        {"NaN RCAP", [](Call& c) { c.nres = 1; c.rcap[10 * 2] = NAN; }, 88},
        {"NaN TRCOST", [](Call& c) { c.nres = 1; c.trcost[0] = NAN; }, 88},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.what);
        kav::test::TempDataDir dir;
        Call c;
        c.nlevel = 2;
        cs.spoil(c);
        const int16_t ncol = c.ncol;
        c.run();
        const std::string pnt = kav::test::read_file(dir.file("KAV.PNT"));
        EXPECT_NE(pnt.find(code_line(cs.code)), std::string::npos) << pnt.substr(0, 400);
        EXPECT_EQ(kav::test::read_file(dir.file("TAB1.DAT")), "");
        EXPECT_EQ(kav::test::read_file(dir.file("1TAB1.DAT")), "");
        EXPECT_EQ(c.ncol, ncol);
        // The call ends with the 100 banner lines.
        EXPECT_NE(pnt.rfind("BESM ELLAH EL RAHMAN EL RAHIM100\n\n"), std::string::npos);
        // Levels the call never reached report no solution.
        if (c.nlevel >= 0 && c.nlevel <= 5) {
            for (int l = 0; l <= c.nlevel; ++l) EXPECT_EQ(c.status[l], 37.0) << l;
        }
    }
}

}  // namespace

namespace {

// Numbers the call does not read are not tested: AMAT(1, 1), which the
// objective offset replaces, VALCOL of column 1, increments beyond NINC.
TEST(SingleEntry, LeavesNumbersItDoesNotReadAlone) {
    ASSERT_NE(entry(), nullptr);
    kav::test::TempDataDir dir;
    Call c;
    c.amat[0] = NAN;
    c.valcol[0] = NAN;
    c.nlevel = 1;
    c.dinc[0] = INFINITY;
    c.run();
    const std::string pnt = kav::test::read_file(dir.file("KAV.PNT"));
    EXPECT_EQ(pnt.find("PROBLEM ERROR CODE"), std::string::npos) << pnt.substr(0, 600);
    EXPECT_EQ(c.status[0], 2.0);  // x1 = x3 = 1, each worth 1
}

// A first call stores the matrix (objective negated) in the two packed
// files from byte 0; a second first call rewrites them with its own matrix.
TEST(SingleEntry, StoresTheMatrixPacked) {
    ASSERT_NE(entry(), nullptr);
    kav::test::TempDataDir dir;
    for (int round = 0; round < 2; ++round) {
        Call c;
        if (round == 1) c.amat[1 + 241 * 2] = 0.0;  // one more zero: a run of its own
        c.run();
        const std::string pnt = kav::test::read_file(dir.file("KAV.PNT"));
        EXPECT_EQ(pnt.find("PROBLEM ERROR CODE"), std::string::npos) << pnt.substr(0, 600);
        const std::string tab = kav::test::read_file(dir.file("TAB1.DAT"));
        const std::string runs = kav::test::read_file(dir.file("1TAB1.DAT"));
        // Row 1: 0 -5 -4 -3; row 2: 10 6 5 4 (round 1: 10 6 0 4).
        std::vector<double> want = {-5, -4, -3, 10, 6, 5, 4};
        if (round == 1) want = {-5, -4, -3, 10, 6, 4};
        // The files are rewritten in place: a longer old tail stays behind the counts.
        ASSERT_GE(tab.size(), want.size() * 8) << round;
        for (size_t i = 0; i < want.size(); ++i) {
            double v;
            std::memcpy(&v, tab.data() + 8 * i, 8);
            EXPECT_EQ(v, want[i]) << round << " " << i;
        }
        std::vector<int16_t> want_runs = {1, 1, 1};
        if (round == 1) want_runs = {1, 1, 1, 2, 3, 1};
        ASSERT_GE(runs.size(), want_runs.size() * 2) << round;
        for (size_t i = 0; i < want_runs.size(); ++i) {
            int16_t w;
            std::memcpy(&w, runs.data() + 2 * i, 2);
            EXPECT_EQ(w, want_runs[i]) << round << " " << i;
        }
        // Row labels replace the constraint types.
        EXPECT_EQ(c.itype[0], 0);
        EXPECT_EQ(c.itype[1], -1);
    }
}

}  // namespace

namespace {

// The host's increments of level l move to level l+1, sorted by column code
// with their rows and amounts, with the end mark behind them.
TEST(SingleEntry, ShiftsSortedIncrementsUpOneLevel) {
    ASSERT_NE(entry(), nullptr);
    kav::test::TempDataDir dir;
    Call c;
    c.nlevel = 2;
    c.ninc = {2, 1, 0, 0, 0, 0};
    auto set = [&](int l, int i, int16_t col, int16_t row, double d) {
        c.inccol[(l - 1) + 6 * (i - 1)] = col;
        c.incrow[(l - 1) + 6 * (i - 1)] = row;
        c.dinc[(l - 1) + 6 * (i - 1)] = d;
    };
    set(1, 1, 5002, -1, 1.5);
    set(1, 2, 0, 0, 2.5);
    set(2, 1, 5003, 0, -1.0);
    c.run();
    // Each level's count is cleared once the level is solved.
    EXPECT_EQ(c.ninc, std::vector<int16_t>(6, 0));
    EXPECT_EQ(c.inccol[1], 0);
    EXPECT_EQ(c.incrow[1], 0);
    EXPECT_EQ(c.dinc[1], 2.5);
    EXPECT_EQ(c.inccol[1 + 6], 5002);
    EXPECT_EQ(c.incrow[1 + 6], -1);
    EXPECT_EQ(c.dinc[1 + 6], 1.5);
    EXPECT_EQ(c.inccol[1 + 12], 9999);
    EXPECT_EQ(c.inccol[2], 5003);
    EXPECT_EQ(c.dinc[2], -1.0);
    EXPECT_EQ(c.inccol[2 + 6], 9999);
}

}  // namespace
