// Packed-matrix codec: layout of values and zero runs, splitting of long
// runs, run limits, sink failures and round trips through memory and files.
#include "packed.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "datadir.hpp"

namespace {

using namespace kav::packed;
using kav::BinUnit;
using kav::IO_OK;

// A column-major matrix with leading dimension ld >= m.
struct Mat {
    int32_t m, n, ld;
    std::vector<double> a;
    Mat(int32_t m_, int32_t n_, int32_t ld_ = 0, double fill = 0.0)
        : m(m_), n(n_), ld(ld_ > 0 ? ld_ : m_), a(static_cast<std::size_t>(ld) * n_, fill) {}
    double& at(int32_t i, int32_t j) { return a[static_cast<std::size_t>(j - 1) * ld + (i - 1)]; }
    // Element at 0-based scan position p (row by row).
    double& scan(int64_t p) { return at(static_cast<int32_t>(p / n) + 1, static_cast<int32_t>(p % n) + 1); }
};

struct Packed {
    PackResult res;
    std::vector<double> values;
    std::vector<ZRun> runs;
};

// Pack into memory with ample capacity.
Packed pack_mem(const Mat& x, int64_t run_limit = 0) {
    const std::size_t cells = static_cast<std::size_t>(x.m) * x.n;
    std::vector<double> vbuf(cells + 1);
    std::vector<int16_t> rbuf(3 * (cells + 1));
    MemValueSink vs{vbuf.data(), static_cast<int32_t>(vbuf.size())};
    MemRunSink rs{rbuf.data(), static_cast<int32_t>(rbuf.size())};
    Packed p;
    p.res = pack(x.a.data(), x.ld, x.m, x.n, vs, rs, run_limit);
    p.values.assign(vbuf.begin(), vbuf.begin() + vs.n);
    for (int32_t k = 0; k < rs.n_words; k += 3) p.runs.push_back({rbuf[k], rbuf[k + 1], rbuf[k + 2]});
    EXPECT_EQ(vs.n, p.res.counts.nnz);
    EXPECT_EQ(rs.n_words * 2, p.res.counts.nixb);
    return p;
}

std::vector<int16_t> words_of(const std::vector<ZRun>& runs) {
    std::vector<int16_t> w;
    for (const ZRun& z : runs) w.insert(w.end(), {z.row, z.col, z.len});
    return w;
}

// Unpack from memory into a matrix of the given shape (padding rows keep `pad`).
UnpackResult unpack_mem(const Packed& p, Mat& out) {
    const std::vector<int16_t> w = words_of(p.runs);
    MemValueSource vs{p.values.data(), static_cast<int32_t>(p.values.size())};
    MemRunSource rs{w.data(), static_cast<int32_t>(w.size())};
    UnpackResult r = unpack(out.a.data(), out.ld, out.m, out.n, vs, rs, p.res.counts.nixb);
    EXPECT_EQ(vs.n, r.values);
    return r;
}

void expect_run(const ZRun& z, int16_t row, int16_t col, int16_t len) {
    EXPECT_EQ(z.row, row);
    EXPECT_EQ(z.col, col);
    EXPECT_EQ(z.len, len);
}

void expect_same(Mat& a, Mat& b) {
    ASSERT_EQ(a.m, b.m);
    ASSERT_EQ(a.n, b.n);
    for (int32_t j = 1; j <= a.n; ++j)
        for (int32_t i = 1; i <= a.m; ++i)
            ASSERT_EQ(std::memcmp(&a.at(i, j), &b.at(i, j), sizeof(double)), 0) << i << "," << j;
}

// Random matrix: each entry nonzero with the given probability.
Mat random_mat(std::mt19937& rng, int32_t m, int32_t n, double density, int32_t ld = 0) {
    Mat x(m, n, ld, std::nan(""));  // padding rows hold NaN: never packed
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_real_distribution<double> val(-1e6, 1e6);
    for (int32_t j = 1; j <= n; ++j)
        for (int32_t i = 1; i <= m; ++i) x.at(i, j) = u(rng) < density ? val(rng) : 0.0;
    return x;
}

// ---- layout -------------------------------------------------------------------------------

TEST(PackLayout, TwoByThreeExample) {
    Mat x(2, 3);
    x.at(1, 1) = 5;
    x.at(2, 2) = 7;
    Packed p = pack_mem(x);
    ASSERT_EQ(p.res.status, PackStatus::ok);
    EXPECT_EQ(p.values, (std::vector<double>{5, 7}));
    ASSERT_EQ(p.runs.size(), 2u);
    expect_run(p.runs[0], 1, 2, 3);
    expect_run(p.runs[1], 2, 3, 1);
    EXPECT_EQ(p.res.counts.nnz, 2);
    EXPECT_EQ(p.res.counts.nzero, 4);
    EXPECT_EQ(p.res.counts.nixb, 12);
    EXPECT_EQ(runs_in(12), 2);

    Mat back(2, 3, 0, -1.0);
    UnpackResult r = unpack_mem(p, back);
    EXPECT_EQ(r.status, UnpackStatus::ok);
    EXPECT_EQ(r.values, 2);
    EXPECT_EQ(r.zeros, 4);
    expect_same(x, back);
}

TEST(PackLayout, NoZerosNoRunsAndAllZerosOneRun) {
    Mat full(3, 4, 0, 2.5);
    Packed p = pack_mem(full);
    ASSERT_EQ(p.res.status, PackStatus::ok);
    EXPECT_TRUE(p.runs.empty());
    EXPECT_EQ(p.res.counts.nixb, 0);
    EXPECT_EQ(p.res.counts.nnz, 12);

    Mat zero(3, 4);
    p = pack_mem(zero);
    ASSERT_EQ(p.res.status, PackStatus::ok);
    EXPECT_TRUE(p.values.empty());
    ASSERT_EQ(p.runs.size(), 1u);
    expect_run(p.runs[0], 1, 1, 12);
    EXPECT_EQ(p.res.counts.nzero, 12);
    Mat back(3, 4, 0, 9.0);
    UnpackResult r = unpack_mem(p, back);
    EXPECT_EQ(r.status, UnpackStatus::ok);
    EXPECT_EQ(r.zeros, 12);
    expect_same(zero, back);

    // Empty extents pack to nothing.
    Mat none(0, 5);
    p = pack_mem(none);
    EXPECT_EQ(p.res.status, PackStatus::ok);
    EXPECT_EQ(p.res.counts.nnz + p.res.counts.nzero + p.res.counts.nixb, 0);
}

TEST(PackLayout, RunsCrossRowEnds) {
    // Column N of row 1 into column 1 of row 2: one run.
    Mat x(2, 3);
    x.at(1, 1) = 1;
    x.at(2, 2) = 2;
    x.at(2, 3) = 3;
    Packed p = pack_mem(x);
    ASSERT_EQ(p.runs.size(), 1u);
    expect_run(p.runs[0], 1, 2, 3);

    // From the last column over the whole next row: ends in column N.
    Mat y(3, 3, 0, 1.0);
    y.at(1, 3) = 0;
    for (int32_t j = 1; j <= 3; ++j) y.at(2, j) = 0;
    p = pack_mem(y);
    ASSERT_EQ(p.runs.size(), 1u);
    expect_run(p.runs[0], 1, 3, 4);
    int32_t lr = 0, lc = 0;
    run_end(3, p.runs[0], lr, lc);
    EXPECT_EQ(lr, 2);
    EXPECT_EQ(lc, 3);
    Mat back(3, 3, 0, -7.0);
    EXPECT_EQ(unpack_mem(p, back).zeros, 4);
    expect_same(y, back);
}

TEST(RunEnd, WithinOneRowAndOverSeveralRows) {
    int32_t r = 0, c = 0;
    run_end(5, ZRun{2, 2, 4}, r, c);  // fits its row exactly
    EXPECT_EQ(r, 2);
    EXPECT_EQ(c, 5);
    run_end(5, ZRun{2, 2, 5}, r, c);  // one into the next row
    EXPECT_EQ(r, 3);
    EXPECT_EQ(c, 1);
    run_end(5, ZRun{2, 4, 13}, r, c);  // 2 in row 2, 10 over rows 3-4, 1 in row 5
    EXPECT_EQ(r, 5);
    EXPECT_EQ(c, 1);
    run_end(5, ZRun{1, 1, 15}, r, c);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(c, 5);
    // The length formula and the end rule agree.
    for (int16_t col = 1; col <= 7; ++col)
        for (int16_t len = 1; len <= 40; ++len) {
            run_end(7, ZRun{3, col, len}, r, c);
            EXPECT_EQ(run_length(7, 3, col, r, c), len);
        }
}

// ---- long runs and run limits ------------------------------------------------------------

TEST(PackLongRuns, RunOf70000SplitsIntoAdjacentRunsOfAtMost32767) {
    // 10 x 10000: a value, 70000 zeros, then values to the end.
    Mat x(10, 10000, 0, 0.0);
    for (int64_t p = 0; p < 100000; ++p) x.scan(p) = (p == 0 || p > 70000) ? 1.0 + p : 0.0;
    Packed p = pack_mem(x);
    ASSERT_EQ(p.res.status, PackStatus::ok);
    ASSERT_EQ(p.runs.size(), 3u);
    expect_run(p.runs[0], 1, 2, 32767);
    expect_run(p.runs[1], 4, 2769, 32767);  // scan position 32768 (0-based)
    expect_run(p.runs[2], 7, 5536, 4466);   // scan position 65535
    EXPECT_EQ(p.res.counts.nzero, 70000);
    EXPECT_EQ(p.res.counts.nnz, 30000);
    EXPECT_EQ(p.res.counts.nixb, 18);

    Mat back(10, 10000, 0, -1.0);
    UnpackResult r = unpack_mem(p, back);
    EXPECT_EQ(r.status, UnpackStatus::ok);
    EXPECT_EQ(r.zeros, 70000);
    EXPECT_EQ(r.values, 30000);
    expect_same(x, back);
}

TEST(PackLongRuns, RunLimitStopsBeforeTheRunIsWritten) {
    Mat zero(3, 4);
    Packed p = pack_mem(zero, 2 * 4);  // the entry's 2*N test
    EXPECT_EQ(p.res.status, PackStatus::run_limit);
    EXPECT_TRUE(p.runs.empty());
    EXPECT_EQ(p.res.counts.nzero, 0);
    EXPECT_EQ(pack_mem(zero, 13).res.status, PackStatus::ok);
    EXPECT_EQ(pack_mem(zero, 12).res.status, PackStatus::run_limit);

    // A shorter run before the long one is written, the long one is not.
    Mat x(3, 4, 0, 1.0);
    x.at(1, 2) = 0;
    for (int32_t j = 1; j <= 4; ++j) x.at(2, j) = x.at(3, j) = 0;
    p = pack_mem(x, 8);
    EXPECT_EQ(p.res.status, PackStatus::run_limit);
    ASSERT_EQ(p.runs.size(), 1u);
    expect_run(p.runs[0], 1, 2, 1);

    // A run long enough to be split is tested as a whole: no piece is written.
    Mat big(10, 10000);
    p = pack_mem(big, 50000);
    EXPECT_EQ(p.res.status, PackStatus::run_limit);
    EXPECT_TRUE(p.runs.empty());
}

// A file sink takes the values in blocks: a pack that stops at the run limit
// after more values than one block still leaves every value before the stop
// in the file, as value-by-value writes would.
TEST(PackLongRuns, RunLimitLeavesTheValuesBeforeItInTheFile) {
    kav::test::TempDataDir dir;
    BinUnit vu, ru;
    ASSERT_EQ(vu.open(kav::data_path("TAB0.DAT")), IO_OK);
    ASSERT_EQ(ru.open(kav::data_path("1TAB0.DAT")), IO_OK);
    const int32_t m = 3, n = 1500;
    Mat x(m, n, 0, 0.0);
    for (int32_t j = 1; j <= n; ++j) x.at(1, j) = j;  // row 1 full, rows 2 and 3 zero
    FileValueSink vs{vu};
    FileRunSink rs{ru};
    const PackResult r = pack(x.a.data(), m, m, n, vs, rs, 2 * n);
    EXPECT_EQ(r.status, PackStatus::run_limit);
    EXPECT_EQ(r.counts.nnz, n);
    vu.close();
    ru.close();
    const std::string vb = kav::test::read_file(dir.file("TAB0.DAT"));
    ASSERT_EQ(vb.size(), sizeof(double) * n);
    for (int32_t j = 1; j <= n; ++j) {
        double v;
        std::memcpy(&v, vb.data() + sizeof(double) * (j - 1), sizeof v);
        ASSERT_EQ(v, j);
    }
    EXPECT_TRUE(kav::test::read_file(dir.file("1TAB0.DAT")).empty());
}

// ---- sink and source failures -------------------------------------------------------------

// Packing against an element-by-element oracle: random shapes (rows of
// more and fewer than 64 columns), densities from none to all, -0.0 and NaN
// entries, long runs, and sinks or run limits that stop the packing early.
TEST(PackSinks, RandomShapesAndStopsMatchAnElementByElementScan) {
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int32_t> pick(0, 1 << 30);
    for (int t = 0; t < 600; ++t) {
        const bool tall = t % 50 == 0;  // runs beyond MAX_RUN
        const int32_t m = tall ? 300 + pick(rng) % 100 : 1 + pick(rng) % 40;
        const int32_t n = tall ? 150 : 1 + pick(rng) % 150;
        const double density = tall ? 0.0001 : std::array{0.0, 0.02, 0.3, 0.9, 1.0}[t % 5];
        Mat x = random_mat(rng, m, n, density, m + pick(rng) % 3);
        for (int k = 0; k < 3; ++k) x.scan(pick(rng) % (int64_t{m} * n)) = k == 0 ? -0.0 : std::nan("");
        const int64_t cells = int64_t{m} * n;
        const int32_t capv = t % 3 == 0 ? pick(rng) % (static_cast<int32_t>(cells) + 1) : static_cast<int32_t>(cells);
        const int32_t capw = t % 3 == 1 ? pick(rng) % 60 : static_cast<int32_t>(3 * cells + 3);
        const int64_t limit = t % 7 == 0 ? 1 + pick(rng) % 40 : 0;

        // The oracle.
        std::vector<double> ev;
        std::vector<int16_t> ew;
        PackStatus est = PackStatus::ok;
        int32_t enzero = 0;
        int64_t start = -1;  // first position of the open run
        auto end_run = [&](int64_t p) {  // the run ends before position p
            if (start < 0) return true;
            int64_t len = p - start;
            if (limit > 0 && len >= limit) return est = PackStatus::run_limit, false;
            for (int64_t q = start; len > 0;) {
                const int32_t piece = static_cast<int32_t>(std::min<int64_t>(len, MAX_RUN));
                if (static_cast<int32_t>(ew.size()) + 3 > capw) return est = PackStatus::run_sink_failed, false;
                ew.insert(ew.end(), {static_cast<int16_t>(q / n + 1), static_cast<int16_t>(q % n + 1),
                                     static_cast<int16_t>(piece)});
                enzero += piece;
                q += piece;
                len -= piece;
            }
            start = -1;
            return true;
        };
        int64_t p = 0;
        for (; p < cells; ++p) {
            const double v = x.scan(p);
            if (v == 0.0) {
                if (start < 0) start = p;
                continue;
            }
            if (!end_run(p)) break;
            if (static_cast<int32_t>(ev.size()) >= capv) {
                est = PackStatus::value_sink_failed;
                break;
            }
            ev.push_back(v);
        }
        if (p == cells) end_run(cells);

        std::vector<double> vbuf(static_cast<std::size_t>(capv) + 1);
        std::vector<int16_t> wbuf(static_cast<std::size_t>(capw) + 1);
        MemValueSink vs{vbuf.data(), capv};
        MemRunSink rs{wbuf.data(), capw};
        const PackResult r = pack(x.a.data(), x.ld, m, n, vs, rs, limit);
        ASSERT_EQ(r.status, est) << t;
        ASSERT_EQ(vs.n, static_cast<int32_t>(ev.size())) << t;
        ASSERT_TRUE(ev.empty() || std::memcmp(vbuf.data(), ev.data(), ev.size() * sizeof(double)) == 0) << t;
        ASSERT_EQ(std::vector<int16_t>(wbuf.begin(), wbuf.begin() + rs.n_words), ew) << t;
        ASSERT_EQ(r.counts.nnz, vs.n) << t;
        ASSERT_EQ(r.counts.nzero, enzero) << t;
        ASSERT_EQ(r.counts.nixb, 2 * rs.n_words) << t;
    }
}

TEST(PackSinks, FullMemorySinkStopsWithItsStatusAndWritesNothingBeyond) {
    std::mt19937 rng(7);
    Mat x = random_mat(rng, 20, 30, 0.3);
    const Packed all = pack_mem(x);
    ASSERT_GT(all.values.size(), 10u);
    ASSERT_GT(all.runs.size(), 4u);

    std::vector<double> vbuf(all.values.size() + 8, -123.0);
    std::vector<int16_t> rbuf(3 * all.runs.size() + 8, -5);
    MemValueSink vs{vbuf.data(), 10};
    MemRunSink rs{rbuf.data(), static_cast<int32_t>(rbuf.size())};
    PackResult r = pack(x.a.data(), x.ld, x.m, x.n, vs, rs);
    EXPECT_EQ(r.status, PackStatus::value_sink_failed);
    EXPECT_EQ(vs.n, 10);
    EXPECT_EQ(r.counts.nnz, 10);
    for (std::size_t k = 10; k < vbuf.size(); ++k) EXPECT_EQ(vbuf[k], -123.0);

    MemValueSink vs2{vbuf.data(), static_cast<int32_t>(vbuf.size())};
    MemRunSink rs2{rbuf.data(), 3 * 4 + 2};  // room for four runs and two words
    std::fill(rbuf.begin(), rbuf.end(), int16_t{-5});
    r = pack(x.a.data(), x.ld, x.m, x.n, vs2, rs2);
    EXPECT_EQ(r.status, PackStatus::run_sink_failed);
    EXPECT_EQ(rs2.n_words, 12);
    EXPECT_EQ(r.counts.nixb, 24);
    for (std::size_t k = 12; k < rbuf.size(); ++k) EXPECT_EQ(rbuf[k], -5);
}

// Memory sources lend their values, other sources copy them in blocks or
// one by one: all three fill the same cells with the same bytes and end with
// the same result, also when values or runs run out or NIXB is short.
TEST(UnpackSources, LentCopiedAndSingleValuesFillTheSameCells) {
    struct Copying {  // blocks, no lending
        MemValueSource s;
        int get(double& v) { return s.get(v); }
        int get_n(double* v, std::size_t k, std::size_t& got) { return s.get_n(v, k, got); }
    };
    struct Single {
        MemValueSource s;
        int get(double& v) { return s.get(v); }
    };
    std::mt19937 rng(99);
    std::uniform_int_distribution<int32_t> pick(0, 1 << 30);
    for (int t = 0; t < 400; ++t) {
        const int32_t m = 1 + pick(rng) % 30, n = 1 + pick(rng) % 90;
        Mat x = random_mat(rng, m, n, std::array{0.0, 0.05, 0.5, 0.95, 1.0}[t % 5], m + pick(rng) % 2);
        const Packed pk = pack_mem(x);
        const std::vector<int16_t> w = words_of(pk.runs);
        const int32_t nv = t % 3 == 0 ? pick(rng) % (static_cast<int32_t>(pk.values.size()) + 1)
                                      : static_cast<int32_t>(pk.values.size());
        const int32_t nw = t % 3 == 1 ? pick(rng) % (static_cast<int32_t>(w.size()) + 1) : static_cast<int32_t>(w.size());
        const int32_t nixb = t % 4 == 2 ? pick(rng) % (pk.res.counts.nixb + 1) : pk.res.counts.nixb;
        Mat out[3] = {Mat(m, n, x.ld, -7.0), Mat(m, n, x.ld, -7.0), Mat(m, n, x.ld, -7.0)};
        UnpackResult r[3];
        int32_t taken[3];
        {
            MemValueSource vs{pk.values.data(), nv};
            MemRunSource rs{w.data(), nw};
            r[0] = unpack(out[0].a.data(), x.ld, m, n, vs, rs, nixb);
            taken[0] = vs.n;
        }
        {
            Copying vs{{pk.values.data(), nv}};
            MemRunSource rs{w.data(), nw};
            r[1] = unpack(out[1].a.data(), x.ld, m, n, vs, rs, nixb);
            taken[1] = vs.s.n;
        }
        {
            Single vs{{pk.values.data(), nv}};
            MemRunSource rs{w.data(), nw};
            r[2] = unpack(out[2].a.data(), x.ld, m, n, vs, rs, nixb);
            taken[2] = vs.s.n;
        }
        for (int k = 1; k < 3; ++k) {
            ASSERT_EQ(r[k].status, r[0].status) << t << " " << k;
            ASSERT_EQ(r[k].values, r[0].values) << t << " " << k;
            ASSERT_EQ(r[k].zeros, r[0].zeros) << t << " " << k;
            ASSERT_EQ(taken[k], taken[0]) << t << " " << k;
            ASSERT_EQ(std::memcmp(out[k].a.data(), out[0].a.data(), out[0].a.size() * sizeof(double)), 0) << t << " " << k;
        }
        if (nv == static_cast<int32_t>(pk.values.size()) && nw == static_cast<int32_t>(w.size()) &&
            nixb == pk.res.counts.nixb) {
            ASSERT_EQ(r[0].status, UnpackStatus::ok) << t;
            expect_same(out[0], x);
        }
    }
}

TEST(UnpackSources, ShortSourcesFailAndRunsAreTakenOnlyUpToNixb) {
    Mat x(2, 3);
    x.at(1, 1) = 5;
    x.at(2, 2) = 7;
    Packed p = pack_mem(x);
    const std::vector<int16_t> w = words_of(p.runs);
    Mat back(2, 3);

    MemValueSource v1{p.values.data(), 1};  // one value short
    MemRunSource r1{w.data(), static_cast<int32_t>(w.size())};
    EXPECT_EQ(unpack(back.a.data(), 2, 2, 3, v1, r1, 12).status, UnpackStatus::value_read_failed);

    MemValueSource v2{p.values.data(), 2};
    MemRunSource r2{w.data(), 4};  // second run record cut off
    EXPECT_EQ(unpack(back.a.data(), 2, 2, 3, v2, r2, 12).status, UnpackStatus::run_read_failed);

    // NIXB of one run: the second record is not taken, its position reads a value.
    std::vector<double> vals{5, 7, 8};
    MemValueSource v3{vals.data(), 3};
    MemRunSource r3{w.data(), static_cast<int32_t>(w.size())};
    UnpackResult r = unpack(back.a.data(), 2, 2, 3, v3, r3, 6);
    EXPECT_EQ(r.status, UnpackStatus::ok);
    EXPECT_EQ(r3.n_words, 3);
    EXPECT_EQ(r.values, 3);
    EXPECT_EQ(r.zeros, 3);
    EXPECT_EQ(back.at(2, 3), 8.0);
}

TEST(CodecShape, BadExtentsAreRefusedWithoutTouchingMemory) {
    Mat x(2, 3);
    std::vector<double> v(8);
    std::vector<int16_t> w(8);
    MemValueSink vs{v.data(), 8};
    MemRunSink rs{w.data(), 8};
    EXPECT_EQ(pack(x.a.data(), 1, 2, 3, vs, rs).status, PackStatus::bad_shape);
    EXPECT_EQ(pack(x.a.data(), 2, -1, 3, vs, rs).status, PackStatus::bad_shape);
    EXPECT_EQ(pack(x.a.data(), 2, 2, 40000, vs, rs).status, PackStatus::bad_shape);
    const double* none = nullptr;
    EXPECT_EQ(pack(none, 2, 2, 3, vs, rs).status, PackStatus::bad_shape);
    MemValueSource vsrc{v.data(), 8};
    MemRunSource rsrc{w.data(), 8};
    EXPECT_EQ(unpack(x.a.data(), 1, 2, 3, vsrc, rsrc, 0).status, UnpackStatus::bad_shape);
    EXPECT_EQ(vs.n + rs.n_words + vsrc.n + rsrc.n_words, 0);
}

// ---- round trips ----------------------------------------------------------------------------

TEST(RoundTrip, RandomMatricesThroughMemoryWithPaddedLeadingDimension) {
    std::mt19937 rng(20240601);
    struct Shape { int32_t m, n, ld; double density; };
    const Shape shapes[] = {{1, 1, 1, 0.5}, {1, 50, 3, 0.2}, {50, 1, 50, 0.2}, {17, 23, 20, 0.1},
                            {40, 40, 41, 0.5}, {31, 64, 31, 0.02}, {25, 25, 30, 0.95},
                            {12, 9, 12, 0.0}, {12, 9, 15, 1.0}};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(std::to_string(s.m) + "x" + std::to_string(s.n));
        Mat x = random_mat(rng, s.m, s.n, s.density, s.ld);
        Packed p = pack_mem(x);
        ASSERT_EQ(p.res.status, PackStatus::ok);
        EXPECT_EQ(p.res.counts.nnz + p.res.counts.nzero, s.m * s.n);
        for (double v : p.values) EXPECT_FALSE(std::isnan(v));  // padding never packed
        Mat back(s.m, s.n, s.ld, -99.0);
        UnpackResult r = unpack_mem(p, back);
        ASSERT_EQ(r.status, UnpackStatus::ok);
        EXPECT_EQ(r.values, p.res.counts.nnz);
        EXPECT_EQ(r.zeros, p.res.counts.nzero);
        expect_same(x, back);
        for (int32_t j = 1; j <= s.n; ++j)
            for (int32_t i = s.m + 1; i <= s.ld; ++i) EXPECT_EQ(back.at(i, j), -99.0);
    }
}

TEST(RoundTrip, TwoByThreeExampleFileBytes) {
    kav::test::TempDataDir dir;
    BinUnit vu, ru;
    ASSERT_EQ(vu.open(kav::data_path("TAB0.DAT")), IO_OK);
    ASSERT_EQ(ru.open(kav::data_path("1TAB0.DAT")), IO_OK);
    Mat x(2, 3);
    x.at(1, 1) = 5;
    x.at(2, 2) = 7;
    FileValueSink vs{vu};
    FileRunSink rs{ru};
    ASSERT_EQ(pack(x.a.data(), 2, 2, 3, vs, rs).status, PackStatus::ok);
    vu.close();
    ru.close();
    const std::string vb = kav::test::read_file(dir.file("TAB0.DAT"));
    const std::string rb = kav::test::read_file(dir.file("1TAB0.DAT"));
    ASSERT_EQ(vb.size(), 16u);
    double d[2];
    std::memcpy(d, vb.data(), 16);
    EXPECT_EQ(d[0], 5.0);
    EXPECT_EQ(d[1], 7.0);
    EXPECT_EQ(rb, std::string("\x01\x00\x02\x00\x03\x00\x02\x00\x03\x00\x01\x00", 12));
}

TEST(RoundTrip, RandomMatricesThroughSequentialFiles) {
    kav::test::TempDataDir dir;
    std::mt19937 rng(99);
    std::vector<Mat> mats;
    std::vector<Counts> counts;
    BinUnit vu, ru;
    ASSERT_EQ(vu.open(kav::data_path("C:\\KAV\\TAB0.DAT")), IO_OK);
    ASSERT_EQ(ru.open(kav::data_path("C:\\KAV\\1TAB0.DAT")), IO_OK);
    FileValueSink vs{vu};
    FileRunSink rs{ru};
    for (int k = 0; k < 6; ++k) {  // one matrix after another, as the subproblems arrive
        mats.push_back(random_mat(rng, 5 + 7 * k, 40 - 5 * k, 0.05 + 0.15 * k));
        const Mat& x = mats.back();
        PackResult r = pack(x.a.data(), x.ld, x.m, x.n, vs, rs);
        ASSERT_EQ(r.status, PackStatus::ok);
        counts.push_back(r.counts);
    }
    vu.close();
    ru.close();

    ASSERT_EQ(vu.open(kav::data_path("C:\\KAV\\TAB0.DAT")), IO_OK);
    ASSERT_EQ(ru.open(kav::data_path("C:\\KAV\\1TAB0.DAT")), IO_OK);
    FileValueSource vsrc{vu};
    FileRunSource rsrc{ru};
    for (std::size_t k = 0; k < mats.size(); ++k) {
        Mat back(mats[k].m, mats[k].n, 0, -1.0);
        UnpackResult r = unpack(back.a.data(), back.ld, back.m, back.n, vsrc, rsrc, counts[k].nixb);
        ASSERT_EQ(r.status, UnpackStatus::ok);
        EXPECT_EQ(r.values, counts[k].nnz);
        EXPECT_EQ(r.zeros, counts[k].nzero);
        expect_same(mats[k], back);
    }
    double extra;
    EXPECT_EQ(vu.get(extra), kav::IO_EOF);

    // A value file cut short: the reader reports the failed value read.
    vu.close();
    ASSERT_EQ(vu.open(kav::data_path("TAB0.DAT")), IO_OK);
    ASSERT_EQ(vu.seek(8), IO_OK);
    double one = 1.0;
    ASSERT_EQ(vu.put(one), IO_OK);  // sequential: the file now ends after two values
    ASSERT_EQ(vu.seek(0), IO_OK);
    ASSERT_EQ(ru.seek(0), IO_OK);
    ASSERT_GT(counts[0].nnz, 2);
    Mat back(mats[0].m, mats[0].n);
    EXPECT_EQ(unpack(back.a.data(), back.ld, back.m, back.n, vsrc, rsrc, counts[0].nixb).status,
              UnpackStatus::value_read_failed);
}

TEST(RoundTrip, RandomMatricesThroughPositionedFilesAtOffsets) {
    kav::test::TempDataDir dir;
    std::mt19937 rng(4711);
    BinUnit vu, ru;
    ASSERT_EQ(vu.open(kav::data_path("TAB20.DAT"), BinUnit::Mode::positioned), IO_OK);
    ASSERT_EQ(ru.open(kav::data_path("1TAB20.DAT"), BinUnit::Mode::positioned), IO_OK);
    FileValueSink vs{vu};
    FileRunSink rs{ru};
    // Slots of 8*M*N bytes each, written in reverse order so that a later
    // slot's data is followed by an earlier slot already on disk.
    std::vector<Mat> mats;
    std::vector<int64_t> slot{0};
    for (int k = 0; k < 4; ++k) {
        mats.push_back(random_mat(rng, 6 + k, 11 + 3 * k, 0.3, 10 + k));
        slot.push_back(slot.back() + 8LL * mats.back().m * mats.back().n);
    }
    std::vector<Counts> counts(mats.size());
    for (int k = 3; k >= 0; --k) {
        ASSERT_EQ(vu.seek(slot[k]), IO_OK);
        ASSERT_EQ(ru.seek(slot[k]), IO_OK);
        const Mat& x = mats[k];
        PackResult r = pack(x.a.data(), x.ld, x.m, x.n, vs, rs);
        ASSERT_EQ(r.status, PackStatus::ok);
        counts[k] = r.counts;
    }
    vu.close();
    ru.close();

    ASSERT_EQ(vu.open(kav::data_path("TAB20.DAT"), BinUnit::Mode::positioned), IO_OK);
    ASSERT_EQ(ru.open(kav::data_path("1TAB20.DAT"), BinUnit::Mode::positioned), IO_OK);
    FileValueSource vsrc{vu};
    FileRunSource rsrc{ru};
    for (int k : {2, 0, 3, 1}) {
        ASSERT_EQ(vu.seek(slot[k]), IO_OK);
        ASSERT_EQ(ru.seek(slot[k]), IO_OK);
        Mat back(mats[k].m, mats[k].n, mats[k].ld, std::nan(""));
        UnpackResult r = unpack(back.a.data(), back.ld, back.m, back.n, vsrc, rsrc, counts[k].nixb);
        ASSERT_EQ(r.status, UnpackStatus::ok);
        EXPECT_EQ(r.values, counts[k].nnz);
        EXPECT_EQ(r.zeros, counts[k].nzero);
        expect_same(mats[k], back);
    }
}

}  // namespace
