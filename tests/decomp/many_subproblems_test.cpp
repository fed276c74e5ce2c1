// Problems with many subproblems (up to the 60 a host may pass) solved
// through the exported entry of the built library and checked against GLPK:
// master columns of subproblems 33 and above carry labels 1000*K+n beyond a
// 16-bit word, so their proposals must still be found and combined.

#include <gtest/gtest.h>

#include "core_host.hpp"

namespace kav::test {
namespace {

struct Case {
    int nsub;
    int nz;  // 0-Z variables per subproblem (0: a continuous problem)
};

class ManySubproblems : public ::testing::TestWithParam<Case> {};

TEST_P(ManySubproblems, ResultAgreesWithItsObjectiveAndGlpk) {
    const Case c = GetParam();
    TempDataDir dir;
    const PlainProblem pp = blocks(c.nsub, c.nz, 7u + static_cast<unsigned>(c.nsub));
    Host h;
    h.run(to_host(pp, c.nsub));

    const LpProblem lp = to_lp(pp, false);
    const LpResult lpr = solve_lp(lp);
    ASSERT_EQ(lpr.status, LpStatus::optimal);
    double cont = 0.0;
    ASSERT_TRUE(continuous_objective(read_file(dir.file("KAV100.PNT")), cont));
    // The cycle stops once no subproblem gains more than its tolerance.
    const double rel = 1e-6 * std::max(1.0, std::fabs(lpr.obj));
    EXPECT_LE(cont, lpr.obj + rel);
    EXPECT_GE(cont, lpr.obj - rel - 5e-8 * 30000.0 * c.nsub);

    const double resv = h.RESV[0];
    ASSERT_NE(resv, 37.0) << "no solution reported";
    std::vector<double> x(lp.c.size());
    for (size_t j = 0; j < x.size(); ++j) x[j] = h.xres(1, static_cast<int>(j) + 1);
    const double scale = std::max(1.0, std::fabs(resv));
    EXPECT_NEAR(objective_of(lp, x), resv, 1e-6 * scale);
    EXPECT_LE(max_violation(lp, x), 1e-6 * scale);
    if (c.nz == 0) {
        EXPECT_NEAR(resv, cont, 1e-6 * scale);
    } else {
        const LpResult mip = solve_lp(to_lp(pp, true));
        ASSERT_EQ(mip.status, LpStatus::optimal);
        EXPECT_LE(resv, mip.obj + 1e-6 * scale);
        for (size_t j = 0; j < x.size(); ++j) {
            const bool binary = x[j] == 0.0 || x[j] == 1.0;
            EXPECT_TRUE(static_cast<int>(j % 4) >= c.nz || binary) << "0-Z value " << x[j];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ManySubproblems,
                         ::testing::Values(Case{33, 0}, Case{40, 0}, Case{60, 0}, Case{40, 1}),
                         [](const auto& info) {
                             return std::to_string(info.param.nsub) + (info.param.nz ? "_mixed" : "_continuous");
                         });

}  // namespace
}  // namespace kav::test
