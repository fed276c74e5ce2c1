// The bundled sample through the exported entry of libkavsolve.so, as a
// host would run it: results, print files and hand-off files.

#include <gtest/gtest.h>

#include "datadir.hpp"
#include "fixtures.hpp"
#include "host.hpp"

namespace kav::test {
namespace {

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
