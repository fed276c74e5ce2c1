// The pieces of one decomposition pass that every program running the
// decomposition shares: the proposal test, the master column of a proposal
// and the rule that keeps it, the combined solution and the incumbent.
//
// A proposal's objective PROPZ is its reduced value: SIMPLX has already
// deducted the master prices of the common resources.  The master column
// must carry the proposal's own objective, because the transformation into
// the current basis adds the prices once more; so the column's cost is
// (PROPZ + Q) / OBJSCL with Q the deduction that went into PROPZ.
#include "pass.hpp"

#include <cmath>
#include <span>
#include <vector>

#include "errcodes.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "marks.hpp"

namespace kav::solver {

double price_deduction(State& ds, int k, int n) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    const int32_t nck = pb.NCK[k];
    const int32_t nz = pb.NZK[k];
    const double* px = sv.PROPX[k][n];
    // Did the 0-Z tail form this proposal?  It runs when every 0-Z value is
    // 0 or 1 and some is 1, on problems of the first kind.
    bool tail = false;
    if (pb.first_kind(k)) {
        bool all01 = true, one = false;
        for (int32_t v = 1; v <= nz; ++v) {
            if (px[v] == 1.0) one = true;
            else if (px[v] != 0.0) all01 = false;
        }
        tail = all01 && one;
    }
    if (tail) {
        // The tail deducts PS(v) for every leg it followed.  A leg keeps its
        // value 1 in the proposal and is consumed (ZVAL 0); a chosen variable
        // the tail did not follow either lost its 1 (after a chain) or is
        // still unconsumed (a single closing leg leaves the others as they
        // were), and carries no deduction.
        double q = 0.0;
        for (int32_t v = 1; v <= nz && v <= MAXNZ; ++v)
            if (px[v] == 1.0 && sv.ZVAL[v] == 0.0) q = q + sv.PS[v];
        if (pb.PRSW == 1 && nck >= 3) {
            float tt = static_cast<float>(px[nck - 2]);
            if (tt > 0.01f) q = q / tt;
        }
        return q;
    }
    if (sv.NPROP[k] == 0) return 0.0;
    // SIMPLX's cost of column j carries P(j) = OBJSCL * sum ACPL(i,j) PIM(i)
    // (times S when PRSW = 1); the objective deducts P(j) x_j.
    const double xw = px[nck - 1];
    double q = 0.0;
    for (int32_t j = 2; j <= nck - 1; ++j) {
        double s = 0.0;
        for (int32_t i = 2; i <= pb.NCROW - 1; ++i) s = s + sv.acpl(i, j) * sv.PIM[i];
        double pj = sv.OBJSCL * s;
        if (pb.PRSW == 1) pj = pj * sv.SFAC;
        q = q + pj * (px[j - 1] * xw);
    }
    return q;
}

namespace {

void print_solution(State& ds, std::span<const double> x) {
    MasterState& dv = ds.dv;
    ds.pnt.write(fmt::lines::objective(), {dv.OBJL[ds.sv.LEVEL], dv.NITMC});
    ds.pnt.write(fmt::lines::structural(), {});
    ds.pnt.write(fmt::lines::index_list(), fmt::count_list(1, dv.NVRES));
    ds.pnt.write(fmt::lines::value_list(), fmt::reals(x));
}

// The current values XCUR(LEVEL, .) as a contiguous list.
std::vector<double> current_values(State& ds) {
    MasterState& dv = ds.dv;
    std::vector<double> x(dv.NVRES > 0 ? dv.NVRES : 0);
    for (int32_t i = 1; i <= dv.NVRES; ++i) x[i - 1] = dv.xcur(ds.sv.LEVEL, i);
    return x;
}

}  // namespace

bool add_column(State& ds, int32_t k, int32_t n, double own) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    const int32_t c = dv.NCOLM + 1;
    const int32_t nrow = dv.NROWM;
    for (int32_t i = 1; i <= nrow; ++i) dv.tm(i, c) = 0.0;
    const double cost = own / sv.OBJSCL;
    dv.ICOLM[c] = lbl::PROP * k + n;
    for (int32_t i = 1; i <= nrow; ++i) dv.YCOL[i] = 0.0;

    // Entries: the cost (row 1), the common-resource rows, the convexity row.
    auto place = [&](int32_t lab, double value) -> bool {
        for (int32_t j = 1; j <= c; ++j) {
            if (dv.ICOLM[j] <= 0 && dv.ICOLM[j] == lab) {
                if (j == 1 && lab == 0) {
                    dv.YCOL[1] = dv.YCOL[1] - value;  // the cost, in column 1
                } else {
                    for (int32_t i = 1; i <= nrow; ++i) dv.YCOL[i] = dv.YCOL[i] + value * dv.tm(i, j);
                }
                return true;
            }
        }
        for (int32_t i = 2; i <= nrow; ++i) {
            if (dv.IROWM[i] < 0 && dv.IROWM[i] == lab) {
                dv.YCOL[i] = dv.YCOL[i] + value;
                return true;
            }
        }
        return false;
    };
    bool ok = true;
    if (cost != 0.0) ok = place(dv.IROWMS[1], cost);
    for (int32_t i = pb.NSUB + 2; ok && i <= nrow; ++i) {
        const int32_t r = i - pb.NSUB;
        double v = 0.0;
        for (int32_t j = 2; j <= pb.NCK[k] - 1; ++j) v = v + sv.acpl(r, j) * sv.PROPX[k][n][j - 1];
        if (v != 0.0) ok = place(dv.IROWMS[i], v);
    }
    if (ok) ok = place(dv.IROWMS[k + 1], 1.0);
    if (!ok) {
        sv.IERR = err::NO_MASTER_PLACE;
        sv.KCUR = mark::ALL_PROBLEMS;
        if (ds.pf.unplaced_entry_line)
            ds.pnt.write(fmt::lines::not_in_master(), {mark::ALL_PROBLEMS, lbl::PROP * k + n});
        return false;
    }
    for (int32_t i = 1; i <= nrow; ++i) dv.tm(i, c) = dv.tm(i, c) + dv.YCOL[i];
    return true;
}

bool proposal_enters(const State& ds, int32_t k, int32_t n) {
    const SolverState& sv = ds.sv;
    return sv.PIC[k] == 0.0 || sv.TOLELM + sv.PIC[k] < sv.PROPZ[k][n] / sv.OBJSCL;
}

bool retain_column(State& ds, int32_t k, int32_t n) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    const int32_t c = dv.NCOLM + 1;
    if (!(dv.tm(1, c) < -sv.TOLELM || n == 1 || pb.KFLAG[k] == 1)) return false;
    dv.NCOLM = static_cast<int16_t>(c);
    sv.NPROP[k] = static_cast<int16_t>(n);
    return true;
}

bool combine(State& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    int32_t nvres = 0;
    for (int32_t k = 1; k <= pb.NSUB; ++k) nvres += pb.NCK[k] - 2;
    dv.NVRES = static_cast<int16_t>(nvres);
    bool integral = true;
    int32_t pos = 0;
    for (int32_t k = 1; k <= pb.NSUB; ++k) {
        const int32_t nv = pb.NCK[k] - 2;
        for (int32_t j = 1; j <= nv; ++j) {
            double x = 0.0;
            for (int32_t n = 1; n <= sv.NPROP[k]; ++n) x = x + sv.LAMBDA[k][n] * sv.PROPX[k][n][j];
            if (j <= pb.NZK[k]) {
                if (std::fabs(x) < sv.TOLPIV) x = 0.0;
                else if (std::fabs(x - 1.0) < sv.TOLPIV) x = 1.0;
                if (x != 0.0 && x != 1.0) integral = false;
            }
            dv.xcur(l, pos + j) = x;
        }
        pos += nv;
    }
    return integral;
}

bool take_incumbent(State& ds) {
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    if (!(dv.OBJL[l] > dv.BESTL[l])) return false;
    dv.BESTL[l] = dv.OBJL[l];
    sv.RESV[l] = dv.OBJL[l];
    for (int32_t i = 1; i <= dv.NVRES; ++i) dv.xres(l, i) = dv.xcur(l, i);
    if (sv.PRTSW == 1) {
        ds.pnt.write(fmt::lines::best_mixed(), {static_cast<int16_t>(l - 1)});
        std::vector<double> x = current_values(ds);
        print_solution(ds, x);
    }
    return true;
}

void print_continuous(State& ds) {
    ds.pnt.write(fmt::lines::continuous_complete(), {});
    std::vector<double> x = current_values(ds);
    print_solution(ds, x);
}

}  // namespace kav::solver
