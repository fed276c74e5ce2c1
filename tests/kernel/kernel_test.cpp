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

// ---- a second, independent check on hostile input --------------------------
//
// The routines written out once more, statement by statement as the
// routines are described (scales, tolerances and zeroing, norms; the five
// exchange steps), and compared with every vector form on tableaux full of
// values that test the comparisons: signed zeros, entries at and next to
// ATINY, the zero thresholds and BIG, subnormals, infinities and NaN.

namespace {

double dmax(double a, double b) { return a > b ? a : b; }

void text_colrng(const Consts& k, Tab& a) {
    const int m = a.m, n = a.n;
    // 1.-2. Scales of rows, then of columns, from the tableau on entry.
    for (int i = 1; i <= m; ++i) {
        double smallest = k.big, largest = -k.big;
        for (int j = 1; j <= n; ++j) {
            const double v = std::fabs(a.at(i, j));
            if (v > ATINY) {
                if (v < smallest) smallest = v;
                if (v > largest) largest = v;
            }
        }
        a.rscale[i - 1] = (largest == -k.big || smallest == k.big) ? 0.0 : std::sqrt(largest * smallest);
    }
    for (int j = 1; j <= n; ++j) {
        double smallest = k.big, largest = -k.big;
        for (int i = 1; i <= m; ++i) {
            const double v = std::fabs(a.at(i, j));
            if (v > ATINY) {
                if (v < smallest) smallest = v;
                if (v > largest) largest = v;
            }
        }
        a.cscale[j - 1] = (largest == -k.big || smallest == k.big) ? 0.0 : std::sqrt(largest * smallest);
    }
    // 3. Tolerances and zeroing.
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            const double d = dmax(a.rscale[i - 1], a.cscale[j - 1]);
            double tol = k.tolelm, z = k.tolzer;
            if (d > SCLTHR) {
                tol = k.tolelm * d / 1000.0;
                z = d * k.tolzer / 1000.0;
            }
            a.tolel[static_cast<size_t>(j - 1) * (m + 1) + (i - 1)] = tol;
            if (z >= std::fabs(a.at(i, j))) a.at(i, j) = 0.0;
        }
    }
    // 4.-5. Norms.
    for (int j = 2; j <= n; ++j) {
        double sum = 0.0;
        for (int i = 2; i <= m; ++i) {
            const double v = a.at(i, j);
            if (v != 0.0 && a.irow[i - 1] > 0) sum = sum + v * v;
        }
        a.cnorm[j - 1] = std::sqrt(sum + 1.0);
    }
    for (int i = 2; i <= m; ++i) {
        double sum = 0.0;
        for (int j = 2; j <= n; ++j) {
            const double v = a.at(i, j);
            if (v != 0.0 && a.icol[j - 1] < 0) sum = sum + v * v;
        }
        a.rnorm[i - 1] = std::sqrt(sum + 1.0);
    }
}

void text_pivot(Tab& a, int r, int c) {
    const double p = a.at(r, c);
    for (int j = 1; j <= a.n; ++j) {
        if (j == c) continue;
        const double trj = a.at(r, j);
        if (trj == 0.0) continue;
        for (int i = 1; i <= a.m; ++i) {
            if (i == r) continue;
            const double tic = a.at(i, c);
            if (tic == 0.0) continue;
            a.at(i, j) = a.at(i, j) - (trj * tic) / p;
        }
    }
    for (int j = 1; j <= a.n; ++j) a.at(r, j) = a.at(r, j) / p;
    const int16_t lab = a.irow[r - 1];
    a.irow[r - 1] = a.icol[c - 1];
    a.icol[c - 1] = lab;
    for (int i = 1; i <= a.m; ++i) a.at(i, c) = -a.at(i, c) / p;
    a.at(r, c) = 1.0 / p;
}

// Same bits, or both NaN (which NaN an operation passes on when both of its
// operands are NaN is left to the processor).
bool same_or_nan(double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
    return std::memcmp(&x, &y, sizeof x) == 0;
}
::testing::AssertionResult same_list(const std::vector<double>& x, const std::vector<double>& y, size_t from,
                                     size_t to, const char* what) {
    for (size_t q = from; q < to; ++q)
        if (!same_or_nan(x[q], y[q]))
            return ::testing::AssertionFailure() << what << "[" << q << "]: " << x[q] << " vs " << y[q];
    return ::testing::AssertionSuccess();
}
::testing::AssertionResult same_tab(Tab& a, Tab& b) {
    for (int j = 1; j <= a.n; ++j)
        for (int i = 1; i <= a.m; ++i)
            if (!same_or_nan(a.at(i, j), b.at(i, j)))
                return ::testing::AssertionFailure()
                       << "T(" << i << "," << j << "): " << a.at(i, j) << " vs " << b.at(i, j);
    if (a.irow != b.irow || a.icol != b.icol) return ::testing::AssertionFailure() << "labels differ";
    return ::testing::AssertionSuccess();
}

// A tableau of awkward values, with some rows and columns scaled far up.
Tab hostile_tab(std::mt19937_64& g, const Consts& k, int16_t m, int16_t n, int32_t ld, bool nonfinite) {
    Tab a(m, n, ld);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> rf(m), cf(n);
    for (auto& f : rf) f = u(g) < 0.25 ? std::pow(10.0, 2.5 + 9.0 * u(g)) : 1.0;
    for (auto& f : cf) f = u(g) < 0.25 ? std::pow(10.0, 2.5 + 9.0 * u(g)) : 1.0;
    const double zshare = u(g) * 0.8;
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= m; ++i) {
            const double x = u(g);
            const double sgn = u(g) < 0.5 ? -1.0 : 1.0;
            const double s = rf[i - 1] * cf[j - 1];
            double v;
            if (x < zshare) {
                v = sgn * 0.0;
            } else {
                switch (g() % 16) {
                    case 0: v = sgn * ATINY; break;
                    case 1: v = sgn * std::nextafter(ATINY, 1.0); break;
                    case 2: v = sgn * k.tolzer; break;
                    case 3: v = sgn * std::nextafter(k.tolzer, 1.0); break;
                    case 4: v = sgn * s * k.tolzer / 1000.0; break;  // a widened threshold
                    case 5: v = sgn * 4.9e-324 * (1 + g() % 1000); break;
                    case 6: v = sgn * (u(g) < 0.5 ? k.big : std::nextafter(k.big, 0.0)); break;
                    case 7: v = sgn * 1000.0; break;
                    case 8: v = sgn * 1e-9 * s; break;
                    case 9:
                        if (nonfinite) {
                            v = u(g) < 0.5 ? sgn * INFINITY : std::nan("");
                            break;
                        }
                        [[fallthrough]];
                    default: v = sgn * (0.01 + 20.0 * u(g)) * s; break;
                }
            }
            a.at(i, j) = v;
        }
    }
    for (int i = 0; i < m; ++i) a.irow[i] = static_cast<int16_t>(static_cast<int>(g() % 7) - 3);
    for (int j = 0; j < n; ++j) a.icol[j] = static_cast<int16_t>(static_cast<int>(g() % 7) - 3);
    return a;
}

// Every form against the written-out routines: COLRNG, then exchange steps
// on dense and sparse pivot columns (and on pivots that are infinite, NaN
// or subnormal when non-finite values are in play), COLRNG after each.
void check_forms_on_hostile_input(uint64_t seed, bool nonfinite) {
    const int16_t sizes[][3] = {{1, 1, 1}, {3, 2, 5}, {2, 7, 2}, {9, 4, 9}, {17, 13, 20},
                                {515, 6, 515}, {1100, 11, 1101}, {40, 203, 41}};
    std::mt19937_64 g(seed);
    for (const Consts& k : ALL) {
        for (auto& sz : sizes) {
            const Tab start = hostile_tab(g, k, sz[0], sz[1], sz[2], nonfinite);
            std::vector<std::pair<int, int>> pivots;
            for (int step = 0; step < 5; ++step)
                pivots.emplace_back(1 + static_cast<int>(g() % sz[0]), 1 + static_cast<int>(g() % sz[1]));
            Tab want = start;
            text_colrng(k, want);
            std::vector<Tab> after;  // the expected tableau after each step
            for (auto [r, c] : pivots) {
                text_pivot(want, r, c);
                text_colrng(k, want);
                after.push_back(want);
            }
            for (int bits : {128, 256, 0}) {
                limit_vector_width(bits);
                Tab a = start;
                a.colrng(k, true);
                Tab ref = start;
                text_colrng(k, ref);
                const size_t ntol = static_cast<size_t>(a.m + 1) * a.n;
                ASSERT_TRUE(same_tab(a, ref)) << bits << " bits, " << sz[0] << "x" << sz[1];
                ASSERT_TRUE(same_list(a.rscale, ref.rscale, 0, a.m, "RSCALE"));
                ASSERT_TRUE(same_list(a.cscale, ref.cscale, 0, a.n, "CSCALE"));
                ASSERT_TRUE(same_list(a.cnorm, ref.cnorm, 1, a.n, "CNORM"));
                ASSERT_TRUE(same_list(a.rnorm, ref.rnorm, 1, a.m, "RNORM"));
                for (size_t q = 0; q < ntol; ++q) {
                    if (q % (a.m + 1) != static_cast<size_t>(a.m)) {
                        ASSERT_TRUE(same_or_nan(a.tolel[q], ref.tolel[q])) << "TOLEL " << q;
                    }
                }
                for (size_t s = 0; s < pivots.size(); ++s) {
                    a.pivot(pivots[s].first, pivots[s].second);
                    a.colrng(k, false);
                    ASSERT_TRUE(same_tab(a, after[s])) << bits << " bits, step " << s;
                    ASSERT_TRUE(same_list(a.cnorm, after[s].cnorm, 1, a.n, "CNORM"));
                    ASSERT_TRUE(same_list(a.rnorm, after[s].rnorm, 1, a.m, "RNORM"));
                }
            }
            limit_vector_width(0);
        }
    }
}

TEST(KernelText, FormsAgreeOnAwkwardFiniteValues) { check_forms_on_hostile_input(2024, false); }

TEST(KernelText, FormsAgreeWithInfinitiesAndNaN) { check_forms_on_hostile_input(77, true); }

#if defined(__x86_64__)
// With subnormals flushed (as the programs run), vector and scalar code
// still agree: both follow the same control register.
TEST(KernelText, FormsAgreeWithSubnormalsFlushed) {
    uint32_t csr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    uint32_t flushed = csr | 0x8040u;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(flushed));
    check_forms_on_hostile_input(5, false);
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
}
#endif

// The thresholds at scales just above SCLTHR and at arbitrary scales: an
// entry equal to D*TOLZER/1000 (in that order of operations) is zeroed, the
// next double up is kept, and TOLEL is TOLELM*D/1000.  Grouping the
// constants differently (D*(TOLZER/1000)) misses some of these bits.
TEST(KernelText, WidenedThresholdsUseTheirOwnOperationOrder) {
    std::mt19937_64 g(31);
    std::uniform_real_distribution<double> u(3.0, 12.0);
    for (const Consts& k : ALL) {
        for (int rep = 0; rep < 400; ++rep) {
            double d = rep == 0 ? SCLTHR : rep == 1 ? std::nextafter(SCLTHR, 2e3) : std::pow(10.0, u(g));
            const double z = d > SCLTHR ? d * k.tolzer / 1000.0 : k.tolzer;
            const double tol = d > SCLTHR ? k.tolelm * d / 1000.0 : k.tolelm;
            for (int bits : {128, 256, 0}) {
                limit_vector_width(bits);
                // Row 1 and column 1 have scale d; columns 2..9 only tiny
                // entries (scale 0), so row 1's entries there take D = d.
                Tab a(3, 9);
                a.at(1, 1) = d;
                for (int j = 2; j <= 9; ++j) {
                    a.at(1, j) = j % 2 ? z : -std::nextafter(z, 1.0);
                    a.at(2, j) = j % 2 ? k.tolzer : -std::nextafter(k.tolzer, 1.0);
                }
                a.colrng(k, true);
                ASSERT_EQ(a.rscale[0], d);
                for (int j = 2; j <= 9; ++j) {
                    ASSERT_EQ(a.at(1, j) == 0.0, j % 2 == 1) << d << " col " << j << " " << bits;
                    ASSERT_EQ(a.at(2, j) == 0.0, j % 2 == 1);
                    ASSERT_EQ(a.tolel[static_cast<size_t>(j - 1) * 4], tol) << d;
                    ASSERT_EQ(a.tolel[static_cast<size_t>(j - 1) * 4 + 1], k.tolelm);
                }
            }
            limit_vector_width(0);
        }
    }
}

// BIG is the start of the searches and its own sentinel: magnitudes of BIG
// or more alone leave the smallest at BIG, so the scale is 0.
TEST(KernelText, ScalesAtAndAboveBig) {
    for (const Consts& k : ALL) {
        Tab a(4, 3);
        a.at(1, 1) = -k.big;        // row 1: only BIG -> 0
        a.at(2, 2) = INFINITY;      // row 2: only infinity -> 0
        a.at(3, 1) = 4.0;           // row 3: 4 and infinity -> infinity
        a.at(3, 3) = -INFINITY;
        const double below = std::nextafter(k.big, 0.0);
        a.at(4, 2) = below;  // row 4: just below BIG -> sqrt(below * below)
        a.colrng(k);
        EXPECT_EQ(a.rscale[0], 0.0);
        EXPECT_EQ(a.rscale[1], 0.0);
        EXPECT_EQ(a.rscale[2], INFINITY);
        EXPECT_EQ(a.rscale[3], std::sqrt(below * below));  // infinite where the square overflows
        EXPECT_EQ(a.cscale[0], std::sqrt(k.big * 4.0));
        EXPECT_EQ(a.cscale[2], 0.0);
    }
}

}  // namespace
