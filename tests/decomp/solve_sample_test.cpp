// The bundled sample through the exported entry of libkavsolve.so, as a
// host would run it: results, print files and hand-off files.

#include <gtest/gtest.h>

#include "datadir.hpp"
#include "host.hpp"

namespace kav::test {
namespace {

// maximise 3x1 + 2x2 + y1 + 4y2, x1 + x2 <= 1, y1 + y2 <= 1,
// 2x1 + 0.5x2 + y1 + 2y2 <= rhs.
Problem sample(double rhs) {
    Problem p;
    p.nsub = 2;
    p.ncres = 0;
    p.nlevel = 0;
    const double prof[2][2] = {{3, 2}, {1, 4}};
    const double use[2][2] = {{2, 0.5}, {1, 2}};
    for (int k = 0; k < 2; ++k) {
        Sub s = Sub::sized(3, 4, 0, 3, 0);
        s.kcode = 501;
        s.type = {0, 1, 0};
        for (int v = 0; v < 2; ++v) {
            s.A(1, v + 2) = prof[k][v];
            s.C(1, v + 2) = prof[k][v];
            s.A(2, v + 2) = 1.0;
            s.C(2, v + 2) = use[k][v];
        }
        s.A(2, 1) = 1.0;
        s.A(3, 1) = 1.0;
        s.A(3, 4) = 1.0;
        p.subs.push_back(s);
    }
    p.itypcr = {0, 1, 0};
    p.crval = {0, rhs, 0};
    p.fill_passthrough(1);
    return p;
}

TEST(SolveSample, ExportedEntrySolvesTheSample) {
    TempDataDir dir;
    Host h;
    h.run(sample(2.25));
    EXPECT_DOUBLE_EQ(h.RESV[0], 5.5);
    EXPECT_EQ(h.xres(1, 1), 0.0);
    EXPECT_DOUBLE_EQ(h.xres(1, 2), 1.0);
    EXPECT_EQ(h.xres(1, 3), 0.0);
    EXPECT_DOUBLE_EQ(h.xres(1, 4), 0.875);
    // Unused levels report no solution.
    for (int l = 2; l <= 6; ++l) EXPECT_EQ(h.RESV[l - 1], 37.0);

    // PAR5.DAT: flag, RESV(1..6), NVRES = 4, one level of 4 values.
    const std::string par5 = read_file(dir.file("PAR5.DAT"));
    EXPECT_EQ(par5.size(), 2u + 48u + 2u + 4u * 8u);
    // The driver's print file carries the solve and, after the driver's
    // closing banners, the entry's time lines.
    const std::string pnt = read_file(dir.file("KAV100.PNT"));
    EXPECT_NE(pnt.find("CONTINUOUS TOTAL SOLUTION COMPLETE"), std::string::npos);
    EXPECT_NE(pnt.find("BEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL     0"), std::string::npos);
    const size_t last_banner = pnt.rfind("BESM ELLAH EL RAHMAN EL RAHIM    6");
    ASSERT_NE(last_banner, std::string::npos);
    const std::string tail = pnt.substr(last_banner);
    EXPECT_NE(tail.find(':'), std::string::npos) << tail;  // the time lines
    for (const char* f : {"TAB.DAT", "1TAB.DAT", "TAB2.DAT", "1TAB2.DAT"}) {
        EXPECT_TRUE(file_exists(dir.file(f))) << f;
        EXPECT_EQ(read_file(dir.file(f)).size(), 0u) << f;
    }
}

TEST(SolveSample, SmallerResourceGivesFour) {
    TempDataDir dir;
    Host h;
    h.run(sample(1.5));
    EXPECT_DOUBLE_EQ(h.RESV[0], 4.0);
    EXPECT_DOUBLE_EQ(h.xres(1, 2), 1.0);
    EXPECT_DOUBLE_EQ(h.xres(1, 4), 0.5);
}

}  // namespace
}  // namespace kav::test
