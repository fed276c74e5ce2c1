// Tableau store: round trips of both copies and the coupling matrix,
// independence of the copies, capacities, run rules and count failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "datadir.hpp"
#include "fmt.hpp"
#include "lines.hpp"
#include "store.hpp"

namespace {

using namespace kav::decomp;

// The store is ~420 MB; calloc leaves untouched pages unmapped.
struct Free {
    void operator()(TableauStore* p) const { std::free(p); }
};
std::unique_ptr<TableauStore, Free> new_store() {
    return std::unique_ptr<TableauStore, Free>(static_cast<TableauStore*>(std::calloc(1, sizeof(TableauStore))));
}

// The work state the store reads and writes.
struct Work {
    std::vector<double> t;
    int16_t m = 0, n = 0, nsv = 0, npiv = 0;
    std::vector<int16_t> irow = std::vector<int16_t>(STORE_MAXROW);
    std::vector<double> rnorm = std::vector<double>(STORE_MAXROW);
    std::vector<int16_t> icol = std::vector<int16_t>(STORE_MAXCOL);
    std::vector<double> cnorm = std::vector<double>(STORE_MAXCOL);
    std::vector<int16_t> icolsv = std::vector<int16_t>(STORE_MAXSV);
    std::vector<double> cpl;
    int16_t cplrows = 0, cplcols = 0;

    Work(int32_t tcols = 64, int32_t ccols = 64)
        : t(static_cast<size_t>(WORK_LD) * tcols), cpl(static_cast<size_t>(COUPLING_LD) * ccols) {}

    double& at(int i, int j) { return t[static_cast<size_t>(j - 1) * WORK_LD + (i - 1)]; }
    double& c(int i, int j) { return cpl[static_cast<size_t>(j - 1) * COUPLING_LD + (i - 1)]; }

    StoreWork view() {
        StoreWork w;
        w.t = t.data();
        w.m = &m;
        w.n = &n;
        w.irow = irow.data();
        w.rnorm = rnorm.data();
        w.icol = icol.data();
        w.cnorm = cnorm.data();
        w.icolsv = icolsv.data();
        w.nsv = &nsv;
        w.npiv = &npiv;
        w.cpl = cpl.data();
        w.cplrows = &cplrows;
        w.cplcols = &cplcols;
        return w;
    }

    // Random content: tableau m x n and coupling r x s with zero runs of
    // every kind (within rows, across row ends, whole rows).
    void fill(std::mt19937_64& g, int16_t m_, int16_t n_, int16_t r, int16_t s) {
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        m = m_;
        n = n_;
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= m; ++i) at(i, j) = (u(g) < 0.2 || i == 3) ? u(g) * 1e3 : 0.0;
        for (int i = 0; i < m; ++i) {
            irow[i] = static_cast<int16_t>(g() % 10000) - 5000;
            rnorm[i] = 1.0 + u(g) * u(g);
        }
        for (int j = 0; j < n; ++j) {
            icol[j] = static_cast<int16_t>(g() % 10000) - 5000;
            cnorm[j] = 1.0 + u(g) * u(g);
        }
        nsv = static_cast<int16_t>(n + 2);
        for (int j = 0; j < nsv; ++j) icolsv[j] = static_cast<int16_t>(5000 + j);
        npiv = static_cast<int16_t>(g() % 900);
        cplrows = r;
        cplcols = s;
        for (int j = 1; j <= s; ++j)
            for (int i = 1; i <= r; ++i) c(i, j) = u(g) < 0.0 ? u(g) : 0.0;
    }
};

// Work state of the same content, compared bit for bit over its extents.
void expect_same(Work& a, Work& b) {
    ASSERT_EQ(a.m, b.m);
    ASSERT_EQ(a.n, b.n);
    EXPECT_EQ(a.npiv, b.npiv);
    ASSERT_EQ(a.nsv, b.nsv);
    for (int j = 1; j <= a.n; ++j)
        for (int i = 1; i <= a.m; ++i) ASSERT_EQ(std::memcmp(&a.at(i, j), &b.at(i, j), 8), 0) << i << "," << j;
    EXPECT_EQ(0, std::memcmp(a.irow.data(), b.irow.data(), 2 * a.m));
    EXPECT_EQ(0, std::memcmp(a.rnorm.data(), b.rnorm.data(), 8 * a.m));
    EXPECT_EQ(0, std::memcmp(a.icol.data(), b.icol.data(), 2 * a.n));
    EXPECT_EQ(0, std::memcmp(a.cnorm.data(), b.cnorm.data(), 8 * a.n));
    EXPECT_EQ(0, std::memcmp(a.icolsv.data(), b.icolsv.data(), 2 * a.nsv));
}
void expect_same_coupling(Work& a, Work& b) {
    ASSERT_EQ(a.cplrows, b.cplrows);
    ASSERT_EQ(a.cplcols, b.cplcols);
    for (int j = 1; j <= a.cplcols; ++j)
        for (int i = 1; i <= a.cplrows; ++i) ASSERT_EQ(std::memcmp(&a.c(i, j), &b.c(i, j), 8), 0);
}

// An empty work state with the coupling extents of `src` (they come from the
// driver's tables, not from the store).
Work blank_like(const Work& src) {
    Work w;
    w.cplrows = src.cplrows;
    w.cplcols = src.cplcols;
    for (auto& x : w.t) x = 99.0;
    for (auto& x : w.cpl) x = 99.0;
    return w;
}

TEST(Store, RoundTripsBothCopiesAndCoupling) {
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    std::mt19937_64 g(5);
    Work a, b;
    a.fill(g, 37, 29, 7, 29);
    b.fill(g, 12, 41, 7, 29);
    StoreWork wa = a.view(), wb = b.view();
    ASSERT_EQ(packtb(*st, wa, 1, 17, pnt), 0);
    EXPECT_EQ(st->current, 1);
    // A save in mode 2 with another coupling matrix in the work area: copy 1
    // and the coupling lists must stay as they were.
    Work b2 = b;
    for (auto& x : b2.cpl) x = 5.0;
    StoreWork wb2 = b2.view();
    ASSERT_EQ(packtb(*st, wb2, 2, 17, pnt), 0);
    EXPECT_EQ(st->current, 2);

    Work r1 = blank_like(a);
    StoreWork w1 = r1.view();
    ASSERT_EQ(unpktb(*st, w1, 1, 17, pnt), 0);
    expect_same(r1, a);
    expect_same_coupling(r1, a);

    Work r2 = blank_like(a);
    StoreWork w2 = r2.view();
    ASSERT_EQ(unpktb(*st, w2, 2, 17, pnt), 0);
    expect_same(r2, b);
    expect_same_coupling(r2, a);

    // Other problems are untouched.
    EXPECT_EQ(st->tab[15][0].nval, 0);
    EXPECT_EQ(st->cpl[17].nval, 0);
    (void)wa;
    (void)wb;
}

TEST(Store, RunRules) {
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    // No zeros: no run words.
    Work a;
    a.m = 20;
    a.n = 30;
    for (int j = 1; j <= 30; ++j)
        for (int i = 1; i <= 20; ++i) a.at(i, j) = i + 0.5 * j;
    StoreWork w = a.view();
    ASSERT_EQ(packtb(*st, w, 2, 1, pnt), 0);
    EXPECT_EQ(st->tab[0][1].nval, 600);
    EXPECT_EQ(st->tab[0][1].nwrd, 0);
    EXPECT_EQ(st->tab[0][1].nzero, 0);

    // Zeros only: one run of M*N from (1,1), no values.
    Work z(300);
    z.m = 100;
    z.n = 300;
    StoreWork wz = z.view();
    ASSERT_EQ(packtb(*st, wz, 2, 2, pnt), 0);
    const StoreCopy& cz = st->tab[1][1];
    EXPECT_EQ(cz.nval, 0);
    EXPECT_EQ(cz.nzero, 30000);
    ASSERT_EQ(cz.nwrd, 3);
    EXPECT_EQ(cz.wrd[0], 1);
    EXPECT_EQ(cz.wrd[1], 1);
    EXPECT_EQ(cz.wrd[2], 30000);

    // A run that ends a row and goes on in the next one is one run; the
    // example of the packed layout: rows (5,0,0) and (0,7,0).
    Work e;
    e.m = 2;
    e.n = 3;
    e.at(1, 1) = 5.0;
    e.at(2, 2) = 7.0;
    StoreWork we = e.view();
    ASSERT_EQ(packtb(*st, we, 2, 3, pnt), 0);
    const StoreCopy& ce = st->tab[2][1];
    EXPECT_EQ(ce.nval, 2);
    EXPECT_EQ(ce.val[0], 5.0);
    EXPECT_EQ(ce.val[1], 7.0);
    ASSERT_EQ(ce.nwrd, 6);
    const int16_t runs[] = {1, 2, 3, 2, 3, 1};
    EXPECT_EQ(0, std::memcmp(ce.wrd, runs, sizeof runs));

    // A zero tableau larger than one 16-bit run restores exactly.
    Work big(300);
    big.m = 400;
    big.n = 300;
    big.at(400, 300) = -1.0;
    StoreWork wbig = big.view();
    ASSERT_EQ(packtb(*st, wbig, 2, 4, pnt), 0);
    EXPECT_EQ(st->tab[3][1].nzero, 119999);
    Work back(300);
    StoreWork wback = back.view();
    ASSERT_EQ(unpktb(*st, wback, 2, 4, pnt), 0);
    expect_same(back, big);
}

TEST(Store, ValueCapacity) {
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    // 600 x 600 nonzero entries: exactly the capacity.
    Work a(601, 1);
    a.m = 600;
    a.n = 600;
    for (int j = 1; j <= 601; ++j)
        for (int i = 1; i <= 600; ++i) a.at(i, j) = i * 1000.0 + j;
    StoreWork w = a.view();
    ASSERT_EQ(packtb(*st, w, 2, 60, pnt), 0);
    EXPECT_EQ(st->tab[59][1].nval, STORE_TABVAL);
    Work back(601, 1);
    StoreWork wb = back.view();
    ASSERT_EQ(unpktb(*st, wb, 2, 60, pnt), 0);
    expect_same(back, a);

    // One column more: refused with 10, nothing stored past the value list
    // (its neighbour, the run list, keeps its contents), and the copy does
    // not pass a later restore.
    StoreCopy& cp = st->tab[59][0];
    cp.wrd[0] = 4711;
    a.n = 601;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 1, 60, pnt), 10);
    EXPECT_EQ(cp.nval, STORE_TABVAL);
    EXPECT_EQ(cp.wrd[0], 4711);
    EXPECT_EQ(cp.val[STORE_TABVAL - 1], a.at(600, 1));  // row by row: 599 rows of 601, then one
    EXPECT_EQ(unpktb(*st, wb, 1, 60, pnt), 2);

    // Exactly one value more than the capacity: a 601st row with a single
    // nonzero entry.
    a.n = 600;
    a.m = 601;
    for (int j = 1; j <= 600; ++j) a.at(601, j) = j == 17 ? 3.0 : 0.0;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 2, 59, pnt), 10);
    EXPECT_EQ(st->tab[58][1].nval, STORE_TABVAL);
    a.at(601, 17) = 0.0;
    EXPECT_EQ(packtb(*st, w, 2, 59, pnt), 0);
}

TEST(Store, RunWordCapacity) {
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    // Zeros on every other scan position: one run per zero.  400 x 300 has
    // 60000 runs, exactly 180000 words; 400 x 301 has 60200.
    Work a(301, 1);
    a.m = 400;
    for (int i = 1; i <= 400; ++i)
        for (int j = 1; j <= 301; ++j) a.at(i, j) = ((i - 1) * 300 + (j - 1)) % 2 ? 0.0 : 1.0;
    a.n = 300;
    StoreWork w = a.view();
    ASSERT_EQ(packtb(*st, w, 2, 9, pnt), 0);
    EXPECT_EQ(st->tab[8][1].nwrd, STORE_TABWRD);
    Work back(301, 1);
    StoreWork wb = back.view();
    ASSERT_EQ(unpktb(*st, wb, 2, 9, pnt), 0);
    expect_same(back, a);

    // The next problem's copy 1 follows copy 2 of problem 9 in the store.
    StoreCopy& next = st->tab[9][0];
    next.irow[0] = 77;
    for (int i = 1; i <= 400; ++i)
        for (int j = 1; j <= 301; ++j) a.at(i, j) = ((i - 1) * 301 + (j - 1)) % 2 ? 0.0 : 1.0;
    a.n = 301;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 2, 9, pnt), 10);
    EXPECT_EQ(st->tab[8][1].nwrd, STORE_TABWRD);
    EXPECT_EQ(next.irow[0], 77);
}

TEST(Store, CouplingCapacity) {
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    Work a(8, 151);
    a.m = 2;
    a.n = 2;
    a.cplrows = 400;
    a.cplcols = 150;  // 60000 values: fits
    for (auto& x : a.cpl) x = 2.5;
    StoreWork w = a.view();
    ASSERT_EQ(packtb(*st, w, 1, 5, pnt), 0);
    EXPECT_EQ(st->cpl[4].nval, STORE_CPLVAL);
    a.cplcols = 151;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 1, 5, pnt), 10);
    EXPECT_EQ(st->cpl[4].nval, STORE_CPLVAL);
    EXPECT_EQ(st->cpl[5].nval, 0);

    // Every other position zero: 6000 runs fill the 18000 run words.
    a.cplrows = 120;
    a.cplcols = 100;
    for (int j = 1; j <= 100; ++j)
        for (int i = 1; i <= 120; ++i) a.c(i, j) = ((i - 1) * 100 + (j - 1)) % 2 ? 0.0 : 1.0;
    w = a.view();
    ASSERT_EQ(packtb(*st, w, 1, 5, pnt), 0);
    EXPECT_EQ(st->cpl[4].nwrd, STORE_CPLWRD);
    a.cplrows = 121;
    for (int j = 1; j <= 100; ++j) a.c(121, j) = (j % 2) ? 0.0 : 3.0;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 1, 5, pnt), 10);
    EXPECT_EQ(st->cpl[4].nwrd, STORE_CPLWRD);
}

TEST(Store, RefusesBadArguments) {
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    Work a;
    a.m = 3;
    a.n = 3;
    StoreWork w = a.view();
    EXPECT_EQ(packtb(*st, w, 1, 0, pnt), 10);
    EXPECT_EQ(packtb(*st, w, 1, 61, pnt), 10);
    EXPECT_EQ(packtb(*st, w, 0, 1, pnt), 10);
    EXPECT_EQ(unpktb(*st, w, 3, 1, pnt), 2);
    EXPECT_EQ(unpktb(*st, w, 1, 61, pnt), 2);
    a.m = 2401;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 1, 1, pnt), 10);
    a.m = 3;
    a.nsv = 2401;
    w = a.view();
    EXPECT_EQ(packtb(*st, w, 1, 1, pnt), 10);

    // A coupling column count beyond what the work matrix holds is refused
    // on saving and on restoring, and the work matrix is not written.
    Work c(8, STORE_MAXCOL + 1);
    c.m = 3;
    c.n = 3;
    c.cplrows = 2;
    c.cplcols = 3;
    c.c(1, 2) = 4.0;
    StoreWork wc = c.view();
    ASSERT_EQ(packtb(*st, wc, 1, 1, pnt), 0);
    c.cplcols = STORE_MAXCOL + 1;
    EXPECT_EQ(packtb(*st, wc, 1, 1, pnt), 10);
    EXPECT_EQ(st->cpl[0].nval, 1);
    for (auto& x : c.cpl) x = 99.0;
    EXPECT_EQ(unpktb(*st, wc, 1, 1, pnt), 2);
    for (double x : c.cpl) ASSERT_EQ(x, 99.0);
}

TEST(Store, CountFailureOnRestorePrintsLines) {
    kav::test::TempDataDir dir;
    auto st = new_store();
    kav::fmt::PrintUnit pnt;
    ASSERT_EQ(pnt.open(dir.file("KAV100.PNT")), 0);
    std::mt19937_64 g(11);
    Work a;
    a.fill(g, 6, 5, 3, 5);
    StoreWork w = a.view();
    ASSERT_EQ(packtb(*st, w, 1, 2, pnt), 0);

    // A stored count that no longer matches the lists: tableau, then coupling.
    StoreCopy& cp = st->tab[1][0];
    const int32_t nval = cp.nval, nzero = cp.nzero;
    cp.nzero += 1;
    Work r = blank_like(a);
    StoreWork wr = r.view();
    EXPECT_EQ(unpktb(*st, wr, 1, 2, pnt), 2);
    cp.nzero -= 1;

    StoreCoupling& cq = st->cpl[1];
    const int32_t cval = cq.nval, czero = cq.nzero;
    cq.nzero += 1;
    EXPECT_EQ(unpktb(*st, wr, 1, 2, pnt), 2);
    pnt.close();

    using namespace kav::fmt;
    std::string want = lines::status_line().render({2, nval, nval, nzero + 1, nzero, nval + nzero, 6, 5}) +
                       lines::banner5().render({1});
    want += lines::status_line().render({2, cval, cval, czero + 1, czero, cval + czero, 3, 5}) +
            lines::banner5().render({2});
    EXPECT_EQ(kav::test::read_file(dir.file("KAV100.PNT")), want);
}

}  // namespace
