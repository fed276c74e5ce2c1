// Set-up pieces of the decomposition that the library's driver and kavmpi
// share: the scaling of a subproblem tableau, the master tableau of a level
// and the place of a sensitivity increment.
#include "setup.hpp"

#include <cmath>

#include "errcodes.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "master.hpp"

namespace kav::solver {

namespace {

// A row scale below ROW_SMALL is divided by ROW_SHRINK: rows of small
// magnitudes are scaled up rather than down.
constexpr double ROW_SMALL = 100.0;
constexpr double ROW_SHRINK = 1000.0;

// Smallest and largest magnitude above ATINY (0.001) of a row or column.
struct Range {
    double lo, hi;
    // Widens the range by |v| when |v| is above 0.001 (smaller entries do
    // not count).
    void take(double v) {
        const double a = std::fabs(v);
        if (a > kernel::ATINY) {
            if (a < lo) lo = a;
            if (a > hi) hi = a;
        }
    }
    // Something was taken (the range starts empty, lo = BIG > hi = -BIG,
    // whatever BIG the program uses).
    bool found() const { return hi >= lo; }
};

}  // namespace

bool scale_tableau(State& ds, int32_t k) {
    SolverState& sv = ds.sv;
    const int32_t m = sv.M, n = sv.N;
    auto row_range = [&](int32_t i) {
        Range r{sv.BIG, -sv.BIG};
        for (int32_t j = 1; j <= n; ++j) r.take(sv.t(i, j));
        return r;
    };
    Range r1 = row_range(1);
    if (!r1.found()) {
        sv.IERR = err::NO_MAGNITUDE;
        return false;
    }
    sv.OSCL[k] = std::sqrt(r1.hi * r1.lo);
    for (int32_t j = 1; j <= n; ++j) sv.t(1, j) = -sv.t(1, j) / sv.OSCL[k];
    for (int32_t i = 2; i <= m; ++i) {
        Range r = row_range(i);
        if (!r.found()) {
            sv.IERR = err::NO_MAGNITUDE;
            return false;
        }
        double s = std::sqrt(r.hi * r.lo);
        if (s < ROW_SMALL) s = s / ROW_SHRINK;
        sv.RSCL[k][i] = s;
        for (int32_t j = 1; j <= n; ++j) sv.t(i, j) = sv.t(i, j) / s;
    }
    sv.CSCL[k][1] = 1.0;
    for (int32_t j = 2; j <= n; ++j) {
        Range r{sv.BIG, -sv.BIG};
        for (int32_t i = 1; i <= m; ++i) r.take(sv.t(i, j));
        double s = r.found() ? std::sqrt(r.hi * r.lo) : 1.0;
        sv.CSCL[k][j] = s;
        for (int32_t i = 1; i <= m; ++i) sv.t(i, j) = sv.t(i, j) / s;
    }
    return true;
}

void setup_master(State& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    dv.NROWM = static_cast<int16_t>(pb.NSUB + pb.NCROW - 1);
    for (int32_t i = 1; i <= dv.NROWM; ++i) dv.tm(i, 1) = 0.0;
    dv.ICOLM[1] = 0;
    dv.IROWM[1] = 0;
    dv.IROWMS[1] = 0;
    for (int32_t i = 2; i <= pb.NSUB + 1; ++i) {
        dv.tm(i, 1) = 1.0;
        dv.IROWM[i] = -(lbl::CONV + (i - 1));
    }
    for (int32_t i = pb.NSUB + 2; i <= dv.NROWM; ++i) {
        dv.tm(i, 1) = sv.RHSC[i - pb.NSUB];
        dv.IROWM[i] = 1 - i;
    }
    for (int32_t i = 2; i <= dv.NROWM; ++i) dv.IROWMS[i] = dv.IROWM[i];
    dv.NCOLM = 1;
    for (int32_t k = 0; k <= NPROB; ++k) sv.PIC[k] = 0.0;
    for (int32_t i = 0; i <= LDC; ++i) sv.PIM[i] = 0.0;
    if (sv.DMPSW != 0) {
        ds.pnt.write(fmt::lines::initial_tableau(), {mark::ALL_PROBLEMS});
        dump_master(ds);
    }
}

bool increment_place(int16_t c, int16_t r, int32_t m, int32_t n, int32_t& row, int32_t& col) {
    col = c == 0 ? 1 : (c < lbl::ZO ? c + 1 : c - lbl::ZO + 1);
    row = r == 0 ? 1 : (-r < lbl::EQ ? 1 - r : -r - lbl::EQ + 1);
    return col >= 1 && col <= n && row >= 1 && row <= m;
}

}  // namespace kav::solver
