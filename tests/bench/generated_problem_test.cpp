// The benchmarks' problem generator: every shape it accepts is filled inside
// its arrays (the sanitizer build catches a write past them), each row and
// column gets its entries, and the library solves the problem; a shape it
// cannot fill is refused.
#include <gtest/gtest.h>

#include <random>

#include "datadir.hpp"
#include "generated_problem.hpp"
#include "platform.hpp"

namespace {

using kav::bench::Shape;

void no_sleep(int32_t) {}

TEST(GeneratedProblem, AcceptedShapesAreFilledAndSolvedRefusedOnesAreEmpty) {
    EXPECT_NE(kav::bench::fits({8, 30, 60, 4, 20}), nullptr);  // 30 pair rows in 28 rows
    EXPECT_EQ(kav::bench::fits({8, 30, 58, 4, 20}), nullptr);
    EXPECT_NE(kav::bench::fits({2, 50, 40, 3, 2}), nullptr) << "0-Z variables need pair rows";
    std::mt19937 g(22);
    auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); };
    int accepted = 0, solved = 0;
    for (int t = 0; t < 300; ++t) {
        const Shape sh{uni(0, 5), uni(2, 60), uni(2, 120), uni(0, 20), uni(0, 30)};
        const kav::bench::Data d = kav::bench::make_problem(sh);
        if (kav::bench::fits(sh) != nullptr) {
            EXPECT_EQ(d.sh.nsub, 0);
            EXPECT_TRUE(d.amat.empty());
            continue;
        }
        ++accepted;
        ASSERT_EQ(static_cast<int>(d.amat.size()), sh.nsub);
        for (const auto& a : d.amat) {
            auto A = [&](int i, int j) { return a[static_cast<size_t>(j - 1) * kav::bench::LDA + (i - 1)]; };
            for (int i = 2; i <= sh.nrow; ++i) {
                bool any = false;
                for (int j = 2; j <= sh.ncol; ++j) any = any || A(i, j) > 0.0;
                ASSERT_TRUE(any) << "row " << i << " empty";
            }
            for (int j = 2; j <= sh.ncol; ++j) {  // every column is bounded by a row
                bool any = false;
                for (int i = 2; i <= sh.nrow; ++i) any = any || A(i, j) > 0.0;
                ASSERT_TRUE(any) << "column " << j << " unbounded";
            }
        }
        if (solved < 4) {
            kav::test::TempDataDir dir;
            kav::set_sleep_function(&no_sleep);
            EXPECT_NE(kav::bench::solve(d).resv, 37.0) << sh.nsub << " " << sh.nrow << " " << sh.ncol;
            ++solved;
        }
    }
    EXPECT_GE(accepted, 40);
}

}  // namespace
