// CYCLE: the decomposition of one node.
//
// Each pass solves every live subproblem with the current master prices,
// turns a profitable solution into a master column, re-solves the master
// and recomputes the combined solution, until no subproblem proposes.
//
// A proposal's objective PROPZ is its reduced value: SIMPLX has already
// deducted the master prices of the common resources.  The master column
// must carry the proposal's own objective, because the transformation into
// the current basis adds the prices once more; so the column's cost is
// (PROPZ + Q) / OBJSCL with Q the deduction that went into PROPZ.

#include "cycle.hpp"

#include <cmath>
#include <span>

#include "dlines.hpp"
#include "master.hpp"
#include "simplx.hpp"
#include "state.hpp"
#include "store.hpp"

namespace kav::decomp {

StoreWork store_view(DecompState& ds, int k) {
    SolverState& sv = ds.sv;
    sv.NCPLR = sv.NCROW;
    sv.NCPLC = (k >= 1 && k <= NPROB) ? sv.NCK[k] : 0;
    StoreWork w;
    w.t = &sv.T[LDT + 1];
    w.ldt = LDT;
    w.m = &sv.M;
    w.n = &sv.N;
    w.irow = &sv.IROW[1];
    w.rnorm = &sv.RNORM[1];
    w.icol = &sv.ICOL[1];
    w.cnorm = &sv.CNORM[1];
    w.icolsv = &sv.ICOLSV[1];
    w.nsv = &sv.NSV;
    w.npiv = &sv.NPIV;
    w.cpl = sv.ACPL;
    w.ldc = LDC;
    w.cplrows = &sv.NCPLR;
    w.cplcols = &sv.NCPLC;
    return w;
}

double price_deduction(DecompState& ds, int k, int n) {
    SolverState& sv = ds.sv;
    const int32_t nck = sv.NCK[k];
    const int32_t nz = sv.NZK[k];
    const double* px = sv.PROPX[k][n];
    // Did the 0-Z tail form this proposal?  It runs when every 0-Z value is
    // 0 or 1 and some is 1, on problems of the first kind.
    bool tail = false;
    if (sv.KCODE[k] <= 500) {
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
        if (sv.PRSW == 1 && nck >= 3) {
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
        for (int32_t i = 2; i <= sv.NCROW - 1; ++i) s = s + sv.acpl(i, j) * sv.PIM[i];
        double pj = sv.OBJSCL * s;
        if (sv.PRSW == 1) pj = pj * sv.SFAC;
        q = q + pj * (px[j - 1] * xw);
    }
    return q;
}

namespace {

void print_solution(DecompState& ds, std::span<const double> x) {
    DriverState& dv = ds.dv;
    ds.pnt.write(dl::objective(), {dv.OBJL[ds.sv.LEVEL], dv.NITMC});
    ds.pnt.write(dl::structural(), {});
    ds.pnt.write(dl::index_list(), dl::count_list(1, dv.NVRES));
    ds.pnt.write(dl::value_list(), dl::reals(x));
}

// The current values XCUR(LEVEL, .) as a contiguous list.
std::vector<double> current_values(DecompState& ds) {
    DriverState& dv = ds.dv;
    std::vector<double> x(dv.NVRES > 0 ? dv.NVRES : 0);
    for (int32_t i = 1; i <= dv.NVRES; ++i) x[i - 1] = dv.xcur(ds.sv.LEVEL, i);
    return x;
}

void dump_work_tableau(DecompState& ds, int32_t k) {
    SolverState& sv = ds.sv;
    ds.pnt.write(dl::tableau_read(), {static_cast<int16_t>(k)});
    ds.pnt.write(fmt::lines::status_line(), dl::ints(std::span<const int16_t>(&sv.ICOL[1], sv.N)));
    std::vector<double> row(sv.N);
    for (int32_t i = 1; i <= sv.M; ++i) {
        for (int32_t j = 1; j <= sv.N; ++j) row[j - 1] = sv.t(i, j);
        ds.pnt.write(dl::values8(), dl::reals(row));
        ds.pnt.write(dl::row_label(), {sv.IROW[i]});
    }
}

}  // namespace

bool add_column(DecompState& ds, int32_t k, int32_t n, double own) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t c = dv.NCOLM + 1;
    const int32_t nrow = dv.NROWM;
    for (int32_t i = 1; i <= nrow; ++i) dv.tm(i, c) = 0.0;
    const double cost = own / sv.OBJSCL;
    dv.ICOLM[c] = 1000 * k + n;
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
    for (int32_t i = sv.NSUB + 2; ok && i <= nrow; ++i) {
        const int32_t r = i - sv.NSUB;
        double v = 0.0;
        for (int32_t j = 2; j <= sv.NCK[k] - 1; ++j) v = v + sv.acpl(r, j) * sv.PROPX[k][n][j - 1];
        if (v != 0.0) ok = place(dv.IROWMS[i], v);
    }
    if (ok) ok = place(dv.IROWMS[k + 1], 1.0);
    if (!ok) {
        sv.IERR = 4;
        sv.KCUR = 777;
        if (!sv.MPIRUN) ds.pnt.write(dl::not_in_master(), {int16_t{777}, 1000 * k + n});
        return false;
    }
    for (int32_t i = 1; i <= nrow; ++i) dv.tm(i, c) = dv.tm(i, c) + dv.YCOL[i];
    return true;
}


void cycle(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    dv.SMODE = 1;
    dv.INTFL[l] = 0;
    dv.MMODE = 2;
    for (int32_t k = 1; k <= sv.NSUB; ++k)
        if (sv.KFLAG[k] == 1) dv.MMODE = 1;
    dv.RCODE = RC_DONE;

    for (;;) {
        bool entered = false;
        for (int32_t k = 1; k <= sv.NSUB; ++k) dv.ENTD[k] = 0.0f;
        for (int32_t k = 1; k <= sv.NSUB; ++k) {
            if (sv.NPROP[k] == NSLOT) continue;
            sv.KCUR = static_cast<int16_t>(k);
            sv.IERR = 0;
            StoreWork w = store_view(ds, k);
            sv.STMODE = dv.SMODE == 1 ? 1 : 2;
            sv.IERR = unpktb(sv.store, w, sv.STMODE, static_cast<int16_t>(k), ds.pnt);
            sv.STMODE = 0;
            if (sv.IERR != 0) {
                dv.RCODE = RC_ERROR;
                return;
            }
            if (sv.DMPSW != 0) dump_work_tableau(ds, k);
            simplx(ds, dv.SMODE);
            if (sv.IERR == 5) {
                dv.RCODE = RC_ERROR;
                return;
            }
            if (sv.IERR == 6) {
                ds.pnt.write(dl::not_in_icolsv(), {static_cast<int16_t>(k), sv.LBLBAD});
                dv.RCODE = RC_STOP;
                return;
            }
            if (sv.IERR == 7) {
                dv.RCODE = RC_INFEASIBLE;
                return;
            }
            sv.KCUR = static_cast<int16_t>(k);
            sv.IERR = 0;
            w = store_view(ds, k);
            sv.IERR = packtb(sv.store, w, 2, static_cast<int16_t>(k), ds.pnt);
            sv.STMODE = 0;
            if (sv.IERR != 0) {
                dv.RCODE = RC_ERROR;
                return;
            }
            if (sv.IREJ == 1) {
                sv.IREJ = 0;
                continue;
            }
            const int32_t n = sv.NPROP[k] + 1;
            if (!proposal_enters(ds, k, n)) continue;
            if (dv.NCOLM + 1 > TMCOLS) continue;  // cannot happen: 7 columns per subproblem
            if (!add_column(ds, k, n, sv.PROPZ[k][n] + price_deduction(ds, k, n))) {
                dv.RCODE = RC_STOP;
                return;
            }
            if (retain_column(ds, k, n)) {
                dv.ENTD[k] = 1.0f;
                entered = true;
            }
        }
        if (!entered) {
            if (sv.PRTSW == 1) print_continuous(ds);
            dv.RCODE = RC_DONE;
            return;
        }

        master(ds, dv.MMODE);
        if (sv.IERR == 4) {
            int32_t r = dv.MBADROW;
            int32_t lab = (r >= 1 && r <= dv.NROWM) ? dv.IROWM[r] : 0;
            ds.pnt.write(dl::master_variable(), {lab});
            ds.pnt.write(fmt::lines::status_line(), dl::ints(std::span<const int32_t>(&dv.ICOLM[1], dv.NCOLM)));
            dv.RCODE = RC_STOP;
            return;
        }
        if (sv.IERR == 5) {
            dv.RCODE = RC_INFEASIBLE;
            return;
        }

        dv.SMODE = 2;
        if (!combine(ds)) {
            dv.INTFL[l] = 0;
            continue;
        }
        dv.INTFL[l] = 1;
        take_incumbent(ds);
    }
}

bool proposal_enters(const DecompState& ds, int32_t k, int32_t n) {
    const SolverState& sv = ds.sv;
    return sv.PIC[k] == 0.0 || sv.TOLELM + sv.PIC[k] < sv.PROPZ[k][n] / sv.OBJSCL;
}

bool retain_column(DecompState& ds, int32_t k, int32_t n) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t c = dv.NCOLM + 1;
    if (!(dv.tm(1, c) < -sv.TOLELM || n == 1 || sv.KFLAG[k] == 1)) return false;
    dv.NCOLM = static_cast<int16_t>(c);
    sv.NPROP[k] = static_cast<int16_t>(n);
    return true;
}

bool combine(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    int32_t nvres = 0;
    for (int32_t k = 1; k <= sv.NSUB; ++k) nvres += sv.NCK[k] - 2;
    dv.NVRES = static_cast<int16_t>(nvres);
    bool integral = true;
    int32_t pos = 0;
    for (int32_t k = 1; k <= sv.NSUB; ++k) {
        const int32_t nv = sv.NCK[k] - 2;
        for (int32_t j = 1; j <= nv; ++j) {
            double x = 0.0;
            for (int32_t n = 1; n <= sv.NPROP[k]; ++n) x = x + sv.LAMBDA[k][n] * sv.PROPX[k][n][j];
            if (j <= sv.NZK[k]) {
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

bool take_incumbent(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    if (!(dv.OBJL[l] > dv.BESTL[l])) return false;
    dv.BESTL[l] = dv.OBJL[l];
    sv.RESV[l] = dv.OBJL[l];
    for (int32_t i = 1; i <= dv.NVRES; ++i) dv.xres(l, i) = dv.xcur(l, i);
    if (sv.PRTSW == 1) {
        ds.pnt.write(dl::best_mixed(), {static_cast<int16_t>(l - 1)});
        std::vector<double> x = current_values(ds);
        print_solution(ds, x);
    }
    return true;
}

void print_continuous(DecompState& ds) {
    ds.pnt.write(dl::continuous_complete(), {});
    std::vector<double> x = current_values(ds);
    print_solution(ds, x);
}

}  // namespace kav::decomp
