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

#include <algorithm>
#include <cmath>

#include "branch.hpp"
#include "cycle.hpp"
#include "decomp_state.hpp"
#include "errcodes.hpp"
#include "handoff.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "master.hpp"
#include "packed.hpp"
#include "select.hpp"
#include "setup.hpp"
#include "store.hpp"

namespace kav::decomp {

namespace {

using namespace solver;

// Waits of the driver: before each level and at the end of the solve (the
// time the files of the original platform needed to settle).
constexpr int32_t LEVEL_WAIT_MS = 500;
// Banner lines written at the end of a solve.
constexpr int32_t END_MARKS = 100;
// BPCLS of a side that is closed.
constexpr int32_t SIDE_CLOSED = 3;

// How a step of the driver ends.
enum class Flow {
    go,          // carry on
    level_end,   // the search of the level is over
    final_out,   // straight to the final output
    error_exit,  // banner 7 a hundred times, error line with the subproblem
    error_line,  // error line with 777
};

int16_t levels(const Problem& pb) {
    int32_t l = pb.NLEVEL + 1;
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

// Lines of the library's driver alone.
const fmt::Format& f_caused_total() {
    static const fmt::Format f(
        "(/7HPROBLEM,I4,13H AT ITERATION,I6,60H CAUSED TOTAL SOLUTION TO BE < BIG, INFEASIBLE, OR UNBOUNDED)");
    return f;
}
const fmt::Format& f_total_iter_prob() {
    static const fmt::Format f("(/37HTOTAL NUMBER OF ITERATIONS OF PROBLEM,I2, 2H =,I7/)");
    return f;
}
const fmt::Format& f_total_iter_master() {
    static const fmt::Format f("(/47HTOTAL NUMBER OF ITERATIONS OF MASTER PROBLEM  =,I7/)");
    return f;
}

// ---- PAR1.DAT ------------------------------------------------------------

Flow read_par1_header(DecompState& ds) {
    Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    handoff::In r{dv.par1};
    handoff::Header h{};
    handoff::get(r, h);
    pb.set_header(h);
    bool fits = pb.NSUB >= 1 && pb.NSUB <= NPROB && pb.NCRES >= 0 && pb.NCRES <= MAXCRES && pb.NLEVEL >= 0 &&
                pb.NLEVEL + 1 <= NLEV && pb.NCROW >= 2 && pb.NCROW <= LDC && pb.NZOTOT >= 0 &&
                pb.NZOTOT + 1 <= MAXZENT && pb.NSUB + pb.NCROW - 1 <= TMLD;
    if (r.bad() || !fits) {
        if (!fits) {  // keep the final output inside the tables
            pb.NSUB = 0;
            pb.NLEVEL = 0;
        }
        sv.IERR = err::READ_PAR12;
        return Flow::error_line;
    }
    handoff::In f{dv.par5};
    dv.PAR5FL = f.get<int16_t>();
    if (f.bad()) {
        sv.IERR = err::READ_PAR5_FLAG;
        return Flow::error_line;
    }
    dv.PAR5RD = true;
    if (sv.PRTSW == 1) {
        ds.pnt.write(fmt::lines::banner5(), {mark::START});
        ds.pnt.write(fmt::lines::input_header(), {pb.NSUB, pb.NLEVEL});
    }
    return Flow::go;
}

Flow read_par1_rest(DecompState& ds) {
    Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    handoff::In r{dv.par1};
    const int32_t nl = pb.NLEVEL + 1;
    for (int32_t k = 1; k <= pb.NSUB; ++k) {
        handoff::MatrixCounts c{};
        handoff::get(r, c);
        pb.set_coupling_counts(k, c);
    }
    for (int32_t k = 1; k <= pb.NSUB; ++k)
        for (int32_t j = 1; j <= pb.NCRES; ++j) pb.IKR[k][j] = r.get<int16_t>();
    for (int32_t j = 1; j <= pb.NCRES; ++j)
        for (int32_t l = 1; l <= nl; ++l) {
            handoff::ResourceLevel q{};
            handoff::get(r, q);
            pb.set_resource_level(j, l, q);
        }
    for (int32_t d = 1; d <= pb.NZOTOT + 1; ++d) {
        handoff::ZEntry e{};
        handoff::get(r, e);
        pb.set_zentry(d, e);
        for (int32_t l = 1; l <= nl; ++l) {
            handoff::ZLevel z{};
            handoff::get(r, z);
            pb.set_zlevel(d, l, z);
        }
    }
    if (r.bad()) {
        sv.IERR = err::READ_PAR12;
        return Flow::error_line;
    }
    return Flow::go;
}

// ---- subproblem set-up ------------------------------------------------------

Flow read_par2(DecompState& ds, int32_t k) {
    Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    handoff::In r{dv.par2};
    for (int32_t j = 1; j <= pb.NCRES; ++j) {
        handoff::ResourceCaps c{};
        handoff::get(r, c);
        pb.set_caps(k, j, c);
    }
    for (int32_t j = 1; j <= pb.NCRES; ++j) {
        handoff::ResourcePlaces q{};
        handoff::get(r, q);
        pb.set_places(k, j, q);
    }
    handoff::ProblemRecord pr{};
    handoff::get(r, pr);
    const int16_t m = pr.NROW, n = pr.NCOL, nz = pr.NZO;
    const int64_t cells = static_cast<int64_t>(m) * n;
    bool fits = m >= 2 && m <= MAXROW && n >= 2 && n <= MAXCOL && nz >= 0 && nz <= n - 2 && nz + 1 <= MAXNZ &&
                pr.mat.NNZ >= 0 && pr.mat.NNZ <= cells && pr.mat.NZER >= 0 && pr.mat.NZER <= cells &&
                pr.mat.NIXB >= 0 && pb.NCROW <= m;
    int64_t nvres = dv.NVSUM + static_cast<int64_t>(n) - 2;
    if (r.bad() || !fits || nvres > MAXVRES) {
        sv.IERR = err::READ_PAR12;
        return Flow::error_line;
    }
    pb.set_record(k, pr);
    sv.M = m;
    sv.N = n;
    for (int32_t q = 1; q <= NCLASS; ++q) {
        handoff::RowClass c{};
        handoff::get(r, c);
        pb.set_row_class(k, q, c);
    }
    r.get_n(&sv.IROW[1], m);
    r.get_n(&sv.ICOL[1], n);
    if (r.bad()) {
        sv.IERR = err::READ_PAR12;
        return Flow::error_line;
    }
    dv.NVSUM = static_cast<int32_t>(nvres);
    return Flow::go;
}

Flow read_par3(DecompState& ds, int32_t k) {
    Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    handoff::In r{dv.par3};
    const int32_t nl = pb.NLEVEL + 1;
    for (int32_t j = 1; j <= pb.NCRES; ++j)
        for (int32_t l = 1; l <= nl; ++l) {
            handoff::LevelCaps c{};
            handoff::get(r, c);
            pb.set_level_caps(k, j, l, c);
        }
    int16_t ninc[NLEV + 1] = {};
    for (int32_t l = 1; l <= nl; ++l) {
        ninc[l] = r.get<int16_t>();
        if (ninc[l] < 0 || ninc[l] > MAXINC) {
            sv.IERR = err::READ_PAR3;
            return Flow::error_line;
        }
    }
    // Level 1 of the file is the rerun's list: it is kept only when the
    // PAR5 flag asks for one level; otherwise levels 2.. keep their own.
    const bool one_level = dv.PAR5FL != 0;
    for (int32_t l = 1; l <= nl; ++l) {
        const bool keep = one_level ? (l == 1) : (l >= 2);
        pb.NINC[k][l] = keep ? ninc[l] : int16_t{0};
        for (int32_t i = 1; i <= ninc[l]; ++i) {
            handoff::Increment inc{};
            handoff::get(r, inc);
            if (keep) pb.set_increment(k, l, i, inc);
        }
    }
    if (r.bad()) {
        sv.IERR = err::READ_PAR3;
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
    if (res.status != packed::UnpackStatus::ok) return err::READ_TAB;
    if (res.values != nnz || res.zeros != nzero || static_cast<int64_t>(res.values) + res.zeros != int64_t{m} * n)
        return err::COUNTS_READ;
    return err::NONE;
}


Flow setup_subproblem(DecompState& ds, int32_t k) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    sv.KCUR = static_cast<int16_t>(k);
    Flow f = read_par2(ds, k);
    if (f != Flow::go) return f;
    f = read_par3(ds, k);
    if (f != Flow::go) return f;
    const int32_t m = sv.M, n = sv.N;

    packed::UnpackResult res;
    int16_t code = rebuild(dv.tab0, dv.itab0, &sv.t(1, 1), sv.ldt(), m, n, pb.NNZK[k], pb.NZEROK[k], pb.NIXBK[k], res);
    if (code == err::READ_TAB) {
        sv.IERR = err::READ_TAB;
        return Flow::error_line;
    }
    if (code == err::COUNTS_READ) {
        ds.pnt.write(fmt::lines::banner5(), {mark::TABLEAU_REBUILD});
        status(ds, {int32_t{k}, pb.NNZK[k], res.values, pb.NZEROK[k], res.zeros, res.values + res.zeros,
                    int32_t{m}, int32_t{n}});
        sv.IERR = err::COUNTS_READ;
        ds.pnt.write(fmt::lines::error_line(), {static_cast<int16_t>(k), err::COUNTS_READ});
        return Flow::final_out;
    }
    code = rebuild(dv.tab20, dv.itab20, sv.ACPL.data(), sv.ldc(), pb.NCROW, n, pb.NNZC[k], pb.NZEROC[k], pb.NIXBC[k], res);
    if (code == err::READ_TAB) {
        sv.IERR = err::READ_TAB;
        return Flow::error_line;
    }
    if (code == err::COUNTS_READ) {
        ds.pnt.write(fmt::lines::banner5(), {mark::COUPLING_REBUILD});
        status(ds, {int32_t{k}, pb.NNZC[k], res.values, pb.NZEROC[k], res.zeros, int32_t{pb.NCROW}, int32_t{n}});
        sv.IERR = err::COUNTS_READ;
        ds.pnt.write(fmt::lines::error_line(), {static_cast<int16_t>(k), err::COUNTS_READ});
        return Flow::final_out;
    }
    if (k == 1)
        for (int32_t r = 1; r <= pb.NCROW; ++r) sv.RHSC[r] = sv.acpl(r, 1);

    // Increments of the level.
    const int32_t l = sv.LEVEL;
    if (l > 1 || dv.PAR5FL == 1) {
        for (int32_t i = 1; i <= pb.NINC[k][l]; ++i) {
            int32_t row, col;
            if (!increment_place(pb.INCCOL[k][l][i], pb.INCROW[k][l][i], m, n, row, col)) {
                sv.IERR = err::READ_PAR3;
                return Flow::error_line;
            }
            const double x = pb.DINC[k][l][i];
            sv.t(row, col) = sv.t(row, col) + x;
            if (row == 1) sv.acpl(1, col) = sv.acpl(1, col) + x;
        }
    }

    sv.IROW[1] = 0;
    sv.ICOL[1] = 0;
    if (!scale_tableau(ds.fam, k)) return Flow::error_exit;

    for (int32_t j = 1; j <= n; ++j) sv.ICOLSV[j] = sv.ICOL[j];
    sv.NSV = static_cast<int16_t>(n);
    sv.NPIV = 0;
    sv.KADJ[k] = 0.0;
    StoreWork w = store_view(ds, k);
    sv.IERR = packtb(ds.store, w, STORE_COPY_SETUP, static_cast<int16_t>(k), ds.pnt);
    if (sv.IERR != 0) return Flow::error_exit;

    if (pb.first_kind(k)) {
        for (int32_t lv = 1; lv <= pb.NLEVEL + 1; ++lv) {
            ms.BESTL[lv] += pb.KR16[k];
            dv.BASEL[lv] += pb.KR16[k];
        }
    }
    return Flow::go;
}

// ---- search ------------------------------------------------------------------

Flow after_cycle(DecompState& ds) {
    switch (ds.ms.RCODE) {
        case RC_ERROR: return Flow::error_exit;
        case RC_STOP: return Flow::final_out;
        default: return Flow::go;
    }
}

Flow run_select(DecompState& ds) {
    SolverState& sv = ds.sv;
    sv.IERR = 0;
    select_branch(ds.fam);
    if (sv.IERR == 0) return Flow::go;
    if (sv.IERR == err::SELECT_NOT_IN_LIST) return Flow::error_exit;
    if (sv.IERR == err::NO_MAGNITUDE) return Flow::final_out;
    return Flow::error_line;
}

// One side of point o: BRANCH (problems of the first kind), CYCLE, SELECT.
Flow evaluate_side(DecompState& ds, int32_t o, int16_t& rc, int16_t& intf, double& obj, Candidate& cand) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    ms.RCODE = RC_DONE;
    sv.IERR = 0;
    cand = Candidate{};
    const int32_t p = sv.IBPPRB[o];
    if (p >= 1 && p <= pb.NSUB && pb.first_kind(p)) {
        branch(ds.fam);
        if (sv.IERR != 0) return Flow::error_line;
    }
    if (ms.RCODE != RC_INFEASIBLE) {
        cycle(ds);
        Flow f = after_cycle(ds);
        if (f != Flow::go) return f;
        if (ms.RCODE == RC_DONE && dv.INTFL[l] == 0) {
            f = run_select(ds);
            if (f != Flow::go) return f;
            cand = candidate_at(sv, o + 1);
        }
    }
    rc = ms.RCODE;
    intf = dv.INTFL[l];
    obj = ms.OBJL[l];
    return Flow::go;
}

void set_alt(DriverState& dv, int32_t s, const Candidate& c) {
    dv.ALTP[s] = c.p;
    dv.ALTV[s] = c.v;
    dv.ALTB[s] = c.b;
}

Flow search(DecompState& ds) {
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    int32_t o = sv.NBRPT;
    for (;;) {
        int16_t t = 0;
        bool both_closed = false;  // both sides of the point are infeasible: back up at once
        bool node_closed = false;  // the node is closed without the bound test
        dv.INTFL[l] = 0;
        if (o == 1) {
            cycle(ds);
            Flow f = after_cycle(ds);
            if (f != Flow::go) return f;
            if (ms.RCODE == RC_INFEASIBLE) {
                ms.RCODE = RC_DONE;
                sv.IERR = 0;
                dv.DONEL[l] = 1.0f;
                node_closed = true;
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
            Candidate c1, c2;
            const int16_t s1 = sv.IBOTH[o];
            Flow f = evaluate_side(ds, o, r1, i1, obj1, c1);
            if (f != Flow::go) return f;
            dv.INTFL[l] = 0;
            ms.RCODE = RC_DONE;
            sv.IERR = 0;
            sv.IBOTH[o] = sv.IBOTH[o] == 0 ? 1 : 0;
            const int16_t s2 = sv.IBOTH[o];
            f = evaluate_side(ds, o, r2, i2, obj2, c2);
            if (f != Flow::go) return f;
            if (r1 == RC_INFEASIBLE && r2 == RC_INFEASIBLE) {
                both_closed = true;
                node_closed = true;
            } else {
                const Candidate none{};
                bool keep_first;
                if (r2 == RC_INFEASIBLE) {
                    keep_first = true;
                    dv.BPCLS[o] = SIDE_CLOSED;
                    dv.BPOBJ[o] = 0.0;
                    dv.BPINT[o] = 0;
                    set_alt(dv, o + 1, none);
                } else if (r1 == RC_INFEASIBLE) {
                    keep_first = false;
                    dv.BPCLS[o] = SIDE_CLOSED;
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
                ms.OBJL[l] = keep_first ? obj1 : obj2;
                set_candidate(sv, o + 1, keep_first ? c1 : c2);
                dv.ALTB[o] = keep_first ? s2 : s1;
                sv.IBOTH[o] = keep_first ? s1 : s2;
                t = keep_first ? i1 : i2;
                if (sv.PRTSW == 1) {
                    ds.pnt.write(fmt::lines::banner5(), {});
                    ds.pnt.write(fmt::lines::bp_increased(),
                                 {static_cast<int16_t>(o - 1), sv.IBPPRB[o], sv.IBPVAR[o], sv.IBOTH[o]});
                }
            }
        }

        // Close the node, backtrack to an open side.
        bool level_over = false;
        bool check_close = !node_closed;
        for (;;) {
            if (check_close) {
                if (t == 1 || (t == 0 && ms.OBJL[l] <= ms.BESTL[l])) dv.DONEL[l] = 1.0f;
                check_close = false;
            }
            if (!both_closed && dv.DONEL[l] == 0.0f) break;
            if (!both_closed) {
                dv.INTFL[l] = 0;
                if (o == 1) {
                    level_over = true;
                    break;
                }
                if (sv.PRTSW == 1) ds.pnt.write(f_caused_total(), {mark::ALL_PROBLEMS, ms.NITMC});
                dv.DONEL[l] = 0.0f;
            }
            bool once = both_closed;
            both_closed = false;
            while (once || sv.IBOTH[o] >= 2) {
                once = false;
                o = o - 1;
                sv.NBRPT = static_cast<int16_t>(o);
                if (sv.PRTSW == 1)
                    ds.pnt.write(fmt::lines::bp_decreased(), {static_cast<int16_t>(o - 1), sv.IBPPRB[o], sv.IBPVAR[o]});
                if (sv.IBPVAR[o] == 0) {
                    level_over = true;
                    break;
                }
            }
            if (level_over) break;
            sv.IBOTH[o] = static_cast<int16_t>(sv.IBOTH[o] + 2);
            if (sv.PRTSW == 1)
                ds.pnt.write(fmt::lines::bp_changed(),
                             {static_cast<int16_t>(o - 1), sv.IBPPRB[o], sv.IBPVAR[o], sv.IBOTH[o]});
            if (dv.BPCLS[o] == 0 && dv.BPINT[o] == 0) {
                ms.OBJL[l] = dv.BPOBJ[o];
                set_candidate(sv, o + 1, Candidate{dv.ALTP[o + 1], dv.ALTV[o + 1], dv.ALTB[o + 1]});
                t = 0;
                check_close = true;
                continue;
            }
            ms.RCODE = RC_DONE;
            sv.IERR = 0;
            dv.DONEL[l] = 1.0f;
        }
        if (level_over) {
            sv.NBRPT = static_cast<int16_t>(o);
            return Flow::level_end;
        }

        if (sv.DMPSW != 0) {
            ds.pnt.write(fmt::lines::tableau_read(), {mark::ALL_PROBLEMS});
            dump_master(ds.fam);
        }
        o = o + 1;
        sv.NBRPT = static_cast<int16_t>(o);
        if (sv.NBRPT >= BPLIM) {
            ds.pnt.write(fmt::lines::banner5(), {mark::LIMIT});
            return Flow::final_out;
        }
    }
}

// ---- level pass and final output -----------------------------------------------

Flow level_pass(DecompState& ds) {
    Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    for (int32_t k = 1; k <= NPROB; ++k) {
        sv.ITERK[k] = 0;
        sv.NPROP[k] = 0;
        for (int32_t l = 0; l <= NLEV; ++l) pb.NINC[k][l] = 0;
    }
    for (int32_t l = 1; l <= NLEV; ++l) {
        ms.BESTL[l] = 0.0;
        dv.BASEL[l] = 0.0;
        dv.DONEL[l] = 0.0f;
    }
    sv.OBJSCL = ds.fam.pf.objscl;
    sv.KCUR = 0;
    sv.NBRPT = 1;
    sv.IBPPRB[1] = 0;
    sv.IBPVAR[1] = 0;
    sv.IBOTH[1] = 0;
    // NVRES keeps the count of the last complete set-up, so that a level
    // that fails leaves the results of the earlier levels readable.
    dv.NVSUM = 0;
    dv.PAR5RD = false;

    if (!open_unit(ds, dv.par1, "PAR1.DAT", err::OPEN_PAR1, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.par2, "PAR2.DAT", err::OPEN_PAR2, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.par3, "PAR3.DAT", err::OPEN_PAR3, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.par5, "PAR5.DAT", err::OPEN_PAR5)) return Flow::error_exit;
    Flow f = read_par1_header(ds);
    if (f != Flow::go) return f;
    f = read_par1_rest(ds);
    if (f != Flow::go) return f;
    if (!open_unit(ds, dv.tab0, "TAB0.DAT", err::OPEN_TAB, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.tab, "TAB.DAT", err::OPEN_TAB0)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab0, "1TAB0.DAT", err::OPEN_ITAB, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab, "1TAB.DAT", err::OPEN_1TAB0)) return Flow::error_exit;
    if (!open_unit(ds, dv.tab20, "TAB20.DAT", err::OPEN_TAB, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.tab2, "TAB2.DAT", err::OPEN_TAB0)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab20, "1TAB20.DAT", err::OPEN_ITAB, BinUnit::Access::read)) return Flow::error_exit;
    if (!open_unit(ds, dv.itab2, "1TAB2.DAT", err::OPEN_1TAB0)) return Flow::error_exit;
    for (int32_t k = 1; k <= pb.NSUB; ++k) {
        f = setup_subproblem(ds, k);
        if (f != Flow::go) return f;
    }
    ms.NVRES = static_cast<int16_t>(dv.NVSUM);
    setup_master(ds.fam);
    return search(ds);
}

void final_output(DecompState& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    const int32_t nsub = pb.NSUB < 0 ? 0 : (pb.NSUB > NPROB ? NPROB : pb.NSUB);
    for (int32_t k = 1; k <= nsub; ++k)
        ds.pnt.write(f_total_iter_prob(), {static_cast<int16_t>(k), sv.ITERK[k]});
    ds.pnt.write(f_total_iter_master(), {ms.NITMAS});
    // Results go behind the 2-byte flag word, whole or not at all (the
    // read-back then finds no results); nothing is written when the file
    // did not open.
    if (dv.par5.is_open()) {
        const int16_t nvres = ms.NVRES < 0 ? int16_t{0} : ms.NVRES;
        handoff::write_results(dv.par5, &sv.RESV[1], nvres, levels(pb),
                               [&](int32_t l, int32_t i) { return ms.xres(l, i); });
    }
    close_units(dv);
    sleep_ms(LEVEL_WAIT_MS);
    for (int32_t i = 0; i < END_MARKS; ++i) ds.pnt.write(fmt::lines::banner5(), {mark::SOLVE_END});
}

}  // namespace

void decomp(DecompState& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    set_steering(sv, ds.fam.pf);
    sv.LEVEL = 1;
    sv.NBRPT = 1;
    sv.IERR = 0;
    ms.NITMC = 0;
    ms.NITMAS = 0;
    ms.RCODE = RC_DONE;
    ms.NVRES = 0;
    dv.PAR5FL = 0;
    // A level that is not solved reports "no solution", never an old value.
    for (int32_t l = 0; l <= NLEV; ++l) sv.RESV[l] = err::STNONE;
    std::fill(ms.XRES.data(), ms.XRES.data() + ms.XRES.size(), 0.0);
    ds.pnt.open(data_path("C:\\KAV\\KAV100.PNT"));

    for (;;) {
        Flow f = level_pass(ds);
        if (f == Flow::level_end) {
            const int32_t l = sv.LEVEL;
            if (ms.BESTL[l] == dv.BASEL[l]) {
                ds.pnt.write(fmt::lines::no_mixed(), {});
                sv.RESV[l] = err::STNONE;
            }
            if (dv.PAR5FL == 1 || sv.LEVEL > pb.NLEVEL) break;
            sv.LEVEL = static_cast<int16_t>(sv.LEVEL + 1);
            ds.pnt.write(fmt::lines::sens_level(), {static_cast<int16_t>(sv.LEVEL - 1)});
            close_units(dv);
            sleep_ms(LEVEL_WAIT_MS);
            continue;
        }
        if (f == Flow::error_exit) {
            if (sv.PRTSW == 1) {
                for (int32_t i = 0; i < END_MARKS; ++i) ds.pnt.write(fmt::lines::banner5(), {mark::ERROR_END});
                ds.pnt.write(fmt::lines::error_line(), {sv.KCUR, sv.IERR});
            }
        } else if (f == Flow::error_line) {
            if (sv.PRTSW == 1) ds.pnt.write(fmt::lines::error_line(), {mark::ALL_PROBLEMS, sv.IERR});
        }
        break;
    }
    final_output(ds);
}

}  // namespace kav::decomp
