// Template bodies of the packed-matrix codec (included by packed.hpp).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace kav::packed {

namespace detail {

// Extents the codec accepts: rows and columns fit the 16-bit words of a ZRUN
// record, and NNZ, NZERO and NIXB (up to 6 bytes per two positions) fit
// their 32-bit counts.
inline bool shape_ok(const void* a, int32_t lda, int32_t m, int32_t n) {
    if (m < 0 || n < 0 || lda < m || m > MAX_RUN || n > MAX_RUN) return false;
    const int64_t cells = static_cast<int64_t>(m) * n;
    if (cells * 3 + 6 > INT32_MAX) return false;
    return cells == 0 || a != nullptr;
}

// Write the finished run (r1, c1)..(r2, c2) as ZRUN records of at most
// MAX_RUN zeros each, adjacent and in scan order.
template <class RS>
PackStatus finish_run(int32_t n, int32_t r1, int32_t c1, int32_t r2, int32_t c2,
                      int64_t run_limit, RS& rs, Counts& c) {
    int64_t len = run_length(n, r1, c1, r2, c2);
    if (run_limit > 0 && len >= run_limit) return PackStatus::run_limit;
    int32_t row = r1;
    int32_t col = c1;
    while (len > 0) {
        const int32_t piece = len > MAX_RUN ? MAX_RUN : static_cast<int32_t>(len);
        const ZRun z{static_cast<int16_t>(row), static_cast<int16_t>(col),
                     static_cast<int16_t>(piece)};
        if (rs.put(z) != 0) return PackStatus::run_sink_failed;
        c.nzero += piece;
        c.nixb += 6;
        len -= piece;
        // First position of the next piece: `piece` positions further on.
        const int64_t next = static_cast<int64_t>(col - 1) + piece;
        row += static_cast<int32_t>(next / n);
        col = static_cast<int32_t>(next % n) + 1;
    }
    return PackStatus::ok;
}

}  // namespace detail

template <class VS, class RS>
PackResult pack(const double* a, int32_t lda, int32_t m, int32_t n, VS& vs, RS& rs,
                int64_t run_limit) {
    PackResult res;
    if (!detail::shape_ok(a, lda, m, n)) {
        res.status = PackStatus::bad_shape;
        return res;
    }
    Counts& c = res.counts;
    const std::size_t ld = static_cast<std::size_t>(lda);
    // A sink that takes blocks gets the values in blocks, in the same order
    // and with the same bytes; every return hands on what is held, so a
    // pack that stops early leaves the value file as value-by-value puts
    // would.  NNZ counts the values handed on.
    constexpr bool blocks = requires(VS& s, const double* p, std::size_t k) { s.put_n(p, k); };
    constexpr int32_t NBLOCK = blocks ? 512 : 1;
    double held[NBLOCK];
    int32_t nheld = 0;
    auto hand_on = [&]() -> bool {
        if constexpr (blocks) {
            if (nheld > 0 && vs.put_n(held, static_cast<std::size_t>(nheld)) != 0) {
                nheld = 0;
                return false;
            }
            c.nnz += nheld;
            nheld = 0;
        }
        return true;
    };
    auto finish = [&](PackStatus st) -> PackResult {
        if (!hand_on()) st = PackStatus::value_sink_failed;  // the values came first
        res.status = st;
        return res;
    };
    bool open = false;  // a run of zeros is open
    int32_t r1 = 0, c1 = 0;  // its first position
    // Each row is taken in pieces of up to 64 columns: first a mask of the
    // nonzeros (no branch per element), then the nonzeros in column order.
    // The zeros between them open runs exactly where an element-by-element
    // scan would.
    auto zeros_from = [&](int32_t i, int32_t j) {
        if (!open) {
            open = true;
            r1 = i;
            c1 = j;
        }
    };
    for (int32_t i = 1; i <= m; ++i) {
        const double* row = a + (i - 1);
        for (int32_t j0 = 1; j0 <= n; j0 += 64) {
            const int32_t len = std::min(64, n - j0 + 1);
            const double* p = row + static_cast<std::size_t>(j0 - 1) * ld;
            uint64_t mask = 0;
            for (int32_t b = 0; b < len; ++b)
                mask |= static_cast<uint64_t>(!(p[static_cast<std::size_t>(b) * ld] == 0.0)) << b;
            int32_t next = j0;  // first column of the piece not yet seen
            while (mask != 0) {
                const int32_t b = std::countr_zero(mask);
                mask &= mask - 1;
                const int32_t j = j0 + b;
                if (j > next) zeros_from(i, next);
                next = j + 1;
                const double v = p[static_cast<std::size_t>(b) * ld];
                if (open) {
                    // The run ended on the position before (i, j) in scan order.
                    const int32_t r2 = j > 1 ? i : i - 1;
                    const int32_t c2 = j > 1 ? j - 1 : n;
                    const PackStatus st = detail::finish_run(n, r1, c1, r2, c2, run_limit, rs, c);
                    if (st != PackStatus::ok) return finish(st);
                    open = false;
                }
                if constexpr (blocks) {
                    held[nheld++] = v;
                    if (nheld == NBLOCK && !hand_on()) return finish(PackStatus::value_sink_failed);
                } else {
                    if (vs.put(v) != 0) return finish(PackStatus::value_sink_failed);
                    ++c.nnz;
                }
            }
            if (next < j0 + len) zeros_from(i, next);
        }
    }
    if (open) {
        const PackStatus st = detail::finish_run(n, r1, c1, m, n, run_limit, rs, c);
        if (st != PackStatus::ok) return finish(st);
    }
    if (!hand_on()) return finish(PackStatus::value_sink_failed);
    if (static_cast<int64_t>(c.nnz) + c.nzero != static_cast<int64_t>(m) * n)
        res.status = PackStatus::counts_mismatch;
    return res;
}

template <class VS, class RS>
UnpackResult unpack(double* a, int32_t lda, int32_t m, int32_t n, VS& vs, RS& rs, int32_t nixb) {
    UnpackResult res;
    if (!detail::shape_ok(a, lda, m, n)) {
        res.status = UnpackStatus::bad_shape;
        return res;
    }
    const std::size_t ld = static_cast<std::size_t>(lda);
    const int64_t cells = static_cast<int64_t>(m) * n;
    int32_t runs_left = nixb > 0 ? runs_in(nixb) : 0;
    // The current run as 0-based scan positions; none yet.
    int64_t first = 0;
    int64_t last = -1;
    // k copies of fill(g) into scan positions q, q+1, ... (row by row).
    // Written a row piece at a time.
    auto place = [&](int64_t q, int64_t k, auto fill) {
        std::size_t i = static_cast<std::size_t>(q / n);
        int64_t j = q % n;
        for (int64_t g = 0; g < k; j = 0, ++i) {
            const int64_t seg = k - g < n - j ? k - g : n - j;
            double* d = a + i + static_cast<std::size_t>(j) * ld;
            for (int64_t s = 0; s < seg; ++s) d[static_cast<std::size_t>(s) * ld] = fill(g + s);
            g += seg;
        }
    };
    // A source that takes blocks gives the values of a stretch between runs
    // in blocks: the same values in the same order, and on a failed read the
    // whole values before the failure are placed, as single reads place them.
    // A source that lends its values (memory) gives each stretch at once,
    // with the same count given and the same failure.
    constexpr bool views = requires(VS& s, const double*& v, std::size_t k, std::size_t& got) { s.view_n(k, v, got); };
    constexpr bool blocks = requires(VS& s, double* v, std::size_t k, std::size_t& got) { s.get_n(v, k, got); };
    constexpr int64_t NBLOCK = blocks && !views ? 512 : 1;
    double held[NBLOCK];
    int64_t p = 0;  // scan position
    while (p < cells) {
        // The next run is taken at the first position past the current one.
        if (p > last && runs_left > 0) {
            ZRun z{};
            if (rs.get(z) != 0) {
                res.status = UnpackStatus::run_read_failed;
                return res;
            }
            --runs_left;
            int32_t lr = 0, lc = 0;
            run_end(n, z, lr, lc);
            first = static_cast<int64_t>(z.row - 1) * n + (z.col - 1);
            last = static_cast<int64_t>(lr - 1) * n + (lc - 1);
        }
        if (p >= first && p <= last) {
            // Zeros up to the end of the run.
            const int64_t e = last < cells ? last + 1 : cells;
            place(p, e - p, [](int64_t) { return 0.0; });
            res.zeros += static_cast<int32_t>(e - p);
            p = e;
            continue;
        }
        // Values up to the start of the run, or up to the position where
        // the next run is taken, or to the end.
        int64_t e = cells;
        if (first > p && first < e) e = first;
        if (runs_left > 0) {
            const int64_t take = last + 1 > p + 1 ? last + 1 : p + 1;
            if (take < e) e = take;
        }
        while (p < e) {
            const double* v = held;
            std::size_t got = 0;
            int st = 0;
            if constexpr (views) {
                st = vs.view_n(static_cast<std::size_t>(e - p), v, got);
            } else if constexpr (blocks) {
                const int64_t k = e - p < NBLOCK ? e - p : NBLOCK;
                st = vs.get_n(held, static_cast<std::size_t>(k), got);
            } else {
                st = vs.get(held[0]);
                got = st == 0 ? 1 : 0;
            }
            place(p, static_cast<int64_t>(got), [&](int64_t g) { return v[g]; });
            res.values += static_cast<int32_t>(got);
            p += static_cast<int64_t>(got);
            if (st != 0) {
                res.status = UnpackStatus::value_read_failed;
                return res;
            }
        }
    }
    return res;
}

}  // namespace kav::packed
