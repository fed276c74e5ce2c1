// WRTAB and RDTAB on the library core: slot positions, compact offsets,
// long zero runs, 64-bit offsets and the read errors with their lines.
#include <gtest/gtest.h>

#include <vector>

#include "datadir.hpp"
#include "errcodes.hpp"
#include "entry_model.hpp"
#include "platform.hpp"
#include "slots.hpp"
#include "decomp_state.hpp"

using namespace kav;
using namespace kav::decomp;
using kav::test::TempDataDir;
using kav::test::read_file;

namespace {

class Slots : public ::testing::Test {
protected:
    void SetUp() override {
        s.ent.tab20.open(data_path("TAB20.DAT"), BinUnit::Mode::positioned);
        s.ent.itab20.open(data_path("1TAB20.DAT"), BinUnit::Mode::positioned);
        s.pnt.open(data_path("KAV.PNT"));
        s.ent.RMAX = 0.0;
    }
    void TearDown() override {
        s.ent.tab20.close();
        s.ent.itab20.close();
        s.pnt.close();
    }
    // Column-major matrix of leading dimension 400.
    static std::vector<double> matrix(int rows, int cols, int seed) {
        std::vector<double> a(400 * static_cast<size_t>(cols), 0.0);
        for (int i = 1; i <= rows; ++i)
            for (int j = 1; j <= cols; ++j)
                if ((i * j + seed) % 3 == 0) a[(j - 1) * 400 + (i - 1)] = i + 0.5 * j + seed;
        return a;
    }
    TempDataDir dir;  // before the units: they open in it
    DecompState& s = state();
};

}  // namespace

TEST_F(Slots, SlotRoundTripAndCompactOffsets) {
    s.ent.NCOL[0] = 5;
    s.ent.NCOL[1] = 3;
    s.ent.ISLOT[0] = 0;
    s.ent.ISLOT[1] = 8 * 6 * 5;
    const auto a1 = matrix(4, 5, 1);
    const auto a2 = matrix(4, 3, 2);
    ASSERT_EQ(wrtab(s, 1, 1, 0, 4, a1.data(), 400), 0);
    ASSERT_EQ(wrtab(s, 2, 9, 2, 4, a2.data(), 400), 0);  // mode 2: problem j
    s.ent.RMAX = 4.0;

    std::vector<double> b(400 * 5, -1.0);
    ASSERT_EQ(rdtab(s, 1, 9, 1, 0, b.data(), 400), 0);  // mode 1: problem j, RMAX rows
    for (int j = 1; j <= 5; ++j)
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(b[(j - 1) * 400 + i - 1], a1[(j - 1) * 400 + i - 1]);
    EXPECT_EQ(b[4], -1.0);  // row 5 untouched
    ASSERT_EQ(rdtab(s, 2, 2, 0, 4, b.data(), 400), 0);  // other modes: KPROB
    EXPECT_EQ(b[0], a2[0]);

    // Compact: problem 2 directly behind problem 1.
    s.ent.IOFFV[0] = s.ent.IOFFI[0] = 0;
    ASSERT_EQ(wrtab(s, 4, 1, 0, 4, a1.data(), 400), 0);
    ASSERT_EQ(wrtab(s, 4, 2, 0, 4, a2.data(), 400), 0);
    EXPECT_EQ(s.ent.IOFFV[1], 8 * s.ent.NNZ[0]);
    EXPECT_EQ(s.ent.IOFFI[1], s.ent.NIXB[0]);
    EXPECT_EQ(s.ent.IOFFV[2], 8 * (s.ent.NNZ[0] + s.ent.NNZ[1]));
    EXPECT_EQ(s.ent.IOFFI[2], s.ent.NIXB[0] + s.ent.NIXB[1]);
    s.ent.tab20.close();
    s.ent.itab20.close();
    std::vector<double> r1(20), r2(12);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 5; ++j) r1[i * 5 + j] = a1[j * 400 + i];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) r2[i * 3 + j] = a2[j * 400 + i];
    const auto m1 = test::pack_model(r1, 4, 5);
    const auto m2 = test::pack_model(r2, 4, 3);
    EXPECT_EQ(read_file(dir.file("TAB20.DAT")).substr(0, m1.vals.size() + m2.vals.size()), m1.vals + m2.vals);
    EXPECT_EQ(read_file(dir.file("1TAB20.DAT")).substr(0, m1.runs.size() + m2.runs.size()), m1.runs + m2.runs);
}

TEST_F(Slots, LongZeroRunsAreSplitAndReadBack) {
    s.ent.NCOL[0] = 100;
    s.ent.ISLOT[0] = 0;
    std::vector<double> a(400 * 100, 0.0);
    ASSERT_EQ(wrtab(s, 1, 1, 0, 400, a.data(), 400), 0);
    EXPECT_EQ(s.ent.NNZ[0], 0);
    EXPECT_EQ(s.ent.NZER[0], 40000);
    EXPECT_EQ(s.ent.NIXB[0], 12);
    s.ent.RMAX = 400.0;
    std::vector<double> b(400 * 100, 1.0);
    ASSERT_EQ(rdtab(s, 1, 1, 1, 0, b.data(), 400), 0);
    for (double v : b) ASSERT_EQ(v, 0.0);
    s.ent.itab20.close();
    test::Bytes runs;
    runs << int16_t{1} << int16_t{1} << int16_t{32767} << int16_t{328} << int16_t{68} << int16_t{7233};
    EXPECT_EQ(read_file(dir.file("1TAB20.DAT")), runs.b);
}

TEST_F(Slots, SlotBeyondFourGigabytes) {
    s.ent.NCOL[0] = 3;
    s.ent.ISLOT[0] = int64_t{5} << 30;
    const auto a = matrix(2, 3, 0);
    ASSERT_EQ(wrtab(s, 1, 1, 0, 2, a.data(), 400), 0);
    s.ent.RMAX = 2.0;
    std::vector<double> b(400 * 3, -1.0);
    ASSERT_EQ(rdtab(s, 1, 1, 1, 0, b.data(), 400), 0);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 2; ++i) EXPECT_EQ(b[j * 400 + i], a[j * 400 + i]);
}

TEST_F(Slots, ReadErrorsWithTheirLines) {
    s.ent.NCOL[0] = 4;
    s.ent.ISLOT[0] = 0;
    auto a = matrix(3, 4, 1);
    ASSERT_EQ(wrtab(s, 1, 1, 0, 3, a.data(), 400), 0);
    s.ent.RMAX = 3.0;
    std::vector<double> b(400 * 4, 0.0);

    // Stored counts that do not match: code 2, banner 3 and the count line.
    const int32_t nnz = s.ent.NNZ[0];
    s.ent.NNZ[0] = nnz + 1;
    EXPECT_EQ(rdtab(s, 1, 1, 1, 0, b.data(), 400), err::COUNTS_READ);
    s.ent.NNZ[0] = nnz;
    std::string want = test::render("(/29HBESM ELLAH EL RAHMAN EL RAHIM,I3/)", {int32_t{3}}) +
                       test::render("(I13, 7I13)", {nnz + 1, nnz, s.ent.NZER[0], s.ent.NZER[0], int32_t{12},
                                                     int32_t{3}, int32_t{4}});
    EXPECT_EQ(read_file(dir.file("KAV.PNT")), want);

    // More rows than were written: the values run out (31, banner 4 and the
    // line with IOMODE and the column count), or the runs do (30).
    s.ent.RMAX = 6.0;
    EXPECT_EQ(rdtab(s, 1, 1, 1, 0, b.data(), 400), err::READ_VALUE);
    want += test::render("(/29HBESM ELLAH EL RAHMAN EL RAHIM,I3/)", {int32_t{4}}) +
            test::render("(I13, 7I13)", {int16_t{1}, int32_t{4}});
    EXPECT_EQ(read_file(dir.file("KAV.PNT")), want);
    std::vector<double> z(400 * 4, 0.0);
    s.ent.NCOL[1] = 4;
    s.ent.ISLOT[1] = 10000;  // at the end of both files
    ASSERT_EQ(wrtab(s, 1, 2, 0, 3, z.data(), 400), 0);  // one run, no values
    s.ent.NIXB[1] = 12;  // a second run that is not there
    s.ent.RMAX = 4.0;
    EXPECT_EQ(rdtab(s, 1, 2, 2, 0, b.data(), 400), err::READ_ZRUN);

    // Closed units: positioning fails.
    s.ent.tab20.close();
    EXPECT_EQ(wrtab(s, 1, 1, 0, 3, a.data(), 400), err::STORE_OR_SEEK);
    EXPECT_EQ(rdtab(s, 1, 1, 1, 0, b.data(), 400), err::STORE_OR_SEEK);
    // A row count beyond the matrix is refused before anything is touched.
    s.ent.tab20.open(data_path("TAB20.DAT"), BinUnit::Mode::positioned);
    s.ent.RMAX = 401.0;
    EXPECT_EQ(rdtab(s, 1, 1, 1, 0, b.data(), 400), err::STORE_OR_SEEK);
}
