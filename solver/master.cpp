// Master program simplex (MASTER) and its exchange step (PIVOTM).
//
// TM holds the master in the tableau form of the kernel: row 1 the
// objective (reduced costs, negative = improving; TM(1,1) the objective
// divided by OBJSCL), column 1 the values of the basic variables, rows
// 2..NSUB+1 the convexity rows, the rest the common-resource rows.

#include "master.hpp"

#include <cmath>
#include <vector>

#include "errcodes.hpp"
#include "family.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "marks.hpp"

namespace kav::solver {

namespace {

// Label -(5000 + K) of a flagged subproblem's convexity slack.
bool flagged_slack(const State& ds, int32_t label) {
    const Problem& pb = ds.pb;
    if (label >= -lbl::CONV) return false;
    int32_t k = -lbl::CONV - label;
    return k >= 1 && k <= pb.NSUB && pb.KFLAG[k] == 1;
}

void write_rows(State& ds) {
    MasterState& dv = ds.dv;
    std::vector<int32_t> labels(dv.ICOLM + 1, dv.ICOLM + 1 + dv.NCOLM);
    ds.pnt.write(fmt::lines::status_line(), fmt::ints(labels));
    std::vector<double> row(dv.NCOLM);
    for (int32_t i = 1; i <= dv.NROWM; ++i) {
        for (int32_t j = 1; j <= dv.NCOLM; ++j) row[j - 1] = dv.tm(i, j);
        ds.pnt.write(fmt::lines::values8(), fmt::reals(row));
        ds.pnt.write(fmt::lines::row_label(), {dv.IROWM[i]});
    }
}

void iteration_dump(State& ds) {
    ds.pnt.write(fmt::lines::iteration_no(), {mark::ALL_PROBLEMS, ds.dv.NITMC});
    write_rows(ds);
}

// The failure block: code 5 and a diagnostic of the step that gave up.
void fail(State& ds, float no_dual, float no_primal) {
    MasterState& dv = ds.dv;
    ds.sv.IERR = err::SIMPLEX_FAIL;
    ds.pnt.write(fmt::lines::status_line(), {dv.MC, dv.MR, dv.NROWM, dv.NCOLM});
    ds.pnt.write(fmt::lines::values8(), {static_cast<double>(no_dual), static_cast<double>(no_primal)});
    iteration_dump(ds);
}

// Dual step: pivot row with the most negative value, column by the ratio
// test.  Returns 0 = no negative value, 1 = pivot chosen (MR, MC),
// 2 = a negative value but no column.
int dual_choice(State& ds) {
    MasterState& dv = ds.dv;
    const double tol = ds.sv.TOLELM;
    int32_t r = 0;
    double vmin = -tol;
    for (int32_t i = 2; i <= dv.NROWM; ++i) {
        double v = dv.tm(i, 1);
        if (v < -tol && (r == 0 || v < vmin)) {
            r = i;
            vmin = v;
        }
    }
    if (r == 0) return 0;
    int32_t c = 0;
    double best = 0.0;
    for (int32_t j = 2; j <= dv.NCOLM; ++j) {
        double d = dv.tm(1, j);
        double a = dv.tm(r, j);
        if (d < -tol || a >= -tol) continue;
        double ratio = std::fabs(d + tol) / std::fabs(a);
        if (c == 0 || ratio < best || (ratio == best && a > dv.tm(r, c))) {
            c = j;
            best = ratio;
        }
    }
    if (c == 0) return 2;
    dv.MR = static_cast<int16_t>(r);
    dv.MC = static_cast<int16_t>(c);
    return 1;
}

bool negative_value_left(const State& ds) {
    const MasterState& dv = ds.dv;
    for (int32_t i = 2; i <= dv.NROWM; ++i)
        if (dv.tm(i, 1) < -ds.sv.TOLELM) return true;
    return false;
}

void count_pivot(State& ds) {
    pivotm(ds);
    ds.dv.NITMAS += 1;
    ds.dv.NITMC += 1;
    if (ds.sv.DMPSW != 0) iteration_dump(ds);
}

// End of the first phase: pivot the flagged convexity slacks out and
// rebuild the objective row from the saved one.  Returns false with IERR
// set when the phase cannot be closed.
bool close_first_phase(State& ds, int16_t& mmode) {
    const Problem& pb = ds.pb;
    MasterState& dv = ds.dv;
    SolverState& sv = ds.sv;
    const double tol = sv.TOLELM;
    if (std::fabs(dv.tm(1, 1)) > tol) {
        sv.IERR = err::SIMPLEX_FAIL;
        return false;
    }
    mmode = MASTER_PHASE2;
    for (int32_t i = 2; i <= dv.NROWM; ++i) {
        int32_t lab = dv.IROWM[i];
        if (lab >= -lbl::CONV) continue;
        int32_t k = -lbl::CONV - lab;
        if (!(k > pb.NSUB || (k >= 1 && pb.KFLAG[k] != 0))) continue;
        if (std::fabs(dv.tm(i, 1)) > tol) {
            dv.MBADROW = static_cast<int16_t>(i);  // CYCLE names its label
            ds.pnt.write(ds.pf.banner(), {mark::ARTIFICIAL_STAYS});
            sv.IERR = err::NO_MASTER_PLACE;
            return false;
        }
        dv.tm(i, 1) = 0.0;
        int32_t cneg = 0, cpos = 0;
        double best = 0.0, big = 0.0;
        for (int32_t j = 2; j <= dv.NCOLM; ++j) {
            double a = dv.tm(i, j);
            if (std::fabs(a) <= tol || flagged_slack(ds, dv.ICOLM[j])) continue;
            if (a < 0.0) {
                double d = dv.tm(1, j);
                if (d < -tol) continue;
                double ratio = std::fabs(d + tol) / std::fabs(a);
                if (cneg == 0 || ratio <= best) {
                    cneg = j;
                    best = ratio;
                }
            } else if (cpos == 0 || a > big) {
                cpos = j;
                big = a;
            }
        }
        int32_t c = cneg != 0 ? cneg : cpos;
        if (c != 0) {
            dv.MR = static_cast<int16_t>(i);
            dv.MC = static_cast<int16_t>(c);
            pivotm(ds);
        } else {
            for (int32_t j = 1; j <= dv.NCOLM; ++j) dv.tm(i, j) = 0.0;
        }
    }
    // Objective row from the saved costs, re-expressed in the current basis.
    // The saved row may already be in a later basis (a master that was not
    // reset since its last solve): its value TM(1,1) is then the objective
    // of that basis and the start of the rebuilt value, not 0.
    for (int32_t j = 1; j <= dv.NCOLM; ++j) dv.tm(1, j) = 0.0;
    dv.tm(1, 1) = dv.SVCOST[1];
    for (int32_t s = 2; s <= dv.NCOLM; ++s) {
        for (int32_t j = 2; j <= dv.NCOLM; ++j) {
            if (dv.ICOLM[j] == dv.SVLAB[s]) {
                dv.tm(1, j) = dv.SVCOST[s];
                break;
            }
        }
    }
    for (int32_t s = 2; s <= dv.NCOLM; ++s) {
        for (int32_t i = 2; i <= dv.NROWM; ++i) {
            if (dv.IROWM[i] == dv.SVLAB[s]) {
                double cost = dv.SVCOST[s];
                for (int32_t j = 1; j <= dv.NCOLM; ++j) dv.tm(1, j) = dv.tm(1, j) - dv.tm(i, j) * cost;
                break;
            }
        }
    }
    if (sv.DMPSW != 0) iteration_dump(ds);
    return true;
}

// Weights, convexity prices and resource prices of the optimal master.
bool extract(State& ds) {
    const Problem& pb = ds.pb;
    MasterState& dv = ds.dv;
    SolverState& sv = ds.sv;
    for (int32_t k = 1; k <= pb.NSUB; ++k) {
        sv.PIC[k] = 0.0;
        for (int32_t n = 1; n <= NSLOT; ++n) sv.LAMBDA[k][n] = 0.0;
    }
    for (int32_t i = 0; i <= LDC; ++i) sv.PIM[i] = 0.0;
    for (int32_t i = 2; i <= dv.NROWM; ++i) {
        int32_t lab = dv.IROWM[i];
        if (lab <= 0) continue;
        int32_t k = 0;
        for (int32_t kk = 1; kk <= pb.NSUB; ++kk) {
            if (lab - lbl::PROP * kk < lbl::PROP) {
                k = kk;
                break;
            }
        }
        int32_t n = lab - lbl::PROP * k;
        if (k == 0 || n < 1 || n > NSLOT) {
            dv.MBADROW = static_cast<int16_t>(i);
            sv.IERR = err::NO_MASTER_PLACE;
            return false;
        }
        double w = dv.tm(i, 1);
        if (std::fabs(w) <= sv.TOLPIV) w = 0.0;
        else if (std::fabs(w - 1.0) <= sv.TOLPIV) w = 1.0;
        sv.LAMBDA[k][n] = w;
    }
    for (int32_t j = 2; j <= dv.NCOLM; ++j) {
        int32_t lab = dv.ICOLM[j];
        if (lab > 0) continue;
        int32_t row = lab < -lbl::CONV ? -lbl::CONV - lab : -lab;
        if (row >= 1 && row <= pb.NSUB) {
            sv.PIC[row] = dv.tm(1, j);
        } else {
            int32_t r = row - pb.NSUB + 1;
            if (r >= 1 && r <= LDC) sv.PIM[r] = dv.tm(1, j);
        }
    }
    return true;
}

void print_solution(State& ds) {
    const Problem& pb = ds.pb;
    MasterState& dv = ds.dv;
    SolverState& sv = ds.sv;
    ds.pnt.write(fmt::lines::optimal(), {mark::ALL_PROBLEMS});
    ds.pnt.write(fmt::lines::objective(), {dv.OBJL[sv.LEVEL], dv.NITMC});
    ds.pnt.write(fmt::lines::structural(), {});
    ds.pnt.write(fmt::lines::index_list(), fmt::count_list(1, dv.NCOLM + dv.NROWM - 2));
    for (int32_t k = 1; k <= pb.NSUB; ++k) {
        int32_t np = sv.NPROP[k] < 0 ? 0 : (sv.NPROP[k] > NSLOT ? NSLOT : sv.NPROP[k]);
        ds.pnt.write(fmt::lines::value_list(), fmt::reals(std::span<const double>(&sv.LAMBDA[k][1], np)));
    }
    ds.pnt.write(fmt::lines::value_list(), fmt::reals(std::span<const double>(&sv.PIC[1], pb.NSUB)));
    int32_t nres = pb.NCROW - 2;
    if (nres < 0) nres = 0;
    ds.pnt.write(fmt::lines::value_list(), fmt::reals(std::span<const double>(&sv.PIM[2], nres)));
}

}  // namespace

void pivotm(State& ds) {
    MasterState& dv = ds.dv;
    const int32_t r = dv.MR, c = dv.MC, m = dv.NROWM, n = dv.NCOLM;
    const double p = dv.tm(r, c);
    for (int32_t j = 1; j <= n; ++j) {
        if (j == c) continue;
        double a = dv.tm(r, j);
        if (a == 0.0) continue;
        for (int32_t i = 1; i <= m; ++i) {
            if (i == r) continue;
            double b = dv.tm(i, c);
            if (b == 0.0) continue;
            dv.tm(i, j) = dv.tm(i, j) - (a * b) / p;
        }
    }
    for (int32_t j = 1; j <= n; ++j) dv.tm(r, j) = dv.tm(r, j) / p;
    int32_t lab = dv.IROWM[r];
    dv.IROWM[r] = dv.ICOLM[c];
    dv.ICOLM[c] = lab;
    for (int32_t i = 1; i <= m; ++i) dv.tm(i, c) = -dv.tm(i, c) / p;
    dv.tm(r, c) = 1.0 / p;
    dv.PIVM = p;
}

void dump_master(State& ds) { write_rows(ds); }

void master(State& ds, int16_t& mmode) {
    const Problem& pb = ds.pb;
    MasterState& dv = ds.dv;
    SolverState& sv = ds.sv;
    const double tol = sv.TOLELM;

    if (mmode == MASTER_PHASE1) {
        for (int32_t j = 1; j <= dv.NCOLM; ++j) {
            dv.SVCOST[j] = dv.tm(1, j);
            dv.SVLAB[j] = dv.ICOLM[j];
            dv.tm(1, j) = 0.0;
        }
        for (int32_t k = 1; k <= pb.NSUB; ++k) {
            if (pb.KFLAG[k] != 1) continue;
            for (int32_t i = 2; i <= dv.NROWM; ++i) {
                if (dv.IROWM[i] != -lbl::CONV - k) continue;
                for (int32_t j = 1; j <= dv.NCOLM; ++j) dv.tm(1, j) = dv.tm(1, j) - dv.tm(i, j);
            }
        }
    }
    dv.NITMC = 0;
    sv.IERR = 0;

    for (;;) {
        if (dv.NITMC >= MASTER_PIVOT_CAP) {
            // A cycling master would never end: give up like an infeasible one.
            ds.pnt.write(ds.pf.banner(), {mark::LIMIT});
            sv.IERR = err::SIMPLEX_FAIL;
            return;
        }
        // Dual step.
        int d = dual_choice(ds);
        if (d == 1) {
            count_pivot(ds);
            continue;
        }
        // Primal step.
        int32_t c = 0;
        double dmin = -tol;
        for (int32_t j = 2; j <= dv.NCOLM; ++j) {
            double v = dv.tm(1, j);
            if (v >= -tol) continue;
            if (mmode == MASTER_PHASE2 && flagged_slack(ds, dv.ICOLM[j])) continue;
            if (c == 0 || v < dmin) {
                c = j;
                dmin = v;
            }
        }
        if (c == 0) {
            if (negative_value_left(ds)) {
                // The dual step once more; without a pivot the master is infeasible.
                if (dual_choice(ds) == 1) {
                    count_pivot(ds);
                    continue;
                }
                fail(ds, 1.0f, 1.0f);
                return;
            }
            if (mmode == MASTER_PHASE1) {
                if (!close_first_phase(ds, mmode)) return;
                continue;
            }
            break;  // optimal
        }
        int32_t r = 0;
        double best = 0.0;
        for (int32_t i = 2; i <= dv.NROWM; ++i) {
            double v = dv.tm(i, 1);
            double a = dv.tm(i, c);
            if (v < -tol || a <= tol) continue;
            double ratio = std::fabs(v / a);
            if (r == 0 || ratio < best || (ratio == best && a > dv.tm(r, c))) {
                r = i;
                best = ratio;
            }
        }
        if (r == 0) {
            dv.MC = static_cast<int16_t>(c);
            fail(ds, d == 2 ? 1.0f : 0.0f, 1.0f);
            return;
        }
        dv.MR = static_cast<int16_t>(r);
        dv.MC = static_cast<int16_t>(c);
        count_pivot(ds);
    }

    if (!extract(ds)) return;
    dv.OBJL[sv.LEVEL] = dv.tm(1, 1) * sv.OBJSCL;
    if (sv.PRTSW == 1) print_solution(ds);
}

}  // namespace kav::solver
