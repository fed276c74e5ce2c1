// Tableau kernel: COLRNG and PIVOT.
//
// Both routines work on a dense column-major tableau.  Every result is the
// same, bit for bit, as that of the plain loops
//
//   PIVOT step 1:  for j (columns, T(r,j) /= 0), for i (rows, T(i,c) /= 0):
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
// - Minimum and maximum are exact in any order, so the row scales are
//   gathered column by column.
// - The zero threshold of entry (i,j) depends on D = max(RSCALE(i),
//   CSCALE(j)) alone, so it is taken from per-row and per-column thresholds
//   computed once; the same holds for the tolerances.
// - The column norm keeps its ascending sum; four columns run side by side
//   so that their sums do not wait on each other.  The row norms add column
//   after column, which is ascending j for every row.  Adding the square of
//   an exact 0 leaves a sum unchanged, so zeros need no test.
//
// Vector code is written with the compiler's vector types; every operation
// is an IEEE operation on single elements, so the SSE2, AVX2 and AVX-512
// forms give identical results.  The widest form the processor supports is
// chosen at the first call.  No FMA is used anywhere.
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
inline double tol_of(const Consts& k, double d) { return d > SCLTHR ? k.tolelm * d / 1000.0 : k.tolelm; }

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

// ---- PIVOT step 1 --------------------------------------------------------

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

    // 1. Elimination, columns outer.  A column that is mostly nonzero is
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

    // 2. Pivot row.
    for (int32_t j = 1; j <= n; ++j) t[(j - 1) * ld + r0] = t[(j - 1) * ld + r0] / p;

    // 3. Labels.
    const int16_t lab = tb.irow[r0];
    tb.irow[r0] = tb.icol[c - 1];
    tb.icol[c - 1] = lab;

    // 4. Pivot column.
    for (int32_t i = 0; i < m; ++i) tc[i] = -tc[i] / p;

    // 5. Pivot entry.
    tc[r0] = 1.0 / p;
}

// ---- COLRNG ---------------------------------------------------------------

template <int W>
__attribute__((always_inline)) inline void colrng_body(const Consts& k, Tableau& tb, Scales& s) {
    typedef typename Vec<W>::v V;
    const int32_t m = tb.m;
    const int32_t n = tb.n;
    const int64_t ld = tb.ld;
    double* const t = tb.t;
    double* const rs = s.rscale;
    double* const rmax = s.rnorm;  // holds the largest row magnitudes until step 5
    const V vtiny = KAV_SPLAT(V, ATINY);
    const V vbig = KAV_SPLAT(V, k.big);
    const V vnbig = KAV_SPLAT(V, -k.big);
    const V vzero = KAV_SPLAT(V, 0.0);

    // 1. Row scales: smallest and largest qualifying magnitude of each row.
    for (int32_t i = 0; i < m; ++i) {
        rs[i] = k.big;
        rmax[i] = -k.big;
    }
    for (int32_t j = 0; j < n; ++j) {
        const double* tj = t + j * ld;
        int32_t i = 0;
        for (; i + W <= m; i += W) {
            V x = KAV_LOAD(V, tj + i);
            V a = x < vzero ? -x : x;
            auto ok = a > vtiny;
            V lo = KAV_LOAD(V, rs + i);
            V hi = KAV_LOAD(V, rmax + i);
            V clo = ok ? a : vbig;
            V chi = ok ? a : vnbig;
            KAV_STORE(rs + i, clo < lo ? clo : lo);
            KAV_STORE(rmax + i, chi > hi ? chi : hi);
        }
        for (; i < m; ++i) {
            const double a = std::fabs(tj[i]);
            if (a > ATINY) {
                if (a < rs[i]) rs[i] = a;
                if (a > rmax[i]) rmax[i] = a;
            }
        }
    }
    for (int32_t i = 0; i < m; ++i) {
        rs[i] = scale_of(k, rs[i], rmax[i]);
        g_zrow[i] = zero_of(k, rs[i]);
        g_trow[i] = tol_of(k, rs[i]);
    }

    // Rows that enter the column norms (2..M with IROW > 0); row norm sums.
    int32_t npos = 0;
    for (int32_t i = 1; i < m; ++i) {
        if (tb.irow[i] > 0) g_idx[npos++] = i;
    }
    double* const rn = s.rnorm;
    for (int32_t i = 0; i < m; ++i) rn[i] = 0.0;

    // 2.-5. Column by column: scale, tolerances and zeroing, then the norms
    // of the column (columns 2..N), in blocks of four columns.
    for (int32_t j0 = 0; j0 < n; j0 += 4) {
        const int32_t nb = (n - j0 < 4) ? (n - j0) : 4;
        for (int32_t b = 0; b < nb; ++b) {
            const int32_t j = j0 + b;
            double* tj = t + j * ld;

            // 2. Column scale.
            V lo = vbig, hi = vnbig;
            int32_t i = 0;
            for (; i + W <= m; i += W) {
                V x = KAV_LOAD(V, tj + i);
                V a = x < vzero ? -x : x;
                auto ok = a > vtiny;
                V clo = ok ? a : vbig;
                V chi = ok ? a : vnbig;
                lo = clo < lo ? clo : lo;
                hi = chi > hi ? chi : hi;
            }
            double small = k.big, large = -k.big;
            for (int32_t l = 0; l < W; ++l) {
                if (lo[l] < small) small = lo[l];
                if (hi[l] > large) large = hi[l];
            }
            for (; i < m; ++i) {
                const double a = std::fabs(tj[i]);
                if (a > ATINY) {
                    if (a < small) small = a;
                    if (a > large) large = a;
                }
            }
            const double cs = scale_of(k, small, large);
            s.cscale[j] = cs;

            // 3. Zeroing: Z is the threshold of the larger of the two scales
            // (equal scales give the same threshold either way).
            const double zc = zero_of(k, cs);
            const V vcs = KAV_SPLAT(V, cs);
            const V vzc = KAV_SPLAT(V, zc);
            i = 0;
            for (; i + W <= m; i += W) {
                V x = KAV_LOAD(V, tj + i);
                V a = x < vzero ? -x : x;
                V rsv = KAV_LOAD(V, rs + i);
                V zr = KAV_LOAD(V, g_zrow + i);
                V z = rsv >= vcs ? zr : vzc;
                KAV_STORE(tj + i, z >= a ? vzero : x);
            }
            for (; i < m; ++i) {
                const double z = rs[i] >= cs ? g_zrow[i] : zc;
                if (z >= std::fabs(tj[i])) tj[i] = 0.0;
            }
            if (s.tolel) {
                double* tl = s.tolel + static_cast<int64_t>(j) * s.ldtol;
                const double tcv = tol_of(k, cs);
                for (int32_t l = 0; l < m; ++l) tl[l] = rs[l] >= cs ? g_trow[l] : tcv;
            }

            // 5. Row norms: add this column's squares when its label is < 0.
            if (j >= 1 && tb.icol[j] < 0) {
                i = 1;
                for (; i + W <= m; i += W) {
                    V x = KAV_LOAD(V, tj + i);
                    KAV_STORE(rn + i, KAV_LOAD(V, rn + i) + x * x);
                }
                for (; i < m; ++i) rn[i] = rn[i] + tj[i] * tj[i];
            }
        }

        // 4. Column norms of the block, ascending rows, four sums side by side.
        const int32_t jb = j0 == 0 ? 1 : j0;  // column 1 has no norm
        const int32_t je = j0 + nb;
        if (je - jb == 4) {
            const double* c0 = t + jb * ld;
            const double* c1 = c0 + ld;
            const double* c2 = c1 + ld;
            const double* c3 = c2 + ld;
            double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
            for (int32_t q = 0; q < npos; ++q) {
                const int32_t i = g_idx[q];
                s0 = s0 + c0[i] * c0[i];
                s1 = s1 + c1[i] * c1[i];
                s2 = s2 + c2[i] * c2[i];
                s3 = s3 + c3[i] * c3[i];
            }
            s.cnorm[jb] = std::sqrt(s0 + 1.0);
            s.cnorm[jb + 1] = std::sqrt(s1 + 1.0);
            s.cnorm[jb + 2] = std::sqrt(s2 + 1.0);
            s.cnorm[jb + 3] = std::sqrt(s3 + 1.0);
        } else {
            for (int32_t j = jb; j < je; ++j) {
                const double* cj = t + j * ld;
                double sum = 0.0;
                for (int32_t q = 0; q < npos; ++q) sum = sum + cj[g_idx[q]] * cj[g_idx[q]];
                s.cnorm[j] = std::sqrt(sum + 1.0);
            }
        }
    }

    for (int32_t i = 1; i < m; ++i) rn[i] = std::sqrt(rn[i] + 1.0);
}

#undef KAV_LOAD
#undef KAV_STORE
#undef KAV_SPLAT

void pivot_base(Tableau& tb, int32_t r, int32_t c) { pivot_body<2>(tb, r, c); }
void colrng_base(const Consts& k, Tableau& tb, Scales& s) { colrng_body<2>(k, tb, s); }

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void pivot_avx2(Tableau& tb, int32_t r, int32_t c) {
    pivot_body<4>(tb, r, c);
}
__attribute__((target("avx2"))) void colrng_avx2(const Consts& k, Tableau& tb, Scales& s) {
    colrng_body<4>(k, tb, s);
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
    if (__builtin_cpu_supports("avx2")) return {pivot_avx2, colrng_avx2};
#endif
    return {pivot_base, colrng_base};
}

bool g_baseline = false;

const Impl& impl() {
    static const Impl best = choose();
    static const Impl base = {pivot_base, colrng_base};
    return g_baseline ? base : best;
}

}  // namespace

double tolel_of(const Consts& k, const Scales& s, int32_t i, int32_t j) {
    const double d = s.rscale[i - 1] > s.cscale[j - 1] ? s.rscale[i - 1] : s.cscale[j - 1];
    return tol_of(k, d);
}

void colrng(const Consts& k, Tableau& tb, Scales& s) {
    if (tb.m > 0 && tb.n > 0) {
        impl().colrng(k, tb, s);
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

void use_baseline_vectors(bool on) { g_baseline = on; }

}  // namespace kav::kernel
