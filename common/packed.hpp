// Packed-matrix codec.
//
// A dense M x N matrix of 64-bit reals (column-major, leading dimension lda)
// is kept as its nonzero values in scan order (row by row, i outer, j inner)
// and as ZRUN records for the maximal runs of zeros in that order (a run may
// go on from the end of one row into the next).  Files hold the values as
// 8-byte reals and the runs as three 16-bit words (6 bytes), without headers;
// memory stores hold the same items in arrays of fixed capacity.
//
// A run longer than 32767 does not fit its 16-bit length word; the packer
// splits it into adjacent runs of at most 32767 zeros, which the unpacker
// reads back as they are.
#pragma once

#include <cstdint>

#include "platform.hpp"

namespace kav::packed {

struct ZRun {
    int16_t row;  // row of the first zero (1-based)
    int16_t col;  // column of the first zero (1-based)
    int16_t len;  // number of zeros
};
static_assert(sizeof(ZRun) == 6);

constexpr int32_t MAX_RUN = 32767;

// Counts kept with every packed matrix: values, zeros covered by runs, and
// bytes of run records (6 per run).  NNZ + NZERO = M*N when consistent.
struct Counts {
    int32_t nnz = 0;
    int32_t nzero = 0;
    int32_t nixb = 0;
};

// Number of runs a reader takes from NIXB bytes of run records.
constexpr int32_t runs_in(int32_t nixb) { return ((nixb / 2) + 2) / 3; }

// Length of a run from (r1, c1) to (r2, c2) inclusive in an N-column scan.
constexpr int64_t run_length(int64_t n, int64_t r1, int64_t c1, int64_t r2, int64_t c2) {
    return n * (r2 - r1 + 1) - c1 - (n - c2) + 1;
}

// Last position (row, column) of a run in an N-column scan.
void run_end(int32_t n, const ZRun& z, int32_t& last_row, int32_t& last_col);

// ---- sinks (pack) and sources (unpack) -----------------------------------
// A value sink has `int put(double)` (and may have `int put_n(const double*,
// size_t)` for a block); a run sink `int put(const ZRun&)`.
// A value source has `int get(double&)` (and may have `int get_n(double*,
// size_t k, size_t& got)` for a block of k, `got` of them given); a run
// source `int get(ZRun&)`.
// All return 0 on success and nonzero on failure (full sink, end of source,
// file error).

struct FileValueSink {
    BinUnit& u;
    int put(double v) { return u.put(v); }
    // A block of values in one write (pack() hands them on in blocks).
    int put_n(const double* v, std::size_t n) { return u.put_n(v, n); }
};
struct FileRunSink {
    BinUnit& u;
    int put(const ZRun& z) { return u.put(z); }
};
struct FileValueSource {
    BinUnit& u;
    int get(double& v) { return u.get(v); }
    // A block of k values in one read; `got` whole values arrived (the
    // bytes of a part value are taken from the file, as get() takes them).
    int get_n(double* v, std::size_t k, std::size_t& got) {
        const int64_t before = u.tell();
        const int st = u.get_n(v, k);
        got = st == 0 ? k : static_cast<std::size_t>((u.tell() - before) / static_cast<int64_t>(sizeof(double)));
        return st;
    }
};
struct FileRunSource {
    BinUnit& u;
    int get(ZRun& z) { return u.get(z); }
};

// Memory sinks append to fixed-capacity arrays; a put beyond the capacity
// fails and stores nothing.  Run arrays hold three 16-bit words per run.
struct MemValueSink {
    double* buf;
    int32_t cap;
    int32_t n = 0;
    int put(double v) {
        if (n >= cap) return 1;
        buf[n++] = v;
        return 0;
    }
};
struct MemRunSink {
    int16_t* words;
    int32_t cap_words;
    int32_t n_words = 0;
    int put(const ZRun& z) {
        if (n_words + 3 > cap_words) return 1;
        words[n_words] = z.row;
        words[n_words + 1] = z.col;
        words[n_words + 2] = z.len;
        n_words += 3;
        return 0;
    }
};
struct MemValueSource {
    const double* buf;
    int32_t count;
    int32_t n = 0;
    int get(double& v) {
        if (n >= count) return IO_EOF;
        v = buf[n++];
        return 0;
    }
    // Up to k values; `got` of them given, IO_EOF when fewer than k.
    int get_n(double* v, std::size_t k, std::size_t& got) {
        const std::size_t left = static_cast<std::size_t>(count > n ? count - n : 0);
        got = k < left ? k : left;
        for (std::size_t g = 0; g < got; ++g) v[g] = buf[static_cast<std::size_t>(n) + g];
        n += static_cast<int32_t>(got);
        return got == k ? 0 : IO_EOF;
    }
    // get_n without the copy: `v` points at the `got` values given.
    int view_n(std::size_t k, const double*& v, std::size_t& got) {
        const std::size_t left = static_cast<std::size_t>(count > n ? count - n : 0);
        got = k < left ? k : left;
        v = buf + n;
        n += static_cast<int32_t>(got);
        return got == k ? 0 : IO_EOF;
    }
};
struct MemRunSource {
    const int16_t* words;
    int32_t count_words;
    int32_t n_words = 0;
    int get(ZRun& z) {
        if (n_words + 3 > count_words) return IO_EOF;
        z.row = words[n_words];
        z.col = words[n_words + 1];
        z.len = words[n_words + 2];
        n_words += 3;
        return 0;
    }
};

// ---- packing --------------------------------------------------------------

enum class PackStatus {
    ok,
    value_sink_failed,  // the value sink refused a value (file error or full)
    run_sink_failed,    // the run sink refused a run
    run_limit,          // a finished run reached `run_limit` zeros (not written)
    counts_mismatch,    // NNZ + NZERO /= M*N
    bad_shape,          // m or n < 0, too large for the counts and ZRUN words, lda < m, or no matrix
};

struct PackResult {
    PackStatus status = PackStatus::ok;
    Counts counts;
};

// Pack rows 1..m, columns 1..n of `a` (column-major, leading dimension lda).
// run_limit > 0: a finished run of run_limit zeros or more stops the packing
// before that run is written (the entry's test on subproblem matrices).
template <class VS, class RS>
PackResult pack(const double* a, int32_t lda, int32_t m, int32_t n, VS& vs, RS& rs,
                int64_t run_limit = 0);

// ---- unpacking ------------------------------------------------------------

enum class UnpackStatus {
    ok,
    run_read_failed,    // end of file or error on a ZRUN record
    value_read_failed,  // end of file or error on a value
    bad_shape,          // m or n < 0, too large for the counts and ZRUN words, lda < m, or no matrix
};

struct UnpackResult {
    UnpackStatus status = UnpackStatus::ok;
    int32_t values = 0;  // values taken from the value source
    int32_t zeros = 0;   // positions filled with 0.0 from runs
};

// Refill rows 1..m, columns 1..n of `a`; at most runs_in(nixb) run records
// are taken from the run source.  The caller compares `values` and `zeros`
// with the stored counts.
template <class VS, class RS>
UnpackResult unpack(double* a, int32_t lda, int32_t m, int32_t n, VS& vs, RS& rs, int32_t nixb);

}  // namespace kav::packed

#include "packed_impl.hpp"
