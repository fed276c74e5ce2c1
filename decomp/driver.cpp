// DECOMP: the solver proper of the decomposition build.
//
// Every sensitivity level is a pass of its own: the hand-off files are
// opened and read from their start, each subproblem tableau is rebuilt,
// changed by the level's increments, scaled and put into the tableau store,
// the master is built from the convexity rows and the common resources, and
// the search runs.  Between levels the files are closed and the driver
// waits 500 ms.  Every way out ends in the final output, which writes the
// results behind the flag word of PAR5.DAT.
//
// Every count read from the hand-off files is checked against the capacity
// it fills before anything is stored: PAR1/PAR2 problems give 120, PAR3
// problems 130, packed-matrix data 140.

#include "driver.hpp"

#include <cmath>
#include <cstring>

#include "branch.hpp"
#include "cycle.hpp"
#include "dlines.hpp"
#include "master.hpp"
#include "packed.hpp"
#include "results.hpp"
#include "select.hpp"
#include "state.hpp"
#include "store.hpp"

namespace kav::decomp {

namespace {

// How a step of the driver ends.
enum class Flow {
    go,          // carry on
    level_end,   // the search of the level is over
    final_out,   // straight to the final output
    error_exit,  // banner 7 a hundred times, error line with the subproblem
    error_line,  // error line with 777
};

// Sequential reader that remembers the first failure.
struct Reader {
    BinUnit& u;
    bool bad = false;
    template <class T>
    T get() {
        T v{};
        if (!bad && u.get(v) != 0) bad = true;
        return v;
    }
};

int16_t levels(const SolverState& sv) {
    int32_t l = sv.NLEVEL + 1;
    return static_cast<int16_t>(l < 1 ? 1 : (l > NLEV ? NLEV : l));
}

void status(DecompState& ds, std::initializer_list<fmt::Item> items) {
    ds.pnt.write(fmt::lines::status_line(), items);
}

void close_units(DriverState& dv) {
    BinUnit* u[] = {&dv.par1, &dv.par2, &dv.par3, &dv.par5, &dv.tab0, &dv.tab,
                    &dv.itab0, &dv.itab, &dv.tab20, &dv.tab2, &dv.itab20, &dv.itab2};
    for (BinUnit* x : u) x->close();
}

// Opens a unit on a file of the data directory (the hand-off files only for
// reading); a failure prints its status and stores `code`.
bool open_unit(DecompState& ds, BinUnit& u, const char* name, int16_t code,
               BinUnit::Access access = BinUnit::Access::update) {
    int st = u.open(data_path(name), BinUnit::Mode::sequential, access);
    if (st != 0) {
        status(ds, {static_cast<int32_t>(st)});
        ds.sv.IERR = code;
        return false;
    }
    return true;
}

// ---- PAR1.DAT ------------------------------------------------------------

Flow read_par1_header(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    Reader r{dv.par1};
    sv.NSUB = r.get<int16_t>();
    sv.NCRES = r.get<int16_t>();
    sv.NLEVEL = r.get<int16_t>();
    sv.NCROW = r.get<int16_t>();
    sv.NZOTOT = r.get<int16_t>();
    sv.PRSW = r.get<int16_t>();
    bool fits = sv.NSUB >= 1 && sv.NSUB <= NPROB && sv.NCRES >= 0 && sv.NCRES <= MAXCRES && sv.NLEVEL >= 0 &&
                sv.NLEVEL + 1 <= NLEV && sv.NCROW >= 2 && sv.NCROW <= LDC && sv.NZOTOT >= 0 &&
                sv.NZOTOT + 1 <= MAXZENT && sv.NSUB + sv.NCROW - 1 <= TMLD;
    if (r.bad || !fits) {
        if (!fits) {  // keep the final output inside the tables
            sv.NSUB = 0;
            sv.NLEVEL = 0;
        }
        sv.IERR = 120;
        return Flow::error_line;
    }
    Reader f{dv.par5};
    dv.PAR5FL = f.get<int16_t>();
    if (f.bad) {
        sv.IERR = 150;
        return Flow::error_line;
    }
    dv.PAR5RD = true;
    if (sv.PRTSW == 1) {
        ds.pnt.write(fmt::lines::banner5(), {int16_t{1}});
        ds.pnt.write(fmt::lines::input_header(), {sv.NSUB, sv.NLEVEL});
    }
    return Flow::go;
}

Flow read_par1_rest(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    Reader r{dv.par1};
    const int32_t nl = sv.NLEVEL + 1;
    for (int32_t k = 1; k <= sv.NSUB; ++k) {
        sv.NNZC[k] = r.get<int32_t>();
        sv.NZEROC[k] = r.get<int32_t>();
        sv.NIXBC[k] = r.get<int32_t>();
    }
    for (int32_t k = 1; k <= sv.NSUB; ++k)
        for (int32_t j = 1; j <= sv.NCRES; ++j) sv.IKR[k][j] = r.get<int16_t>();
    for (int32_t j = 1; j <= sv.NCRES; ++j)
        for (int32_t l = 1; l <= nl; ++l) {
            sv.IRL1[j][l] = r.get<int32_t>();
            sv.IRL2[j][l] = r.get<int32_t>();
            sv.IRL3[j][l] = r.get<int32_t>();
        }
    for (int32_t d = 1; d <= sv.NZOTOT + 1; ++d) {
        sv.ZPRB[d] = r.get<int16_t>();
        sv.ZLAB[d] = r.get<int16_t>();
        sv.IZA1[d] = r.get<int16_t>();
        sv.IZA2[d] = r.get<int16_t>();
        sv.IZA3[d] = r.get<int16_t>();
        sv.IZA4[d] = r.get<int16_t>();
        for (int32_t l = 1; l <= nl; ++l) {
            sv.ZOVD[d][l] = r.get<double>();
            sv.ZOVR[d][l] = r.get<float>();
        }
    }
    if (r.bad) {
        sv.IERR = 120;
        return Flow::error_line;
    }
    return Flow::go;
}

// ---- subproblem set-up ------------------------------------------------------

Flow read_par2(DecompState& ds, int32_t k) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    Reader r{dv.par2};
    for (int32_t j = 1; j <= sv.NCRES; ++j) {
        sv.RRK1[k][j] = r.get<float>();
        sv.RRK2[k][j] = r.get<float>();
        sv.RRK3[k][j] = r.get<float>();
        sv.RRK4[k][j] = r.get<float>();
    }
    for (int32_t j = 1; j <= sv.NCRES; ++j) {
        sv.IRK1[k][j] = r.get<int16_t>();
        sv.IRK2[k][j] = r.get<int16_t>();
        sv.IRK3[k][j] = r.get<int16_t>();
        sv.IRK4[k][j] = r.get<int16_t>();
        sv.IRK5[k][j] = r.get<int16_t>();
        sv.IRK6[k][j] = r.get<int16_t>();
    }
    // The 22-item problem record.
    sv.KR01[k] = r.get<int32_t>();
    sv.KR02[k] = r.get<int32_t>();
    sv.KR03[k] = r.get<int32_t>();
    sv.KCODE[k] = r.get<int16_t>();
    sv.KR05[k] = r.get<int16_t>();
    sv.KR06[k] = r.get<float>();
    sv.KR07[k] = r.get<int32_t>();
    sv.KR08[k] = r.get<int32_t>();
    sv.KR09[k] = r.get<int32_t>();
    const int16_t m = r.get<int16_t>();
    const int16_t n = r.get<int16_t>();
    const int16_t nz = r.get<int16_t>();
    sv.NNZK[k] = r.get<int32_t>();
    sv.NZEROK[k] = r.get<int32_t>();
    sv.NIXBK[k] = r.get<int32_t>();
    sv.KR16[k] = r.get<int32_t>();
    sv.KR17[k] = r.get<int16_t>();
    sv.KR18[k] = r.get<int16_t>();
    sv.KR19[k] = r.get<int16_t>();
    sv.KR20[k] = r.get<int16_t>();
    sv.KR21[k] = r.get<int16_t>();
    sv.KFLAG[k] = r.get<int16_t>();
    const int64_t cells = static_cast<int64_t>(m) * n;
    bool fits = m >= 2 && m <= MAXROW && n >= 2 && n <= MAXCOL && nz >= 0 && nz <= n - 2 && nz + 1 <= MAXNZ &&
                sv.NNZK[k] >= 0 && sv.NNZK[k] <= cells && sv.NZEROK[k] >= 0 && sv.NZEROK[k] <= cells &&
                sv.NIXBK[k] >= 0 && sv.NCROW <= m;
    int64_t nvres = dv.NVSUM + static_cast<int64_t>(n) - 2;
    if (r.bad || !fits || nvres > MAXVRES) {
        sv.IERR = 120;
        return Flow::error_line;
    }
    sv.NRK[k] = m;
    sv.NCK[k] = n;
    sv.NZK[k] = nz;
    sv.M = m;
    sv.N = n;
    for (int32_t q = 1; q <= 6; ++q) {
        sv.IKA[k][q] = r.get<int16_t>();
        sv.IKB[k][q] = r.get<int16_t>();
    }
    for (int32_t i = 1; i <= m; ++i) sv.IROW[i] = r.get<int16_t>();
    for (int32_t j = 1; j <= n; ++j) sv.ICOL[j] = r.get<int16_t>();
    if (r.bad) {
        sv.IERR = 120;
        return Flow::error_line;
    }
    dv.NVSUM = static_cast<int32_t>(nvres);
    return Flow::go;
}

Flow read_par3(DecompState& ds, int32_t k) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    Reader r{dv.par3};
    const int32_t nl = sv.NLEVEL + 1;
    for (int32_t j = 1; j <= sv.NCRES; ++j)
        for (int32_t l = 1; l <= nl; ++l) {
            sv.RRL1[k][j][l] = r.get<float>();
            sv.RRL2[k][j][l] = r.get<float>();
        }
    int16_t ninc[NLEV + 1] = {};
    for (int32_t l = 1; l <= nl; ++l) {
        ninc[l] = r.get<int16_t>();
        if (ninc[l] < 0 || ninc[l] > MAXINC) {
            sv.IERR = 130;
            return Flow::error_line;
        }
    }
    // Level 1 of the file is the rerun's list: it is kept only when the
    // PAR5 flag asks for one level; otherwise levels 2.. keep their own.
    const bool one_level = dv.PAR5FL != 0;
    for (int32_t l = 1; l <= nl; ++l) {
        const bool keep = one_level ? (l == 1) : (l >= 2);
        sv.NINC[k][l] = keep ? ninc[l] : int16_t{0};
        for (int32_t i = 1; i <= ninc[l]; ++i) {
            int16_t c = r.get<int16_t>();
            int16_t rw = r.get<int16_t>();
            double x = r.get<double>();
            if (keep) {
                sv.INCCOL[k][l][i] = c;
                sv.INCROW[k][l][i] = rw;
                sv.DINC[k][l][i] = x;
            }
        }
    }
    if (r.bad) {
        sv.IERR = 130;
        return Flow::error_line;
    }
    return Flow::go;
}

// Rebuild a packed matrix into `a` (leading dimension lda).  Returns 0, 140
// (read error) or 2 (counts differ: the caller prints the count line).
int16_t rebuild(BinUnit& vals, BinUnit& runs, double* a, int32_t lda, int32_t m, int32_t n, int32_t nnz,
                int32_t nzero, int32_t nixb, packed::UnpackResult& res) {
    packed::FileValueSource vs{vals};
    packed::FileRunSource rs{runs};
    res = packed::unpack(a, lda, m, n, vs, rs, nixb);
    if (res.status != packed::UnpackStatus::ok) return 140;
    if (res.values != nnz || res.zeros != nzero || static_cast<int64_t>(res.values) + res.zeros != int64_t{m} * n)
        return 2;
    return 0;
}


// Smallest and largest magnitude above 0.001 of a row or column.
struct Range {
    double lo, hi;
    // Widens the range by |v| when |v| is above 0.001 (smaller entries do
    // not count).
    void take(double v) {
        const double a = std::fabs(v);
        if (a > 0.001) {
            if (a < lo) lo = a;
            if (a > hi) hi = a;
        }
    }
    // Something was taken (the range starts empty, lo = BIG > hi = -BIG,
    // whatever BIG the program uses).
    bool found() const { return hi >= lo; }
};

Flow setup_subproblem(DecompState& ds, int32_t k) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    sv.KCUR = static_cast<int16_t>(k);
    Flow f = read_par2(ds, k);
    if (f != Flow::go) return f;
    f = read_par3(ds, k);
    if (f != Flow::go) return f;
    const int32_t m = sv.M, n = sv.N;

    packed::UnpackResult res;
    int16_t code = rebuild(dv.tab0, dv.itab0, &sv.T[LDT + 1], LDT, m, n, sv.NNZK[k], sv.NZEROK[k], sv.NIXBK[k], res);
    if (code == 140) {
        sv.IERR = 140;
        return Flow::error_line;
    }
    if (code == 2) {
        ds.pnt.write(fmt::lines::banner5(), {int16_t{1}});
        status(ds, {int32_t{k}, sv.NNZK[k], res.values, sv.NZEROK[k], res.zeros, res.values + res.zeros,
                    int32_t{m}, int32_t{n}});
        sv.IERR = 2;
        ds.pnt.write(fmt::lines::error_line(), {static_cast<int16_t>(k), int16_t{2}});
        return Flow::final_out;
    }
    code = rebuild(dv.tab20, dv.itab20, sv.ACPL, LDC, sv.NCROW, n, sv.NNZC[k], sv.NZEROC[k], sv.NIXBC[k], res);
    if (code == 140) {
        sv.IERR = 140;
        return Flow::error_line;
    }
    if (code == 2) {
        ds.pnt.write(fmt::lines::banner5(), {int16_t{2}});
        status(ds, {int32_t{k}, sv.NNZC[k], res.values, sv.NZEROC[k], res.zeros, int32_t{sv.NCROW}, int32_t{n}});
        sv.IERR = 2;
        ds.pnt.write(fmt::lines::error_line(), {static_cast<int16_t>(k), int16_t{2}});
        return Flow::final_out;
    }
    if (k == 1)
        for (int32_t r = 1; r <= sv.NCROW; ++r) sv.RHSC[r] = sv.acpl(r, 1);

    // Increments of the level.
    const int32_t l = sv.LEVEL;
    if (l > 1 || dv.PAR5FL == 1) {
        for (int32_t i = 1; i <= sv.NINC[k][l]; ++i) {
            int32_t row, col;
            if (!increment_place(sv.INCCOL[k][l][i], sv.INCROW[k][l][i], m, n, row, col)) {
                sv.IERR = 130;
                return Flow::error_line;
            }
            const double x = sv.DINC[k][l][i];
            sv.t(row, col) = sv.t(row, col) + x;
            if (row == 1) sv.acpl(1, col) = sv.acpl(1, col) + x;
        }
    }

    sv.IROW[1] = 0;
    sv.ICOL[1] = 0;
    if (!scale_tableau(ds, k)) return Flow::error_exit;

    for (int32_t j = 1; j <= n; ++j) sv.ICOLSV[j] = sv.ICOL[j];
    sv.NSV = static_cast<int16_t>(n);
    sv.NPIV = 0;
    sv.KADJ[k] = 0.0;
    StoreWork w = store_view(ds, k);
    sv.IERR = packtb(sv.store, w, 1, static_cast<int16_t>(k), ds.pnt);
    if (sv.IERR != 0) return Flow::error_exit;

    if (sv.KCODE[k] <= 500) {
        for (int32_t lv = 1; lv <= sv.NLEVEL + 1; ++lv) {
            dv.BESTL[lv] += sv.KR16[k];
            dv.BASEL[lv] += sv.KR16[k];
        }
    }
    return Flow::go;
}

// ---- search ------------------------------------------------------------------

struct Cand {
    int16_t p = 0, v = 0, b = 0;
};

Flow after_cycle(DecompState& ds) {
    switch (ds.dv.RCODE) {
        case RC_ERROR: return Flow::error_exit;
        case RC_STOP: return Flow::final_out;
        default: return Flow::go;
    }
}

Flow run_select(DecompState& ds) {
    SolverState& sv = ds.sv;
    sv.IERR = 0;
    select_branch(ds);
    if (sv.IERR == 0) return Flow::go;
    if (sv.IERR == 65) return Flow::error_exit;
    if (sv.IERR == 73) return Flow::final_out;
    return Flow::error_line;
}

// One side of point o: BRANCH (problems of the first kind), CYCLE, SELECT.
Flow evaluate_side(DecompState& ds, int32_t o, int16_t& rc, int16_t& intf, double& obj, Cand& cand) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    dv.RCODE = RC_DONE;
    sv.IERR = 0;
    cand = Cand{};
    const int32_t p = sv.IBPPRB[o];
    if (p >= 1 && p <= sv.NSUB && sv.KCODE[p] <= 500) {
        branch(ds);
        if (sv.IERR != 0) return Flow::error_line;
    }
    if (dv.RCODE != RC_INFEASIBLE) {
        cycle(ds);
        Flow f = after_cycle(ds);
        if (f != Flow::go) return f;
        if (dv.RCODE == RC_DONE && dv.INTFL[l] == 0) {
            f = run_select(ds);
            if (f != Flow::go) return f;
            cand = Cand{sv.IBPPRB[o + 1], sv.IBPVAR[o + 1], sv.IBOTH[o + 1]};
        }
    }
    rc = dv.RCODE;
    intf = dv.INTFL[l];
    obj = dv.OBJL[l];
    return Flow::go;
}

void set_slot(SolverState& sv, int32_t s, const Cand& c) {
    sv.IBPPRB[s] = c.p;
    sv.IBPVAR[s] = c.v;
    sv.IBOTH[s] = c.b;
}

void set_alt(DriverState& dv, int32_t s, const Cand& c) {
    dv.ALTP[s] = c.p;
    dv.ALTV[s] = c.v;
    dv.ALTB[s] = c.b;
}

Flow search(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    int32_t o = sv.NBRPT;
    for (;;) {
        int16_t t = 0;
        bool from_3d = false;
        bool to_step5 = false;
        dv.INTFL[l] = 0;
        if (o == 1) {
            cycle(ds);
            Flow f = after_cycle(ds);
            if (f != Flow::go) return f;
            if (dv.RCODE == RC_INFEASIBLE) {
                dv.RCODE = RC_DONE;
                sv.IERR = 0;
                dv.DONEL[l] = 1.0f;
                to_step5 = true;
            } else {
                if (dv.INTFL[l] == 0) {
                    f = run_select(ds);
                    if (f != Flow::go) return f;
                }
                t = dv.INTFL[l];
            }
        } else {
            int16_t r1 = 0, r2 = 0, i1 = 0, i2 = 0;
            double obj1 = 0.0, obj2 = 0.0;
            Cand c1, c2;
            const int16_t s1 = sv.IBOTH[o];
            Flow f = evaluate_side(ds, o, r1, i1, obj1, c1);
            if (f != Flow::go) return f;
            dv.INTFL[l] = 0;
            dv.RCODE = RC_DONE;
            sv.IERR = 0;
            sv.IBOTH[o] = sv.IBOTH[o] == 0 ? 1 : 0;
            const int16_t s2 = sv.IBOTH[o];
            f = evaluate_side(ds, o, r2, i2, obj2, c2);
            if (f != Flow::go) return f;
            if (r1 == RC_INFEASIBLE && r2 == RC_INFEASIBLE) {
                from_3d = true;
                to_step5 = true;
            } else {
                const Cand none{};
                bool keep_first;
                if (r2 == RC_INFEASIBLE) {
                    keep_first = true;
                    dv.BPCLS[o] = 3;
                    dv.BPOBJ[o] = 0.0;
                    dv.BPINT[o] = 0;
                    set_alt(dv, o + 1, none);
                } else if (r1 == RC_INFEASIBLE) {
                    keep_first = false;
                    dv.BPCLS[o] = 3;
                    dv.BPOBJ[o] = 0.0;
                    dv.BPINT[o] = 0;
                    set_alt(dv, o + 1, none);
                } else {
                    keep_first = obj1 > obj2;
                    dv.BPCLS[o] = 0;
                    dv.BPOBJ[o] = keep_first ? obj2 : obj1;
                    dv.BPINT[o] = keep_first ? i2 : i1;
                    set_alt(dv, o + 1, keep_first ? c2 : c1);
                }
                dv.OBJL[l] = keep_first ? obj1 : obj2;
                set_slot(sv, o + 1, keep_first ? c1 : c2);
                dv.ALTB[o] = keep_first ? s2 : s1;
                sv.IBOTH[o] = keep_first ? s1 : s2;
                t = keep_first ? i1 : i2;
                if (sv.PRTSW == 1) {
                    ds.pnt.write(fmt::lines::banner5(), {});
                    ds.pnt.write(dl::bp_increased(),
                                 {static_cast<int16_t>(o - 1), sv.IBPPRB[o], sv.IBPVAR[o], sv.IBOTH[o]});
                }
            }
        }

        // Steps 4 and 5: close the node, backtrack to an open side.
        bool level_over = false;
        bool check_close = !to_step5;
        for (;;) {
            if (check_close) {
                if (t == 1 || (t == 0 && dv.OBJL[l] <= dv.BESTL[l])) dv.DONEL[l] = 1.0f;
                check_close = false;
            }
            if (!from_3d && dv.DONEL[l] == 0.0f) break;
            if (!from_3d) {
                dv.INTFL[l] = 0;
                if (o == 1) {
                    level_over = true;
                    break;
                }
                if (sv.PRTSW == 1) ds.pnt.write(dl::caused_total(), {int16_t{777}, dv.NITMC});
                dv.DONEL[l] = 0.0f;
            }
            bool once = from_3d;
            from_3d = false;
            while (once || sv.IBOTH[o] >= 2) {
                once = false;
                o = o - 1;
                sv.NBRPT = static_cast<int16_t>(o);
                if (sv.PRTSW == 1)
                    ds.pnt.write(dl::bp_decreased(), {static_cast<int16_t>(o - 1), sv.IBPPRB[o], sv.IBPVAR[o]});
                if (sv.IBPVAR[o] == 0) {
                    level_over = true;
                    break;
                }
            }
            if (level_over) break;
            sv.IBOTH[o] = static_cast<int16_t>(sv.IBOTH[o] + 2);
            if (sv.PRTSW == 1)
                ds.pnt.write(dl::bp_changed(),
                             {static_cast<int16_t>(o - 1), sv.IBPPRB[o], sv.IBPVAR[o], sv.IBOTH[o]});
            if (dv.BPCLS[o] == 0 && dv.BPINT[o] == 0) {
                dv.OBJL[l] = dv.BPOBJ[o];
                set_slot(sv, o + 1, Cand{dv.ALTP[o + 1], dv.ALTV[o + 1], dv.ALTB[o + 1]});
                t = 0;
                check_close = true;
                continue;
            }
            dv.RCODE = RC_DONE;
            sv.IERR = 0;
            dv.DONEL[l] = 1.0f;
        }
        if (level_over) {
            sv.NBRPT = static_cast<int16_t>(o);
            return Flow::level_end;
        }

        if (sv.DMPSW != 0) {
            ds.pnt.write(dl::tableau_read(), {int16_t{777}});
            dump_master(ds);
        }
        o = o + 1;
        sv.NBRPT = static_cast<int16_t>(o);
        if (sv.NBRPT >= BPLIM) {
            ds.pnt.write(fmt::lines::banner5(), {int16_t{37}});
            return Flow::final_out;
        }
    }
}

// ---- level pass and final output -----------------------------------------------

Flow level_pass(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    for (int32_t k = 1; k <= NPROB; ++k) {
        sv.ITERK[k] = 0;
        sv.NPROP[k] = 0;
        for (int32_t l = 0; l <= NLEV; ++l) sv.NINC[k][l] = 0;
    }
    for (int32_t l = 1; l <= NLEV; ++l) {
        dv.BESTL[l] = 0.0;
        dv.BASEL[l] = 0.0;
        dv.DONEL[l] = 0.0f;
    }
    sv.OBJSCL = 30000.0;
    sv.KCUR = 0;
    sv.NBRPT = 1;
    sv.IBPPRB[1] = 0;
    sv.IBPVAR[1] = 0;
    sv.IBOTH[1] = 0;
    // NVRES keeps the count of the last complete set-up, so that a level
    // that fails leaves the results of the earlier levels readable.
    dv.NVSUM = 0;
    dv.PAR5RD = false;

    if (!open_unit(ds, dv.par1, "PAR1.DAT", 36, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.par2, "PAR2.DAT", 37, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.par3, "PAR3.DAT", 38, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.par5, "PAR5.DAT", 40)) return Flow::error_exit;
    Flow f = read_par1_header(ds);
    if (f != Flow::go) return f;
    f = read_par1_rest(ds);
    if (f != Flow::go) return f;
    if (!open_unit(ds, dv.tab0, "TAB0.DAT", 20, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.tab, "TAB.DAT", 27)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab0, "1TAB0.DAT", 21, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab, "1TAB.DAT", 28)) return Flow::error_exit;
    if (!open_unit(ds, dv.tab20, "TAB20.DAT", 20, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.tab2, "TAB2.DAT", 27)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab20, "1TAB20.DAT", 21, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab2, "1TAB2.DAT", 28)) return Flow::error_exit;
    for (int32_t k = 1; k <= sv.NSUB; ++k) {
        f = setup_subproblem(ds, k);
        if (f != Flow::go) return f;
    }
    dv.NVRES = static_cast<int16_t>(dv.NVSUM);
    setup_master(ds);
    return search(ds);
}

void final_output(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t nsub = sv.NSUB < 0 ? 0 : (sv.NSUB > NPROB ? NPROB : sv.NSUB);
    for (int32_t k = 1; k <= nsub; ++k)
        ds.pnt.write(dl::total_iter_prob(), {static_cast<int16_t>(k), sv.ITERK[k]});
    ds.pnt.write(dl::total_iter_master(), {dv.NITMAS});
    // Results go behind the 2-byte flag word, whole or not at all (the
    // read-back then finds no results); nothing is written when the file
    // did not open.
    if (dv.par5.is_open()) {
        const int16_t nvres = dv.NVRES < 0 ? int16_t{0} : dv.NVRES;
        results::Record r(&sv.RESV[1], nvres);
        const int32_t nl = levels(sv);
        for (int32_t l = 1; l <= nl; ++l)
            for (int32_t i = 1; i <= nvres; ++i) r.value(dv.xres(l, i));
        results::write(dv.par5, r);
    }
    close_units(dv);
    sleep_ms(500);
    for (int32_t i = 0; i < 100; ++i) ds.pnt.write(fmt::lines::banner5(), {int16_t{6}});
}

}  // namespace

bool scale_tableau(DecompState& ds, int32_t k) {
    SolverState& sv = ds.sv;
    const int32_t m = sv.M, n = sv.N;
    auto row_range = [&](int32_t i) {
        Range r{sv.BIG, -sv.BIG};
        for (int32_t j = 1; j <= n; ++j) r.take(sv.t(i, j));
        return r;
    };
    Range r1 = row_range(1);
    if (!r1.found()) {
        sv.IERR = 73;
        return false;
    }
    sv.OSCL[k] = std::sqrt(r1.hi * r1.lo);
    for (int32_t j = 1; j <= n; ++j) sv.t(1, j) = -sv.t(1, j) / sv.OSCL[k];
    for (int32_t i = 2; i <= m; ++i) {
        Range r = row_range(i);
        if (!r.found()) {
            sv.IERR = 73;
            return false;
        }
        double s = std::sqrt(r.hi * r.lo);
        if (s < 100.0) s = s / 1000.0;
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

void setup_master(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    dv.NROWM = static_cast<int16_t>(sv.NSUB + sv.NCROW - 1);
    for (int32_t i = 1; i <= dv.NROWM; ++i) dv.tm(i, 1) = 0.0;
    dv.ICOLM[1] = 0;
    dv.IROWM[1] = 0;
    dv.IROWMS[1] = 0;
    for (int32_t i = 2; i <= sv.NSUB + 1; ++i) {
        dv.tm(i, 1) = 1.0;
        dv.IROWM[i] = -(4999 + i);
    }
    for (int32_t i = sv.NSUB + 2; i <= dv.NROWM; ++i) {
        dv.tm(i, 1) = sv.RHSC[i - sv.NSUB];
        dv.IROWM[i] = 1 - i;
    }
    for (int32_t i = 2; i <= dv.NROWM; ++i) dv.IROWMS[i] = dv.IROWM[i];
    dv.NCOLM = 1;
    for (int32_t k = 0; k <= NPROB; ++k) sv.PIC[k] = 0.0;
    for (int32_t i = 0; i <= LDC; ++i) sv.PIM[i] = 0.0;
    if (sv.DMPSW != 0) {
        ds.pnt.write(dl::initial_tableau(), {int16_t{777}});
        dump_master(ds);
    }
}

bool increment_place(int16_t c, int16_t r, int32_t m, int32_t n, int32_t& row, int32_t& col) {
    col = c == 0 ? 1 : (c < 5000 ? c + 1 : c - 4999);
    row = r == 0 ? 1 : (-r < 5000 ? 1 - r : -r - 4999);
    return col >= 1 && col <= n && row >= 1 && row <= m;
}

void decomp(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    sv.TOLZER = 5e-18;
    sv.PRTSW = 1;
    sv.DMPSW = 0;
    sv.TOLELM = 5e-8;
    sv.TOLPIV = 5e-6;
    sv.OBJSCL = 30000.0;
    sv.BIG = 1e30;
    sv.LEVEL = 1;
    sv.NBRPT = 1;
    sv.IERR = 0;
    dv.NITMC = 0;
    dv.NITMAS = 0;
    dv.RCODE = RC_DONE;
    dv.NVRES = 0;
    dv.PAR5FL = 0;
    // A level that is not solved reports "no solution", never an old value.
    for (int32_t l = 0; l <= NLEV; ++l) sv.RESV[l] = 37.0;
    std::memset(dv.XRES, 0, sizeof dv.XRES);
    ds.pnt.open(data_path("C:\\KAV\\KAV100.PNT"));

    for (;;) {
        Flow f = level_pass(ds);
        if (f == Flow::level_end) {
            const int32_t l = sv.LEVEL;
            if (dv.BESTL[l] == dv.BASEL[l]) {
                ds.pnt.write(dl::no_mixed(), {});
                sv.RESV[l] = 37.0;
            }
            if (dv.PAR5FL == 1 || sv.LEVEL > sv.NLEVEL) break;
            sv.LEVEL = static_cast<int16_t>(sv.LEVEL + 1);
            ds.pnt.write(dl::sens_level(), {static_cast<int16_t>(sv.LEVEL - 1)});
            close_units(dv);
            sleep_ms(500);
            continue;
        }
        if (f == Flow::error_exit) {
            if (sv.PRTSW == 1) {
                for (int32_t i = 0; i < 100; ++i) ds.pnt.write(fmt::lines::banner5(), {int16_t{7}});
                ds.pnt.write(fmt::lines::error_line(), {sv.KCUR, sv.IERR});
            }
        } else if (f == Flow::error_line) {
            if (sv.PRTSW == 1) ds.pnt.write(fmt::lines::error_line(), {int16_t{777}, sv.IERR});
        }
        break;
    }
    final_output(ds);
}

}  // namespace kav::decomp
