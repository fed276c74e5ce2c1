#include <gtest/gtest.h>

#include "datadir.hpp"
#include "host.hpp"

using namespace kav::test;

TEST(EntrySmoke, OneSubproblemRun) {
    TempDataDir dir;
    Host h;
    Problem p;
    p.nsub = 1;
    p.ncres = 0;
    p.nlevel = -1;
    p.fill_passthrough(1);
    Sub s = Sub::sized(3, 4, 1, 2, 0);
    s.A(1, 2) = 1.0; s.A(2, 1) = 5.0; s.A(2, 2) = 1.0; s.A(3, 3) = 2.0;
    s.C(1, 2) = 3.0; s.C(2, 3) = 1.0;
    s.kcode = 600;
    p.subs.push_back(s);
    p.crval = {0.0, 7.0};
    p.itypcr = {0, 1};
    h.run(p);
    EXPECT_EQ(h.NLEVEL, 0);
    EXPECT_EQ(h.KPROB, 2);
    EXPECT_EQ(read_file(dir.file("PAR5.DAT")).size(), 2u);
    std::printf("%s", read_file(dir.file("KAV.PNT")).c_str());
}
