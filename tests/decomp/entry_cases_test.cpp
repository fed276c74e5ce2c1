// Edge cases of the entry's call protocol: one subproblem, two runs in one
// loaded library, failed opens, the packing stops, a print file that cannot
// be opened, an incomplete run and the common-resources call of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "datadir.hpp"
#include "entry_model.hpp"
#include "host.hpp"

using namespace kav::test;

namespace {

// The single subproblem of the NSUB = 1 case.
Sub single_sub(int16_t ncrow, double seed) {
    Sub s = Sub::sized(4, 5, 0, ncrow, 0);
    s.kcode = 600;
    for (int i = 1; i <= 4; ++i)
        for (int k = 1; k <= 5; ++k) s.A(i, k) = (i + k) % 2 == 0 ? 0.0 : seed + i * 5 + k;
    s.type = {0, 0, 1, -1};  // row 2 of type 0
    for (int i = 1; i <= ncrow; ++i) s.C(i, i) = seed + i;
    for (int k = 1; k <= 5; ++k) s.C(ncrow, k) = seed * 2 + k;
    s.inc[0] = {{4, 0, 1.0}, {1, -1, 2.0}};   // unsorted, kept as they are
    s.inc[1] = {{3, 0, 3.0}, {0, -2, 4.0}};
    return s;
}

Problem single_problem(int16_t ncrow, double seed) {
    Problem p;
    p.nsub = 1;
    p.ncres = 0;
    p.nlevel = -1;
    p.fill_passthrough(3);
    p.subs.push_back(single_sub(ncrow, seed));
    p.crval = {0.0, 55.0, 66.0};
    p.itypcr = {0, 2, -1};
    return p;
}

}  // namespace

TEST(EntryCases, SingleSubproblemAndTwoRunsInOneLibrary) {
    TempDataDir dir;
    Host h;
    const Problem p = single_problem(3, 10.0);
    ASSERT_EQ(h.run(p), 1);
    const Sub& s = p.subs[0];
    EXPECT_EQ(h.NLEVEL, 0);  // -1 is stored back as 0
    EXPECT_EQ(h.KPROB, 2);
    EXPECT_EQ(h.NCROW, 3);
    // KCODE > 500: the increments stay where and as they were.
    EXPECT_EQ(h.NINC[0], 2);
    EXPECT_EQ(h.NINC[1], 2);
    EXPECT_EQ(h.INCCOL[0], 4);
    EXPECT_EQ(h.INCCOL[1], 3);
    EXPECT_EQ(h.INCCOL[6], 1);
    EXPECT_EQ(h.calls[0].itype, (std::vector<int16_t>{0, -5001, -2, -3}));

    const PackedModel m = pack_model(s.a, 4, 5);
    Bytes par2;
    par2 << p.kr01[0] << p.kr02[0] << p.kr03[0] << s.kcode << p.kr05[0] << p.kr06[0] << p.kr07[0]
         << p.kr08[0] << p.kr09[0] << s.nrow << s.ncol << s.nzo << m.nnz << m.nzero << m.nixb
         << p.kr16[0] << p.kr17[0] << p.kr18[0] << p.kr19[0] << p.kr20[0] << p.kr21[0] << int16_t{0};
    for (int i = 0; i < 6; ++i) par2 << p.ika[0][i] << p.ikb[0][i];
    par2 << int16_t{0} << int16_t{-5001} << int16_t{-2} << int16_t{-3};
    for (int16_t k = 0; k < 5; ++k) par2 << k;  // NZO = 0: labels 0, 1, 2, ...
    EXPECT_EQ(read_file(dir.file("PAR2.DAT")), par2.b);

    Bytes par3;  // one level: its count and its increments as passed
    par3 << int16_t{2} << int16_t{4} << int16_t{0} << 1.0 << int16_t{1} << int16_t{-1} << 2.0;
    EXPECT_EQ(read_file(dir.file("PAR3.DAT")), par3.b);

    // The compact coupling matrix (RMAX rows, row 2 with the common-resource
    // value and type) and PAR1 with one level and only the empty 0-Z entry.
    auto check_par1_and_tab20 = [&](const Sub& sub) {
        std::vector<double> c = padded(sub, 3);
        c[5] = 55.0;
        c[9] = 2.0;
        const PackedModel cm = pack_model(c, 3, 5);
        const int16_t prsw = sub.A(4, 2) != 0 || sub.A(4, 3) != 0 || sub.A(4, 4) != 0;
        Bytes par1;
        par1 << int16_t{1} << int16_t{0} << int16_t{0} << int16_t{3} << int16_t{0} << prsw;
        par1 << cm.nnz << cm.nzero << cm.nixb;
        par1 << int16_t{0} << int16_t{0} << int16_t{0} << int16_t{0} << int16_t{0} << int16_t{0} << 0.0 << 0.0f;
        EXPECT_EQ(read_file(dir.file("PAR1.DAT")), par1.b);
        EXPECT_EQ(read_file(dir.file("TAB20.DAT")).substr(0, cm.vals.size()), cm.vals);
        EXPECT_EQ(read_file(dir.file("1TAB20.DAT")).substr(0, cm.runs.size()), cm.runs);
    };
    check_par1_and_tab20(s);

    // A second run in the same library: RMAX stays 3, so the 2-row coupling
    // matrix is padded to 3 rows.
    const Problem p2 = single_problem(2, 20.0);
    ASSERT_EQ(h.run(p2), 1);
    EXPECT_EQ(h.NCROW, 3);
    check_par1_and_tab20(p2.subs[0]);
}

TEST(EntryCases, FailedOpenPrintsStatusErrorAndTimeLines) {
    const int16_t codes[] = {27, 28, 34, 35, 36, 37, 38, 40};
    for (int f = 0; f < 8; ++f) {
        TempDataDir dir;
        std::filesystem::create_directory(dir.file(kHandOff[f]));
        Host h;
        const Problem p = small_problem(2, 5);
        h.set_common(p);
        h.call_sub(p, 1, 0);
        std::string want = render("(/29HBESM ELLAH EL RAHMAN EL RAHIM,I3/)", {int32_t{1}}) +
                           render("(47HNO OF SUBPROBLEMS, AND NO OF SENSITIVITY LEVELS//2I17)",
                                  {p.nsub, p.nlevel}) +
                           render("(I13, 7I13)", {int32_t{EISDIR}}) +
                           render("(/7HPROBLEM,I4,11H ERROR CODE,I3,/)", {int16_t{1}, codes[f]});
        const std::string pnt = read_file(dir.file("KAV.PNT"));
        EXPECT_EQ(pnt.substr(0, want.size()), want) << kHandOff[f];
        EXPECT_TRUE(std::regex_match(pnt.substr(want.size()),
                                     std::regex("\n    \\d\\d:\\d\\d:\\d\\d    \\d\\d:\\d\\d:\\d\\d\n\n")))
            << pnt;
        for (int g = 0; g < 8; ++g)
            if (g != f) {
                EXPECT_EQ(file_exists(dir.file(kHandOff[g])), g < f) << kHandOff[g];
            }

        // The run goes on; its completing call has nothing to solve.
        h.RESV.assign(6, 1.0);
        h.call_sub(p, 2, 0);
        EXPECT_EQ(h.KPROB, 3);
        for (int l = 0; l < 2; ++l) EXPECT_EQ(h.RESV[l], 37.0) << kHandOff[f];
        if (f != 4) {
            EXPECT_EQ(read_file(dir.file("PAR1.DAT")), "");
        }
    }
}

TEST(EntryCases, ZeroRunOfTwiceTheColumnsStopsWithCode5) {
    for (int len : {7, 8}) {
        TempDataDir dir;
        Host h;
        Problem p = small_problem(2, 5);
        Sub& s = p.subs[0];
        s = sample_sub(1, 3, 4, 0, 2, 100, 1);
        for (int k = 1; k <= 4; ++k) s.A(1, k) = k, s.A(2, k) = 0.0, s.A(3, k) = 0.0;
        if (len == 7) s.A(3, 4) = 1.0;
        h.set_common(p);
        h.call_sub(p, 1, 0);
        const std::string pnt = read_file(dir.file("KAV.PNT"));
        const bool stopped = pnt.find("\nPROBLEM   1 ERROR CODE  5\n") != std::string::npos;
        EXPECT_EQ(stopped, len == 8) << pnt;
        if (len == 8) {
            EXPECT_TRUE(std::regex_search(pnt, std::regex(time_lines_re())));
        }
        // The files are complete once the completing call has closed them.
        h.call_sub(p, 2, 0);
        EXPECT_EQ(read_file(dir.file("PAR2.DAT")).empty(), len == 8);
        // The values met before the run stay in TAB0.DAT (row 1 only).
        if (len == 8) {
            EXPECT_EQ(read_file(dir.file("TAB0.DAT")).size(), 32u);
        }
    }
}

TEST(EntryCases, ZeroOneCountAndIncrementStops) {
    struct Case {
        int16_t nzo, kcode, ninc2;
        int stop;  // banner number, 0 = none
    };
    const Case cases[] = {{859, 100, 1, 0}, {860, 100, 1, 37}, {-1, 100, 1, 37},
                          {1, 100, 2001, 39}, {1, 600, 2001, 0}, {1, 100, 2000, 0}};
    for (const Case& c : cases) {
        TempDataDir dir;
        Host h;
        Problem p = small_problem(1, 5);
        p.nlevel = 2;
        Sub& s = p.subs[0];
        s = Sub::sized(2, 861, std::max<int16_t>(c.nzo, 0), 2, 1);
        s.nzo = c.nzo;
        s.kcode = c.kcode;
        for (int k = 1; k <= 861; ++k) s.A(1, k) = s.A(2, k) = k;
        s.inc[1].assign(c.ninc2, Inc{1, 0, 1.0});
        h.set_common(p);
        h.call_sub(p, 1, 0);  // NSUB = 1: this call completes
        const std::string pnt = read_file(dir.file("KAV.PNT"));
        if (c.stop != 0) {
            EXPECT_TRUE(std::regex_search(
                pnt, std::regex("\nBESM ELLAH EL RAHMAN EL RAHIM " + std::to_string(c.stop) + "\n\n" + time_lines_re())))
                << c.nzo << " " << c.ninc2;
            EXPECT_EQ(read_file(dir.file("PAR2.DAT")), "");
        } else {
            EXPECT_EQ(pnt.find("BESM ELLAH EL RAHMAN EL RAHIM 3"), std::string::npos);
            EXPECT_NE(read_file(dir.file("PAR2.DAT")), "");
        }
    }
}

TEST(EntryCases, PrintFileThatCannotBeOpenedIsNoFailure) {
    TempDataDir dir;
    std::filesystem::create_directory(dir.file("KAV.PNT"));
    Host h;
    const Problem p = small_problem(2, 5);
    ASSERT_EQ(h.run(p), 2);
    EXPECT_NE(read_file(dir.file("PAR1.DAT")), "");
    EXPECT_NE(read_file(dir.file("PAR2.DAT")), "");
    EXPECT_EQ(h.KPROB, 3);
}

TEST(EntryCases, CallAfterAStopFinishesTheRunWithoutSolving) {
    TempDataDir dir;
    Host h;
    Problem p = small_problem(3, 5);
    p.subs[1].nzo = 900;  // subproblem 2 stops with 37
    h.set_common(p);
    h.call_sub(p, 1, 0);
    h.call_sub(p, 2, 0);
    h.call_sub(p, 3, 0);
    // Only subproblem 1's records: 16 + 12 + 66 + 24 + 2*NROW + 2*NCOL bytes.
    EXPECT_EQ(read_file(dir.file("PAR2.DAT")).size(), 136u);
    EXPECT_EQ(read_file(dir.file("PAR1.DAT")), "");
    EXPECT_EQ(h.KPROB, 4);
    EXPECT_EQ(h.RESV[0], 37.0);
    EXPECT_EQ(h.RESV[1], 37.0);
    // A rerun needs a complete earlier run.
    h.RESV.assign(6, 0.0);
    h.call_sub(p, 1, 1);
    EXPECT_TRUE(std::regex_search(read_file(dir.file("KAV.PNT")),
                                  std::regex("\nBESM ELLAH EL RAHMAN EL RAHIM 89\n\n" + time_lines_re())));
}

TEST(EntryCases, CommonResourcesCallOfItsOwn) {
    TempDataDir dir;
    Host h;
    Problem p = small_problem(3, 5);
    h.set_common(p);
    h.call_sub(p, 1, 0);
    h.call_sub(p, 2, 0);
    // The host ends the problem after two subproblems: KPROB 3 > NSUB 2.
    h.NSUB = 2;
    h.KPROB = 3;
    h.call();
    EXPECT_EQ(h.KPROB, 3);
    EXPECT_EQ(h.NCROW, 3);
    const std::string par1 = read_file(dir.file("PAR1.DAT"));
    ASSERT_GE(par1.size(), 12u);
    EXPECT_EQ(par1.substr(0, 2), std::string("\2\0", 2));
    // Another such call is out of sequence: the run is over.
    h.KPROB = 3;
    h.call();
    EXPECT_EQ(read_file(dir.file("PAR1.DAT")), par1);
    EXPECT_NE(read_file(dir.file("KAV100.PNT")).find("BESM ELLAH EL RAHMAN EL RAHIM 88"), std::string::npos);
}

TEST(EntryCases, MissingDataDirectoryIsReportedNotACrash) {
    TempDataDir dir;
    setenv("KAV_DATA_DIR", dir.file("missing").c_str(), 1);  // restored by `dir`
    Host h;
    const Problem p = small_problem(1, 5);
    h.RESV.assign(6, 0.0);
    ASSERT_EQ(h.run(p), 1);
    // The opens fail (no print file either): the call ends by its error exit,
    // the folder is not created and the results are not touched.
    EXPECT_FALSE(file_exists(dir.file("missing")));
    EXPECT_EQ(h.RESV[0], 0.0);
    EXPECT_EQ(h.KPROB, 1);
}
