// BRANCH: pair and chain tests of a new branch point against the points
// fixed at 1, and the master reset.

#include <gtest/gtest.h>

#include "branch.hpp"
#include "core_host.hpp"

namespace kav::test {
namespace {

using decomp::DecompState;

struct Bp {
    int16_t p, v, both;
};

// Entries d = 2.. of the 0-Z list: (problem, variable, IZA1..IZA4, ZOVR).
struct Ent {
    int16_t p, v, a1, a2, a3, a4;
    float zovr = 0.0f;
};

void setup(DecompState& s, const std::vector<Ent>& ents, const std::vector<Bp>& pts) {
    auto& sv = s.sv;
    auto& pb = s.pb;
    auto& dv = s.ms;
    pb.NSUB = 2;
    pb.NCRES = 4;
    sv.LEVEL = 1;
    pb.NZOTOT = static_cast<int16_t>(ents.size());
    for (size_t i = 0; i < ents.size(); ++i) {
        const int d = static_cast<int>(i) + 2;
        pb.ZPRB[d] = ents[i].p;
        pb.ZLAB[d] = static_cast<int16_t>(5000 + ents[i].v);
        pb.IZA1[d] = ents[i].a1;
        pb.IZA2[d] = ents[i].a2;
        pb.IZA3[d] = ents[i].a3;
        pb.IZA4[d] = ents[i].a4;
        pb.ZOVR[d][1] = ents[i].zovr;
    }
    sv.NBRPT = static_cast<int16_t>(pts.size() + 1);
    for (size_t i = 0; i < pts.size(); ++i) {
        sv.IBPPRB[i + 2] = pts[i].p;
        sv.IBPVAR[i + 2] = static_cast<int16_t>(5000 + pts[i].v);
        sv.IBOTH[i + 2] = pts[i].both;
    }
    // A master with a column in it, to see the reset.
    pb.NCROW = 3;
    dv.NROWM = 4;
    dv.NCOLM = 3;
    sv.NPROP[1] = 2;
    sv.PIC[1] = 0.5;
    sv.PIM[2] = 0.25;
    sv.LAMBDA[1][1] = 1.0;
    sv.RHSC[2] = 7.5;
    for (int i = 2; i <= 4; ++i) dv.IROWMS[i] = static_cast<int16_t>(i == 4 ? -3 : -(4999 + i));
    dv.IROWM[2] = 1001;
    dv.tm(1, 1) = 3.0;
    s.ms.RCODE = 0;
    sv.IERR = 0;
}

bool was_reset(DecompState& s) {
    auto& sv = s.sv;
    auto& dv = s.ms;
    return dv.NCOLM == 1 && sv.NPROP[1] == 0 && sv.PIC[1] == 0.0 && sv.PIM[2] == 0.0 && sv.LAMBDA[1][1] == 0.0 &&
           dv.tm(1, 1) == 0.0 && dv.tm(2, 1) == 1.0 && dv.tm(3, 1) == 1.0 && dv.tm(4, 1) == 7.5 &&
           dv.IROWM[2] == -5001 && dv.IROWM[4] == -3;
}

TEST(Branch, FirstPointIsNotTestedAndResetsTheMaster) {
    FreshState st;
    // Not even in the entry list: the first point is never looked up.
    setup(*st, {}, {{1, 1, 1}});
    solver::branch(st->fam);
    EXPECT_EQ(st->sv.IERR, 0);
    EXPECT_EQ(st->ms.RCODE, 0);
    EXPECT_TRUE(was_reset(*st));
    EXPECT_EQ(st->sv.KCUR, 1);
}

TEST(Branch, PairConflictsAndTheirAbsence) {
    // Same problem, same start node and code: conflict.
    {
        FreshState st;
        setup(*st, {{1, 1, 1, 2, 5, 6}, {1, 2, 1, 3, 5, 7}}, {{1, 1, 1}, {1, 2, 1}});
        solver::branch(st->fam);
        EXPECT_EQ(st->ms.RCODE, 3);
        EXPECT_FALSE(was_reset(*st));
    }
    // The same pair with the new point on its flipped side: not tested.
    {
        FreshState st;
        setup(*st, {{1, 1, 1, 2, 5, 6}, {1, 2, 1, 3, 5, 7}}, {{1, 1, 1}, {1, 2, 0}});
        solver::branch(st->fam);
        EXPECT_EQ(st->ms.RCODE, 0);
        EXPECT_TRUE(was_reset(*st));
    }
    // An earlier point fixed at 0 is not tested against.
    {
        FreshState st;
        setup(*st, {{1, 1, 1, 2, 5, 6}, {1, 2, 1, 3, 5, 7}}, {{1, 1, 3}, {1, 2, 1}});
        solver::branch(st->fam);
        EXPECT_EQ(st->ms.RCODE, 0);
    }
    // Different problems whose four node words are all 0: conflict.
    {
        FreshState st;
        setup(*st, {{1, 1, 0, 0, 1, 1}, {2, 1, 0, 0, 2, 2}}, {{1, 1, 2}, {2, 1, 1}});
        solver::branch(st->fam);
        EXPECT_EQ(st->ms.RCODE, 3);
    }
    // Different problems with disjoint nonzero nodes: no conflict.
    {
        FreshState st;
        setup(*st, {{1, 1, 1, 2, 1, 1}, {2, 1, 3, 4, 2, 2}}, {{1, 1, 1}, {2, 1, 1}});
        solver::branch(st->fam);
        EXPECT_EQ(st->ms.RCODE, 0);
        EXPECT_TRUE(was_reset(*st));
    }
}

TEST(Branch, ChainLoadAtTheLimitPassesAboveItConflicts) {
    // Orientation A: U = (1 -> 2, codes 2, 4), W = (2 -> 0, codes 4, 1): the
    // chain ends nowhere (b = 0), so its load is compared with KR06.
    for (float limit : {5.0f, 4.5f}) {
        FreshState st;
        setup(*st, {{1, 1, 1, 2, 1, 4, 3.0f}, {1, 2, 2, 0, 4, 1, 2.0f}}, {{1, 2, 1}, {1, 1, 1}});
        st->pb.KR06[1] = limit;
        solver::branch(st->fam);
        EXPECT_EQ(st->ms.RCODE, limit == 5.0f ? 0 : 3) << "limit " << limit;
    }
}

TEST(Branch, ChainCountsOfLinkedLegs) {
    // Codes (2, 3, 2): D = IRL1(f) - IRL1(m) + IRL1(b) only when IRL1(f) > IRL1(m).
    auto run = [](int32_t f1, int32_t m1, int32_t b1, int32_t kr01) {
        FreshState st;
        // U: 1 -> 2 (x = 2, y = 3); W: 2 -> 3 (codes 3, 2).
        setup(*st, {{1, 1, 1, 2, 2, 3}, {1, 2, 2, 3, 3, 2}}, {{1, 2, 1}, {1, 1, 1}});
        auto& pb = st->pb;
        pb.IKR[1][3] = 1;  // no load limit at the last node
        pb.IRL1[1][1] = f1;
        pb.IRL1[2][1] = m1;
        pb.IRL1[3][1] = b1;
        pb.KR01[1] = kr01;
        pb.KR02[1] = 1000;
        solver::branch(st->fam);
        return st->ms.RCODE;
    };
    EXPECT_EQ(run(10, 4, 5, 11), 0);  // D = 11, not above 11
    EXPECT_EQ(run(10, 4, 5, 10), 3);  // D = 11 > 10
    EXPECT_EQ(run(4, 10, 50, 0), 0);  // first not larger: D = 0
}

TEST(Branch, NodeWordsOutsideTheResourcesContributeNothing) {
    FreshState st;
    // A chain whose nodes lie far outside 1..NCRES: no load is read there.
    setup(*st, {{1, 1, 900, -7, 3, 4}, {1, 2, -7, 32000, 4, 2}}, {{1, 2, 1}, {1, 1, 1}});
    solver::branch(st->fam);
    EXPECT_EQ(st->ms.RCODE, 0);
    EXPECT_EQ(st->sv.IERR, 0);
}

TEST(Branch, MissingEntriesGiveCode55) {
    {
        FreshState st;
        setup(*st, {{1, 1, 1, 2, 1, 1}}, {{1, 1, 1}, {1, 2, 1}});
        solver::branch(st->fam);
        EXPECT_EQ(st->sv.IERR, 55);
        EXPECT_FALSE(was_reset(*st));
    }
    {
        FreshState st;
        setup(*st, {{1, 2, 1, 2, 1, 1}}, {{1, 1, 1}, {1, 2, 1}});
        solver::branch(st->fam);
        EXPECT_EQ(st->sv.IERR, 55);
    }
}

}  // namespace
}  // namespace kav::test
