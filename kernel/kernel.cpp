// Tableau kernel: COLRNG and PIVOT.
//
// Both routines work on a dense column-major tableau.  Every result is the
// same, bit for bit, as that of the plain loops
//
//   PIVOT elimination: for j (columns, T(r,j) /= 0), for i (rows, T(i,c) /= 0):
//                    T(i,j) = T(i,j) - (T(r,j) * T(i,c)) / p
//   COLRNG:        row scales, column scales, tolerances and zeroing,
//                  column norms (ascending rows), row norms (ascending columns)
//
// but the loops are arranged for the hardware:
//
// - Each element of the elimination depends only on itself, T(r,j) and
//   T(i,c), none of which the elimination changes, so the order of the
//   element updates is free.  A dense pivot column is processed with vector
//   instructions over all rows, keeping an element unchanged (bit for bit)
//   where T(i,c) is 0; a sparse one goes through a list of its nonzero rows.
// - Minimum and maximum are exact in any order, so the row and column
//   scales come from one sweep over the tableau, four columns at a time.
// - The zero threshold of entry (i,j) depends on D = max(RSCALE(i),
//   CSCALE(j)) alone, so it is taken from per-row and per-column thresholds
//   computed once; the same holds for the tolerances.
// - Zeroing and norms go through the tableau in blocks of rows, so that
//   the per-row arrays of a block stay in the first-level cache.  The
//   column norms keep their ascending sums (a block adds its rows to the
//   partial sums, four columns side by side so that the sums do not wait
//   on each other); the row norms add column after column, which is
//   ascending j for every row.  Adding the square of an exact 0 leaves a
//   sum unchanged, so zeros need no test.
// - The tableau is larger than the caches for big problems; the next
//   columns are fetched ahead while a block is being processed.
//
// Vector code is written with the compiler's vector types; every operation
// is an IEEE operation on single elements, so the baseline (two lanes),
// AVX2 and AVX-512 forms give identical results.  The widest form the
// processor supports is chosen at the first call.  No FMA is used anywhere.
#include "kernel.hpp"

#include <cmath>
#include <cstring>

namespace kav::kernel {

namespace {

// Row lists of the routines.  Labels and extents are 16-bit, so no tableau
// has more than 32767 rows; the solvers run in one thread.
constexpr int32_t MAXROWS = 32768;
int32_t g_idx[MAXROWS];   // PIVOT: nonzero rows of the pivot column; COLRNG: rows with IROW > 0
double g_q[MAXROWS];      // PIVOT: their pivot-column entries
double g_zrow[MAXROWS];   // COLRNG: zero threshold of each row scale
double g_trow[MAXROWS];   // COLRNG: tolerance of each row scale

// Zero threshold and tolerance belonging to a scale D.
inline double zero_of(const Consts& k, double d) { return d > SCLTHR ? d * k.tolzer / 1000.0 : k.tolzer; }
inline double tol_of(const Consts& k, double d) { return tolerance_of(k, d); }

// sqrt(largest * smallest), or 0 when no magnitude qualified.
inline double scale_of(const Consts& k, double small, double large) {
    if (large == -k.big || small == k.big) return 0.0;
    return std::sqrt(large * small);
}

template <int W>
struct Vec {
    typedef double v __attribute__((vector_size(W * 8)));
    typedef long long m __attribute__((vector_size(W * 8)));
};

#define KAV_LOAD(V, p) ({ V v_; std::memcpy(&v_, (p), sizeof v_); v_; })
#define KAV_STORE(p, x) do { auto x_ = (x); std::memcpy((p), &x_, sizeof x_); } while (0)
#define KAV_SPLAT(V, s) (V{} + (s))
// Smaller / larger of two vectors, lane by lane; the second operand where
// they compare equal or the first is not a number.
#define KAV_MIN(a, b) ((a) < (b) ? (a) : (b))
#define KAV_MAX(a, b) ((a) > (b) ? (a) : (b))

// ---- PIVOT: the elimination --------------------------------------------------------

// Rows lo..hi-1 (0-based) of column tj: T(i,j) -= (trj * q(i)) / p where
// q(i) /= 0; other rows are left as they are.
template <int W>
__attribute__((always_inline)) inline void elim_dense(double* tj, const double* qc, int32_t lo,
                                                      int32_t hi, double trj, double p) {
    typedef typename Vec<W>::v V;
    const V vr = KAV_SPLAT(V, trj);
    const V vp = KAV_SPLAT(V, p);
    const V zero = KAV_SPLAT(V, 0.0);
    int32_t i = lo;
    for (; i + W <= hi; i += W) {
        V t = KAV_LOAD(V, tj + i);
        V q = KAV_LOAD(V, qc + i);
        V nt = t - (vr * q) / vp;
        KAV_STORE(tj + i, q != zero ? nt : t);
    }
    for (; i < hi; ++i) {
        if (qc[i] != 0.0) tj[i] = tj[i] - (trj * qc[i]) / p;
    }
}

template <int W>
__attribute__((always_inline)) inline void pivot_body(Tableau& tb, int32_t r, int32_t c) {
    const int32_t m = tb.m;
    const int32_t n = tb.n;
    const int64_t ld = tb.ld;
    double* const t = tb.t;
    double* const tc = t + (c - 1) * ld;
    const int32_t r0 = r - 1;
    const double p = tc[r0];

    // Nonzero rows of the pivot column other than r.
    int32_t nq = 0;
    for (int32_t i = 0; i < m; ++i) {
        if (i != r0 && tc[i] != 0.0) {
            g_idx[nq] = i;
            g_q[nq] = tc[i];
            ++nq;
        }
    }

    // Elimination, columns outer.  A column that is mostly nonzero is
    // cheaper to sweep whole with vector operations than to address row by
    // row; rows whose pivot-column entry is 0 keep their bits either way.
    const bool dense = nq * 4 >= m;
    if (nq > 0) {
        for (int32_t j = 1; j <= n; ++j) {
            if (j == c) continue;
            double* tj = t + (j - 1) * ld;
            const double trj = tj[r0];
            if (trj == 0.0) continue;
            if (dense) {
                elim_dense<W>(tj, tc, 0, r0, trj, p);
                elim_dense<W>(tj, tc, r0 + 1, m, trj, p);
            } else {
                for (int32_t k = 0; k < nq; ++k) {
                    const int32_t i = g_idx[k];
                    tj[i] = tj[i] - (trj * g_q[k]) / p;
                }
            }
        }
    }

    // The pivot row.
    for (int32_t j = 1; j <= n; ++j) t[(j - 1) * ld + r0] = t[(j - 1) * ld + r0] / p;

    // The labels.
    const int16_t lab = tb.irow[r0];
    tb.irow[r0] = tb.icol[c - 1];
    tb.icol[c - 1] = lab;

    // The pivot column.
    for (int32_t i = 0; i < m; ++i) tc[i] = -tc[i] / p;

    // The pivot entry.
    tc[r0] = 1.0 / p;
}

// ---- COLRNG ---------------------------------------------------------------

// Rows per block of COLRNG: the per-row arrays of a block stay in the
// first-level cache while the block goes through all columns.
constexpr int32_t RB = 512;

template <int W>
__attribute__((always_inline)) inline void colrng_body(const Consts& k, Tableau& tb, Scales& s) {
    typedef typename Vec<W>::v V;
    typedef typename Vec<W>::m IM;
    const int32_t m = tb.m;
    const int32_t n = tb.n;
    const int64_t ld = tb.ld;
    double* const t = tb.t;
    double* const rs = s.rscale;
    double* const rmax = s.rnorm;  // largest row magnitudes until the row norms
    double* const cs = s.cscale;
    double* const cmax = s.cnorm;  // largest column magnitudes until the column norms
    const V vtiny = KAV_SPLAT(V, ATINY);
    const V vbig = KAV_SPLAT(V, k.big);
    const V vnbig = KAV_SPLAT(V, -k.big);
    const V vzero = KAV_SPLAT(V, 0.0);
    const IM absmask = KAV_SPLAT(IM, 0x7fffffffffffffffLL);
#define KAV_ABS(x) ((V)((IM)(x) & absmask))

    // Row and column scales in one sweep over the tableau as it is on
    // entry: smallest and largest qualifying magnitude of every row and
    // column, four columns at a time (their extremes in registers, each
    // row's extremes updated once per four columns).
    for (int32_t i = 0; i < m; ++i) {
        rs[i] = k.big;
        rmax[i] = -k.big;
    }
    for (int32_t j = 0; j < n; ++j) {
        cs[j] = k.big;
        cmax[j] = -k.big;
    }
    for (int32_t i0 = 0; i0 < m; i0 += RB) {
        const int32_t i1 = m - i0 < RB ? m : i0 + RB;
        int32_t j = 0;
        for (; j + 4 <= n; j += 4) {
            const double* c0 = t + j * ld;
            const double* c1 = c0 + ld;
            const double* c2 = c1 + ld;
            const double* c3 = c2 + ld;
            V lo0 = vbig, lo1 = vbig, lo2 = vbig, lo3 = vbig;
            V hi0 = vnbig, hi1 = vnbig, hi2 = vnbig, hi3 = vnbig;
            int32_t i = i0;
            const double* nx = c0 + 4 * ld;  // the next group, fetched ahead
            const bool ahead = j + 8 <= n;
            for (; i + W <= i1; i += W) {
                if (ahead && (i & 7) == 0) {
                    __builtin_prefetch(nx + i);
                    __builtin_prefetch(nx + ld + i);
                    __builtin_prefetch(nx + 2 * ld + i);
                    __builtin_prefetch(nx + 3 * ld + i);
                }
                V a0 = KAV_ABS(KAV_LOAD(V, c0 + i));
                V a1 = KAV_ABS(KAV_LOAD(V, c1 + i));
                V a2 = KAV_ABS(KAV_LOAD(V, c2 + i));
                V a3 = KAV_ABS(KAV_LOAD(V, c3 + i));
                auto k0 = a0 > vtiny;
                auto k1 = a1 > vtiny;
                auto k2 = a2 > vtiny;
                auto k3 = a3 > vtiny;
                V l0 = k0 ? a0 : vbig, l1 = k1 ? a1 : vbig, l2 = k2 ? a2 : vbig, l3 = k3 ? a3 : vbig;
                V h0 = k0 ? a0 : vnbig, h1 = k1 ? a1 : vnbig, h2 = k2 ? a2 : vnbig, h3 = k3 ? a3 : vnbig;
                lo0 = KAV_MIN(l0, lo0);
                lo1 = KAV_MIN(l1, lo1);
                lo2 = KAV_MIN(l2, lo2);
                lo3 = KAV_MIN(l3, lo3);
                hi0 = KAV_MAX(h0, hi0);
                hi1 = KAV_MAX(h1, hi1);
                hi2 = KAV_MAX(h2, hi2);
                hi3 = KAV_MAX(h3, hi3);
                V rl = KAV_MIN(KAV_MIN(l0, l1), KAV_MIN(l2, l3));
                V rh = KAV_MAX(KAV_MAX(h0, h1), KAV_MAX(h2, h3));
                KAV_STORE(rs + i, KAV_MIN(rl, KAV_LOAD(V, rs + i)));
                KAV_STORE(rmax + i, KAV_MAX(rh, KAV_LOAD(V, rmax + i)));
            }
            const V* los[4] = {&lo0, &lo1, &lo2, &lo3};
            const V* his[4] = {&hi0, &hi1, &hi2, &hi3};
            for (int32_t b = 0; b < 4; ++b) {
                double small = cs[j + b], large = cmax[j + b];
                for (int32_t l = 0; l < W; ++l) {
                    if ((*los[b])[l] < small) small = (*los[b])[l];
                    if ((*his[b])[l] > large) large = (*his[b])[l];
                }
                const double* cb = c0 + b * ld;
                for (int32_t ii = i; ii < i1; ++ii) {
                    const double a = std::fabs(cb[ii]);
                    if (a > ATINY) {
                        if (a < rs[ii]) rs[ii] = a;
                        if (a > rmax[ii]) rmax[ii] = a;
                        if (a < small) small = a;
                        if (a > large) large = a;
                    }
                }
                cs[j + b] = small;
                cmax[j + b] = large;
            }
        }
        for (; j < n; ++j) {
            const double* tj = t + j * ld;
            double small = cs[j], large = cmax[j];
            for (int32_t i = i0; i < i1; ++i) {
                const double a = std::fabs(tj[i]);
                if (a > ATINY) {
                    if (a < rs[i]) rs[i] = a;
                    if (a > rmax[i]) rmax[i] = a;
                    if (a < small) small = a;
                    if (a > large) large = a;
                }
            }
            cs[j] = small;
            cmax[j] = large;
        }
    }
    for (int32_t i = 0; i < m; ++i) {
        rs[i] = scale_of(k, rs[i], rmax[i]);
        g_zrow[i] = zero_of(k, rs[i]);
        g_trow[i] = tol_of(k, rs[i]);
    }
    for (int32_t j = 0; j < n; ++j) cs[j] = scale_of(k, cs[j], cmax[j]);

    // Rows that enter the column norms (2..M with IROW > 0), ascending.
    int32_t npos = 0;
    for (int32_t i = 1; i < m; ++i) {
        if (tb.irow[i] > 0) g_idx[npos++] = i;
    }
    // Sums of the row norms (rows 2..M) and column norms (columns 2..N).
    double* const rn = s.rnorm;
    double* const cn = s.cnorm;
    for (int32_t i = 0; i < m; ++i) rn[i] = 0.0;
    for (int32_t j = 0; j < n; ++j) cn[j] = 0.0;

    // Block of rows by block of rows, column by column: tolerances and
    // zeroing, the column's share of the row norms (columns 2..N with a
    // label < 0), and the block's share of the column norms.  Each row
    // meets its columns in ascending order and each column its rows, so
    // every sum is added up in ascending order.
    int32_t q0 = 0;  // first listed row of the block
    for (int32_t i0 = 0; i0 < m; i0 += RB) {
        const int32_t i1 = m - i0 < RB ? m : i0 + RB;
        int32_t q1 = q0;
        while (q1 < npos && g_idx[q1] < i1) ++q1;

        for (int32_t j0 = 0; j0 < n; j0 += 4) {
            const int32_t nb = (n - j0 < 4) ? (n - j0) : 4;
            for (int32_t b = 0; b < nb; ++b) {
                const int32_t j = j0 + b;
                double* tj = t + j * ld;
                const double csj = cs[j];
                // Z is the threshold of the larger of the two scales (equal
                // scales give the same threshold either way).
                const double zc = zero_of(k, csj);
                const V vcs = KAV_SPLAT(V, csj);
                const V vzc = KAV_SPLAT(V, zc);
                const bool ahead = j + 1 < n;  // the next column, fetched ahead
                int32_t i = i0;
                if (j >= 1 && tb.icol[j] < 0) {
                    // Row 1's sum is never used; adding to it is harmless.
                    for (; i + W <= i1; i += W) {
                        if (ahead && (i & 7) == 0) __builtin_prefetch(tj + ld + i, 1);
                        V x = KAV_LOAD(V, tj + i);
                        V z = KAV_LOAD(V, rs + i) >= vcs ? KAV_LOAD(V, g_zrow + i) : vzc;
                        x = z >= KAV_ABS(x) ? vzero : x;
                        KAV_STORE(tj + i, x);
                        KAV_STORE(rn + i, KAV_LOAD(V, rn + i) + x * x);
                    }
                    for (; i < i1; ++i) {
                        const double z = rs[i] >= csj ? g_zrow[i] : zc;
                        if (z >= std::fabs(tj[i])) tj[i] = 0.0;
                        rn[i] = rn[i] + tj[i] * tj[i];
                    }
                } else {
                    for (; i + W <= i1; i += W) {
                        if (ahead && (i & 7) == 0) __builtin_prefetch(tj + ld + i, 1);
                        V x = KAV_LOAD(V, tj + i);
                        V z = KAV_LOAD(V, rs + i) >= vcs ? KAV_LOAD(V, g_zrow + i) : vzc;
                        KAV_STORE(tj + i, z >= KAV_ABS(x) ? vzero : x);
                    }
                    for (; i < i1; ++i) {
                        const double z = rs[i] >= csj ? g_zrow[i] : zc;
                        if (z >= std::fabs(tj[i])) tj[i] = 0.0;
                    }
                }
                if (s.tolel) {
                    double* tl = s.tolel + static_cast<int64_t>(j) * s.ldtol;
                    const double tcv = tol_of(k, csj);
                    for (int32_t l = i0; l < i1; ++l) tl[l] = rs[l] >= csj ? g_trow[l] : tcv;
                }
            }

            // Column norms (column 1 has none), four sums side by side.
            const int32_t jb = j0 == 0 ? 1 : j0;
            const int32_t je = j0 + nb;
            if (je - jb == 4) {
                const double* c0 = t + jb * ld;
                const double* c1 = c0 + ld;
                const double* c2 = c1 + ld;
                const double* c3 = c2 + ld;
                double s0 = cn[jb], s1 = cn[jb + 1], s2 = cn[jb + 2], s3 = cn[jb + 3];
                for (int32_t q = q0; q < q1; ++q) {
                    const int32_t i = g_idx[q];
                    s0 = s0 + c0[i] * c0[i];
                    s1 = s1 + c1[i] * c1[i];
                    s2 = s2 + c2[i] * c2[i];
                    s3 = s3 + c3[i] * c3[i];
                }
                cn[jb] = s0;
                cn[jb + 1] = s1;
                cn[jb + 2] = s2;
                cn[jb + 3] = s3;
            } else {
                for (int32_t j = jb; j < je; ++j) {
                    const double* cj = t + j * ld;
                    double sum = cn[j];
                    for (int32_t q = q0; q < q1; ++q) sum = sum + cj[g_idx[q]] * cj[g_idx[q]];
                    cn[j] = sum;
                }
            }
        }
        q0 = q1;
    }
#undef KAV_ABS

    for (int32_t j = 1; j < n; ++j) cn[j] = std::sqrt(cn[j] + 1.0);
    for (int32_t i = 1; i < m; ++i) rn[i] = std::sqrt(rn[i] + 1.0);
}

#undef KAV_LOAD
#undef KAV_STORE
#undef KAV_SPLAT
#undef KAV_MIN
#undef KAV_MAX

void pivot_base(Tableau& tb, int32_t r, int32_t c) { pivot_body<2>(tb, r, c); }
void colrng_base(const Consts& k, Tableau& tb, Scales& s) { colrng_body<2>(k, tb, s); }

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void pivot_avx2(Tableau& tb, int32_t r, int32_t c) {
    pivot_body<4>(tb, r, c);
}
__attribute__((target("avx2"))) void colrng_avx2(const Consts& k, Tableau& tb, Scales& s) {
    colrng_body<4>(k, tb, s);
}
__attribute__((target("avx512f"))) void pivot_avx512(Tableau& tb, int32_t r, int32_t c) {
    pivot_body<8>(tb, r, c);
}
__attribute__((target("avx512f"))) void colrng_avx512(const Consts& k, Tableau& tb, Scales& s) {
    colrng_body<8>(k, tb, s);
}
#define KAV_HAVE_AVX2 1
#endif

using PivotFn = void (*)(Tableau&, int32_t, int32_t);
using ColrngFn = void (*)(const Consts&, Tableau&, Scales&);

struct Impl {
    PivotFn pivot;
    ColrngFn colrng;
};

Impl choose() {
#ifdef KAV_HAVE_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return {pivot_avx512, colrng_avx512};
    if (__builtin_cpu_supports("avx2")) return {pivot_avx2, colrng_avx2};
#endif
    return {pivot_base, colrng_base};
}

int g_limit = 0;

const Impl& impl() {
    static const Impl best = choose();
    static const Impl base = {pivot_base, colrng_base};
#ifdef KAV_HAVE_AVX2
    static const Impl avx2 = {pivot_avx2, colrng_avx2};
    if (g_limit == 256 && best.pivot == pivot_avx512) return avx2;
#endif
    return g_limit == 128 ? base : best;
}

}  // namespace

void colrng(const Consts& k, Tableau& tb, Scales& s) {
    if (tb.m > 0 && tb.n > 0) {
        // Entry 1 of the norms is not a result; the routine uses it as
        // working storage and gives it back unchanged.
        const double rn1 = s.rnorm[0];
        const double cn1 = s.cnorm[0];
        impl().colrng(k, tb, s);
        s.rnorm[0] = rn1;
        s.cnorm[0] = cn1;
        return;
    }
    // An empty tableau: scales of the existing rows or columns are 0 and
    // their norms 1.
    for (int32_t i = 0; i < tb.m; ++i) {
        s.rscale[i] = 0.0;
        if (i >= 1) s.rnorm[i] = 1.0;
    }
    for (int32_t j = 0; j < tb.n; ++j) {
        s.cscale[j] = 0.0;
        if (j >= 1) s.cnorm[j] = 1.0;
    }
}

void pivot(Tableau& tb, int32_t r, int32_t c) { impl().pivot(tb, r, c); }

void limit_vector_width(int bits) { g_limit = bits; }

}  // namespace kav::kernel
