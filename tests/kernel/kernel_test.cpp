// COLRNG and PIVOT: edge cases of the scales, tolerances, zeroing, norms and
// the exchange step, and bit-for-bit agreement with plain loops in the
// routines' own order on random tableaux.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "kernel.hpp"

namespace {

using namespace kav::kernel;

const Consts ALL[] = {DECOMP_CONSTS, SINGLE_CONSTS, MIX_CONSTS, MPI_CONSTS};

// A tableau with its labels and result arrays, owning its storage.
struct Tab {
    int32_t ld;
    int16_t m, n;
    std::vector<double> t;
    std::vector<int16_t> irow, icol;
    std::vector<double> rscale, cscale, cnorm, rnorm, tolel;

    Tab(int16_t m_, int16_t n_, int32_t ld_ = 0)
        : ld(ld_ ? ld_ : m_ + 3), m(m_), n(n_), t(static_cast<size_t>(ld) * (n_ ? n_ : 1), 0.0),
          irow(m_ + 1, 0), icol(n_ + 1, 0), rscale(m_ + 1, -7.0), cscale(n_ + 1, -7.0),
          cnorm(n_ + 1, -7.0), rnorm(m_ + 1, -7.0), tolel(static_cast<size_t>(m_ + 1) * (n_ + 1), -7.0) {
        for (int i = 0; i < m; ++i) irow[i] = static_cast<int16_t>(i % 3 == 0 ? 5 + i : -i);
        for (int j = 0; j < n; ++j) icol[j] = static_cast<int16_t>(j % 2 == 0 ? -j : 3 + j);
    }
    double& at(int i, int j) { return t[static_cast<size_t>(j - 1) * ld + (i - 1)]; }
    Tableau view() { return Tableau{t.data(), ld, m, n, irow.data(), icol.data()}; }
    Scales scales(bool stored) {
        Scales s{rscale.data(), cscale.data(), cnorm.data(), rnorm.data()};
        if (stored) {
            s.tolel = tolel.data();
            s.ldtol = m + 1;
        }
        return s;
    }
    void colrng(const Consts& k, bool stored = false) {
        Tableau tb = view();
        Scales s = scales(stored);
        kav::kernel::colrng(k, tb, s);
    }
    void pivot(int r, int c) {
        Tableau tb = view();
        kav::kernel::pivot(tb, r, c);
    }
};

// ---- plain loops in the routines' own order -------------------------------

void colrng_ref(const Consts& k, Tab& a) {
    const int m = a.m, n = a.n;
    for (int i = 1; i <= m; ++i) {
        double small = k.big, large = -k.big;
        for (int j = 1; j <= n; ++j) {
            double v = std::fabs(a.at(i, j));
            if (v > ATINY) {
                if (v < small) small = v;
                if (v > large) large = v;
            }
        }
        a.rscale[i - 1] = (large == -k.big || small == k.big) ? 0.0 : std::sqrt(large * small);
    }
    for (int j = 1; j <= n; ++j) {
        double small = k.big, large = -k.big;
        for (int i = 1; i <= m; ++i) {
            double v = std::fabs(a.at(i, j));
            if (v > ATINY) {
                if (v < small) small = v;
                if (v > large) large = v;
            }
        }
        a.cscale[j - 1] = (large == -k.big || small == k.big) ? 0.0 : std::sqrt(large * small);
    }
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            double d = std::max(a.rscale[i - 1], a.cscale[j - 1]);
            double tol, z;
            if (d > SCLTHR) {
                tol = k.tolelm * d / 1000.0;
                z = d * k.tolzer / 1000.0;
            } else {
                tol = k.tolelm;
                z = k.tolzer;
            }
            a.tolel[static_cast<size_t>(j - 1) * (m + 1) + (i - 1)] = tol;
            if (z >= std::fabs(a.at(i, j))) a.at(i, j) = 0.0;
        }
    }
    for (int j = 2; j <= n; ++j) {
        double sum = 0.0;
        for (int i = 2; i <= m; ++i)
            if (a.at(i, j) != 0.0 && a.irow[i - 1] > 0) sum += a.at(i, j) * a.at(i, j);
        a.cnorm[j - 1] = std::sqrt(sum + 1.0);
    }
    for (int i = 2; i <= m; ++i) {
        double sum = 0.0;
        for (int j = 2; j <= n; ++j)
            if (a.at(i, j) != 0.0 && a.icol[j - 1] < 0) sum += a.at(i, j) * a.at(i, j);
        a.rnorm[i - 1] = std::sqrt(sum + 1.0);
    }
}

void pivot_ref(Tab& a, int r, int c) {
    const double p = a.at(r, c);
    for (int j = 1; j <= a.n; ++j) {
        if (j == c || a.at(r, j) == 0.0) continue;
        for (int i = 1; i <= a.m; ++i) {
            if (i == r || a.at(i, c) == 0.0) continue;
            a.at(i, j) = a.at(i, j) - (a.at(r, j) * a.at(i, c)) / p;
        }
    }
    for (int j = 1; j <= a.n; ++j) a.at(r, j) = a.at(r, j) / p;
    std::swap(a.irow[r - 1], a.icol[c - 1]);
    for (int i = 1; i <= a.m; ++i) a.at(i, c) = -a.at(i, c) / p;
    a.at(r, c) = 1.0 / p;
}

bool same_bits(const std::vector<double>& x, const std::vector<double>& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

// Random tableau: exact zeros (both signs), tiny entries around the zero
// thresholds and ATINY, ordinary values, and some rows and columns scaled
// far above SCLTHR so that the widened tolerances come into play.
Tab random_tab(std::mt19937_64& g, int16_t m, int16_t n, double zero_share) {
    Tab a(m, n);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> rf(m), cf(n);
    for (auto& f : rf) f = u(g) < 0.2 ? std::pow(10.0, 3.0 + 6.0 * u(g)) : 1.0;
    for (auto& f : cf) f = u(g) < 0.2 ? std::pow(10.0, 3.0 + 6.0 * u(g)) : 1.0;
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= m; ++i) {
            double x = u(g);
            double v;
            if (x < zero_share)
                v = u(g) < 0.5 ? 0.0 : -0.0;
            else if (x < zero_share + 0.05)
                v = (u(g) - 0.5) * 2e-17 * rf[i - 1] * cf[j - 1];  // near the zero thresholds
            else if (x < zero_share + 0.10)
                v = u(g) < 0.5 ? 0.001 : -0.0011;  // at and just above ATINY
            else
                v = (u(g) - 0.5) * 20.0 * rf[i - 1] * cf[j - 1];
            a.at(i, j) = v;
        }
    }
    for (int i = 0; i < m; ++i) a.irow[i] = static_cast<int16_t>(u(g) < 0.5 ? 1 + i : -i);
    for (int j = 0; j < n; ++j) a.icol[j] = static_cast<int16_t>(u(g) < 0.5 ? 1 + j : -j);
    return a;
}

// ---- COLRNG edge cases ------------------------------------------------------

TEST(Colrng, ScalesFromMagnitudesAboveAtiny) {
    for (const Consts& k : ALL) {
        Tab a(3, 4);
        // Row 1: nothing above 0.001 -> scale 0.  Row 2: one entry of 7.5
        // above it -> scale 7.5.  Row 3: 2 and 8 -> sqrt(16) = 4.
        a.at(1, 1) = 0.001;
        a.at(1, 2) = -0.0005;
        a.at(2, 3) = -7.5;
        a.at(2, 4) = 0.001;
        a.at(3, 1) = 2.0;
        a.at(3, 2) = -8.0;
        a.at(3, 3) = 0.0009;
        a.colrng(k);
        EXPECT_EQ(a.rscale[0], 0.0);
        EXPECT_EQ(a.rscale[1], 7.5);
        EXPECT_EQ(a.rscale[2], 4.0);
        EXPECT_EQ(a.cscale[0], 2.0);
        EXPECT_EQ(a.cscale[1], 8.0);
        EXPECT_EQ(a.cscale[2], 7.5);
        EXPECT_EQ(a.cscale[3], 0.0);
    }
}

TEST(Colrng, ToleranceWidensOnlyAboveThreshold) {
    for (const Consts& k : ALL) {
        Tab a(2, 2);
        a.at(1, 1) = 1000.0;  // row 1 and column 1: scale exactly 1000
        a.at(2, 2) = 2000.0;  // row 2 and column 2: scale 2000
        a.colrng(k, true);
        Scales s = a.scales(true);
        const double wide = k.tolelm * 2000.0 / 1000.0;
        EXPECT_DOUBLE_EQ(wide, 2.0 * k.tolelm);
        EXPECT_EQ(a.tolel[0], k.tolelm);  // (1,1): D = 1000
        EXPECT_EQ(a.tolel[1], wide);      // (2,1): D = 2000
        EXPECT_EQ(a.tolel[3], wide);      // (1,2)
        EXPECT_EQ(a.tolel[4], wide);      // (2,2)
        EXPECT_EQ(tolel_of(k, s, 1, 1), k.tolelm);
        EXPECT_EQ(tolel_of(k, s, 1, 2), wide);
    }
}

TEST(Colrng, ZeroThresholdIncludesEquality) {
    for (const Consts& k : ALL) {
        const double z2 = 2000.0 * k.tolzer / 1000.0;  // threshold at scale 2000
        EXPECT_DOUBLE_EQ(z2, 2.0 * k.tolzer);
        Tab a(4, 3);
        a.at(1, 1) = 5.0;
        a.at(2, 1) = k.tolzer;                       // D = 5: threshold TOLZER, equal -> 0
        a.at(2, 2) = -k.tolzer;                      // D = 0, negative, equal -> 0
        a.at(4, 1) = std::nextafter(k.tolzer, 1.0);  // just above -> kept
        a.at(3, 3) = 2000.0;                         // row 3 and column 3 scale 2000
        a.at(1, 3) = z2;                             // D = 2000: equal -> 0
        a.at(2, 3) = -std::nextafter(z2, 1.0);       // just above -> kept
        a.at(3, 2) = std::nextafter(k.tolzer, 1.0);  // row 3 scale 2000 widens it -> 0
        a.colrng(k);
        EXPECT_EQ(a.at(2, 1), 0.0);
        EXPECT_EQ(a.at(2, 2), 0.0);
        EXPECT_FALSE(std::signbit(a.at(2, 2)));
        EXPECT_NE(a.at(4, 1), 0.0);
        EXPECT_EQ(a.at(1, 3), 0.0);
        EXPECT_NE(a.at(2, 3), 0.0);
        EXPECT_EQ(a.at(3, 2), 0.0);
        // Scales come from the tableau as it was on entry.
        EXPECT_EQ(a.rscale[2], 2000.0);
        EXPECT_EQ(a.cscale[0], 5.0);
    }
}

TEST(Colrng, NormsSkipLabelsAndRowOneColumnOne) {
    for (const Consts& k : ALL) {
        Tab a(4, 4);
        for (int i = 1; i <= 4; ++i)
            for (int j = 1; j <= 4; ++j) a.at(i, j) = i + 10.0 * j;
        a.irow = {0, -1, 7, -3, 0};
        a.icol = {0, 4, -2, -3, 0};
        a.colrng(k);
        // Column norms over rows 2..4 with IROW > 0: only row 3.
        for (int j = 2; j <= 4; ++j) EXPECT_EQ(a.cnorm[j - 1], std::sqrt(a.at(3, j) * a.at(3, j) + 1.0));
        // Row norms over columns 2..4 with ICOL < 0: columns 3 and 4.
        for (int i = 2; i <= 4; ++i)
            EXPECT_EQ(a.rnorm[i - 1], std::sqrt(a.at(i, 3) * a.at(i, 3) + a.at(i, 4) * a.at(i, 4) + 1.0));

        // A column whose nonzeros lie only in rows labelled <= 0: norm 1.
        Tab b(3, 2);
        b.irow = {5, -1, 0, 0};
        b.at(1, 2) = 9.0;  // row 1 never counts
        b.at(2, 2) = 3.0;
        b.at(3, 2) = 4.0;
        b.colrng(k);
        EXPECT_EQ(b.cnorm[1], 1.0);
    }
}

TEST(Colrng, SingleRowOrColumnGivesUnitNorms) {
    for (const Consts& k : ALL) {
        Tab a(1, 6);
        for (int j = 1; j <= 6; ++j) a.at(1, j) = 3.0 * j;
        a.irow[0] = 4;
        a.colrng(k);
        for (int j = 2; j <= 6; ++j) EXPECT_EQ(a.cnorm[j - 1], 1.0);

        Tab b(6, 1);
        for (int i = 1; i <= 6; ++i) b.at(i, 1) = 3.0 * i;
        b.icol[0] = -4;
        b.colrng(k);
        for (int i = 2; i <= 6; ++i) EXPECT_EQ(b.rnorm[i - 1], 1.0);
    }
}

// ---- PIVOT edge cases ------------------------------------------------------

TEST(Pivot, ExchangeStepAndItsInverse) {
    std::mt19937_64 g(7);
    Tab a = random_tab(g, 9, 7, 0.3);
    a.at(4, 3) = -2.5;
    Tab old = a;
    a.pivot(4, 3);
    EXPECT_EQ(a.at(4, 3), 1.0 / -2.5);
    for (int i = 1; i <= 9; ++i)
        if (i != 4) {
            EXPECT_EQ(a.at(i, 3), -old.at(i, 3) / -2.5);
        }
    for (int j = 1; j <= 7; ++j)
        if (j != 3) {
            EXPECT_EQ(a.at(4, j), old.at(4, j) / -2.5);
        }
    EXPECT_EQ(a.irow[3], old.icol[2]);
    EXPECT_EQ(a.icol[2], old.irow[3]);

    a.pivot(4, 3);
    EXPECT_EQ(a.irow, old.irow);
    EXPECT_EQ(a.icol, old.icol);
    for (int j = 1; j <= 7; ++j)
        for (int i = 1; i <= 9; ++i)
            EXPECT_NEAR(a.at(i, j), old.at(i, j), 1e-9 * (1.0 + std::fabs(old.at(i, j)))) << i << "," << j;
}

// ---- agreement with the plain loops ------------------------------------------

class KernelForms : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { limit_vector_width(GetParam()); }
    void TearDown() override { limit_vector_width(0); }
};

TEST_P(KernelForms, MatchesPlainLoopsBitForBit) {
    std::mt19937_64 g(12345);
    const int16_t sizes[][2] = {{1, 1}, {1, 5}, {5, 1}, {2, 2}, {7, 9}, {33, 17}, {64, 64}, {131, 45}, {1030, 9}};
    const double zero_shares[] = {0.0, 0.4, 0.9};
    for (const Consts& k : ALL) {
        for (auto& sz : sizes) {
            for (double zs : zero_shares) {
                Tab a = random_tab(g, sz[0], sz[1], zs);
                Tab b = a;
                a.colrng(k, true);
                colrng_ref(k, b);
                ASSERT_TRUE(same_bits(a.t, b.t)) << sz[0] << "x" << sz[1];
                ASSERT_TRUE(same_bits(a.rscale, b.rscale));
                ASSERT_TRUE(same_bits(a.cscale, b.cscale));
                ASSERT_EQ(a.cnorm[0], -7.0);  // entry 1 of the norms is left alone
                ASSERT_EQ(a.rnorm[0], -7.0);
                for (int j = 1; j < a.n; ++j) ASSERT_EQ(a.cnorm[j], b.cnorm[j]);
                for (int i = 1; i < a.m; ++i) ASSERT_EQ(a.rnorm[i], b.rnorm[i]);
                for (int j = 1; j <= a.n; ++j)
                    for (int i = 1; i <= a.m; ++i) {
                        double ref = b.tolel[static_cast<size_t>(j - 1) * (a.m + 1) + (i - 1)];
                        ASSERT_EQ(a.tolel[static_cast<size_t>(j - 1) * (a.m + 1) + (i - 1)], ref);
                        Scales s = a.scales(false);
                        ASSERT_EQ(tolel_of(k, s, i, j), ref);
                    }

                // A few exchange steps on the zeroed tableau, dense and sparse
                // pivot columns alike, with COLRNG in between.
                for (int step = 0; step < 4; ++step) {
                    std::uniform_int_distribution<int> ri(1, a.m), ci(1, a.n);
                    int r = 0, c = 0;
                    for (int tries = 0; tries < 50; ++tries) {
                        int rr = ri(g), cc = ci(g);
                        if (std::fabs(a.at(rr, cc)) > 0.01) {
                            r = rr;
                            c = cc;
                            break;
                        }
                    }
                    if (!r) break;
                    a.pivot(r, c);
                    pivot_ref(b, r, c);
                    ASSERT_TRUE(same_bits(a.t, b.t)) << "pivot " << r << "," << c;
                    ASSERT_EQ(a.irow, b.irow);
                    ASSERT_EQ(a.icol, b.icol);
                    a.colrng(k, false);
                    colrng_ref(k, b);
                    ASSERT_TRUE(same_bits(a.t, b.t));
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(VectorForms, KernelForms, ::testing::Values(0, 128, 256));

TEST(Kernel, PivotKeepsUntouchedBitsAndSpecialValues) {
    // Rows whose pivot-column entry is 0 (of either sign) keep their exact
    // bits, negative zeros included, even where T(r,j) is infinite.
    Tab a(6, 3);
    for (int i = 1; i <= 6; ++i) a.at(i, 1) = i;
    a.at(2, 1) = -0.0;
    a.at(1, 2) = 4.0;        // pivot
    a.at(3, 2) = -0.0;
    a.at(4, 2) = 2.0;
    a.at(1, 3) = INFINITY;   // T(r,3)
    a.at(3, 3) = -0.0;
    a.at(5, 3) = 1.5;
    Tab b = a;
    a.pivot(1, 2);
    pivot_ref(b, 1, 2);
    EXPECT_TRUE(same_bits(a.t, b.t));
    EXPECT_TRUE(std::signbit(a.at(3, 3)));
    EXPECT_EQ(a.at(5, 3), 1.5);
}

TEST(Kernel, LeadingDimensionLargerThanRows) {
    std::mt19937_64 g(99);
    Tab base = random_tab(g, 23, 11, 0.5);
    Tab wide(23, 11, 2401);
    for (int j = 1; j <= 11; ++j)
        for (int i = 1; i <= 23; ++i) wide.at(i, j) = base.at(i, j);
    wide.irow = base.irow;
    wide.icol = base.icol;
    base.colrng(DECOMP_CONSTS);
    wide.colrng(DECOMP_CONSTS);
    base.pivot(5, 6);
    wide.pivot(5, 6);
    for (int j = 1; j <= 11; ++j)
        for (int i = 1; i <= 23; ++i) ASSERT_EQ(std::memcmp(&wide.at(i, j), &base.at(i, j), 8), 0);
    // Rows beyond M are never touched.
    for (int j = 1; j <= 11; ++j) ASSERT_EQ(wide.at(24, j), 0.0);
}

}  // namespace
