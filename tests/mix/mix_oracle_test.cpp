// The allocation library against GLPK's integer optimum on random problems,
// called through its exported entry with host arrays sized to the arguments.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "datadir.hpp"
#include "lp_oracle.hpp"

namespace {

using Entry = void (*)(int16_t*, int16_t*, int16_t*, double*, int16_t*, int16_t*, int16_t*,
                       int16_t*, int16_t*, int16_t*, double*, float*, float*, double*, float*,
                       int16_t*, int16_t*, int16_t*);
constexpr int LD = 100;

Entry entry() {
    static void* h = dlopen(KAVMIX_SO, RTLD_NOW | RTLD_LOCAL);
    return h ? reinterpret_cast<Entry>(dlsym(h, "ALLAH_mp_TARVEXO1")) : nullptr;
}

// One host call on a problem with `nv` integer columns and one item whose
// demand is 0 (its shortage column is the last).
struct Host {
    int16_t nrow, ncol;
    std::vector<int16_t> itype;
    std::vector<double> amat;
    double status = -1.0;
    std::vector<float> xout;
    int16_t ipen = 0, idem = 0, igcap = 32000, igroup = 3;
    float qty = 1.0f;
    void call(const std::vector<double>& val) {
        int16_t nitem = 1, ngroup = 1, iitem = 7;
        std::vector<int16_t> igrpv(ncol, 3), iitmv(ncol, 7);
        std::vector<double> valvar(ncol, 0.0);
        std::vector<float> rqty(ncol, qty);
        for (size_t k = 0; k < val.size(); ++k) valvar[k + 1] = val[k];
        xout.assign(ncol - 1, -9.0f);
        float best0 = 0.0f;
        entry()(&nrow, &ncol, itype.data(), amat.data(), &iitem, &nitem, &igroup, &ngroup,
                igrpv.data(), iitmv.data(), &status, xout.data(), &best0, valvar.data(),
                rqty.data(), &ipen, &idem, &igcap);
    }
};

TEST(MixOracle, RandomProblemsReachTheIntegerOptimum) {
    ASSERT_NE(entry(), nullptr);
    std::mt19937 rng(12345);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int solved = 0;
    for (int trial = 0; trial < 150; ++trial) {
        kav::test::TempDataDir dir;
        const int nv = uni(2, 7), mr = uni(1, 5);
        const bool ge = uni(0, 1) == 1, eq = nv >= 2 && uni(0, 2) == 0;
        kav::test::LpProblem lp;
        std::vector<double> val(nv);
        for (int j = 0; j < nv; ++j) val[j] = uni(1, 20);
        lp.c = val;
        lp.c.push_back(0.0);
        std::vector<kav::test::LpRow> rows;
        for (int r = 0; r < mr; ++r) {
            kav::test::LpRow row{std::vector<double>(nv + 1, 0.0), 'L', double(uni(5, 60))};
            for (int j = 0; j < nv; ++j) row.a[j] = uni(1, 12);
            rows.push_back(row);
        }
        if (ge) {  // x1 + x2 >= 1, passed as a "<=" row with negative right-hand side
            kav::test::LpRow row{std::vector<double>(nv + 1, 0.0), 'G', 1.0};
            row.a[0] = 1.0;
            row.a[nv - 1] = 1.0;
            rows.push_back(row);
        }
        if (eq) {  // x1 + x2 = 1
            kav::test::LpRow row{std::vector<double>(nv + 1, 0.0), 'E', 1.0};
            row.a[0] = row.a[1] = 1.0;
            rows.push_back(row);
        }
        lp.rows = rows;
        lp.lb.assign(nv + 1, 0.0);
        lp.ub.assign(nv + 1, kav::test::LP_INF);
        lp.ub[nv] = 0.0;
        lp.integer.assign(nv + 1, true);
        const auto ref = kav::test::solve_lp(lp);
        ASSERT_NE(ref.status, kav::test::LpStatus::unbounded);

        Host h;
        h.nrow = static_cast<int16_t>(rows.size() + 1);
        h.ncol = static_cast<int16_t>(nv + 2);
        h.itype.assign(h.nrow, 1);
        h.amat.assign(static_cast<size_t>(LD) * h.ncol, 0.0);
        auto at = [&](int i, int j) -> double& { return h.amat[(j - 1) * LD + (i - 1)]; };
        for (int j = 0; j < nv; ++j) at(1, j + 2) = -val[j];
        for (size_t r = 0; r < rows.size(); ++r) {
            const int i = static_cast<int>(r) + 2;
            const double sg = rows[r].type == 'G' ? -1.0 : 1.0;
            at(i, 1) = sg * rows[r].rhs;
            for (int j = 0; j < nv; ++j) at(i, j + 2) = sg * rows[r].a[j];
            h.itype[i - 1] = rows[r].type == 'E' ? 0 : 1;
        }
        h.call(val);
        SCOPED_TRACE(trial);
        if (ref.status == kav::test::LpStatus::infeasible || ref.obj <= 0.0) {
            EXPECT_EQ(h.status, 37.0);
            continue;
        }
        ++solved;
        EXPECT_NEAR(h.status, ref.obj, 1e-6 * std::fabs(ref.obj));
        double worth = 0.0;
        for (int j = 0; j < nv; ++j) {
            EXPECT_EQ(h.xout[j], std::round(h.xout[j]));
            worth += h.xout[j] * val[j];
        }
        EXPECT_NEAR(worth, h.status, 1e-6 * std::fabs(ref.obj));
        for (const auto& row : rows) {
            double lhs = 0.0;
            for (int j = 0; j < nv; ++j) lhs += row.a[j] * h.xout[j];
            if (row.type != 'G') {
                EXPECT_LE(lhs, row.rhs + 1e-9);
            }
            if (row.type != 'L') {
                EXPECT_GE(lhs, row.rhs - 1e-9);
            }
        }
    }
    EXPECT_GT(solved, 75);  // most problems have a solution to compare
}

// One variable fixed at 1 by an equation, value 10: the allocation step's
// rounding, shortage and penalty, the group limit, and the ends that take no
// solution (STATUS is then 37 whatever the host passed).
TEST(MixOracle, AllocationStepAndEndsWithoutSolution) {
    struct Case {
        float qty;
        int16_t idem, ipen, igcap, igroup;
        double obj;      // objective entry of the variable
        double status;   // expected STATUS
        float shortage;  // expected XOUT of the shortage column (when taken)
    };
    const Case cases[] = {
        {2.5f, 4, 3, 10, 3, -10.0, 10.0 - 3.0, 1.0f},     // 2.5 rounds to 3
        {-2.5f, 4, 3, 10, 3, -10.0, 10.0 - 21.0, 7.0f},   // -2.5 rounds to -3
        {5.0f, 4, 3, 10, 3, -10.0, 10.0, 0.0f},           // more than required
        {1.0f, 0, 0, 0, 3, -10.0, 37.0, 0.0f},            // group limit exceeded at the root
        {1.0f, 0, 0, 10, 4, -10.0, 37.0, 0.0f},           // group code missing: error end 5
        {1.0f, 0, 0, 10, 3, -0.0005, 37.0, 0.0f},         // objective row empty: 73
    };
    for (const Case& c : cases) {
        kav::test::TempDataDir dir;
        Host h;
        h.nrow = 2;
        h.ncol = 3;
        h.itype = {1, 0};
        h.amat.assign(LD * 3, 0.0);
        h.amat[0 * LD + 1] = 1.0;  // rhs of x1 = 1
        h.amat[1 * LD + 0] = c.obj;
        h.amat[1 * LD + 1] = 1.0;
        h.qty = c.qty;
        h.idem = c.idem;
        h.ipen = c.ipen;
        h.igcap = c.igcap;
        h.igroup = c.igroup;
        h.status = 123.0;
        h.call({10.0});
        EXPECT_EQ(h.status, c.status) << c.qty << " " << c.igcap << " " << c.igroup;
        if (c.status != 37.0) {
            EXPECT_EQ(h.xout[0], 1.0f);
            EXPECT_EQ(h.xout[1], c.shortage);
        }
        EXPECT_EQ(h.nrow, 2);  // counts come back as passed
        EXPECT_EQ(h.ncol, 3);
        const std::string pnt = kav::test::read_file(dir.file("KAV1.PNT"));
        EXPECT_EQ(pnt.rfind("\nBESM ELLAH EL RAHMAN EL RAHIM\n", 0), 0u) << pnt.substr(0, 60);
    }
}

}  // namespace
