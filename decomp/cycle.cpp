// CYCLE of the library: the decomposition of one node.
//
// Each pass solves every live subproblem with the current master prices
// (restoring its tableau from the store and saving it again), turns a
// profitable solution into a master column, re-solves the master and
// recomputes the combined solution, until no subproblem proposes.  The
// pieces of a pass are the decomposition routines' (solver/pass.hpp),
// which kavmpi's cycle over MPI runs as well.

#include "cycle.hpp"

#include <span>
#include <vector>

#include "decomp_state.hpp"
#include "errcodes.hpp"
#include "lines.hpp"
#include "master.hpp"
#include "pass.hpp"
#include "simplx.hpp"
#include "store.hpp"

namespace kav::decomp {

using namespace solver;

StoreWork store_view(DecompState& ds, int k) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    sv.NCPLR = pb.NCROW;
    sv.NCPLC = (k >= 1 && k <= NPROB) ? pb.NCK[k] : 0;
    StoreWork w;
    w.t = &sv.t(1, 1);
    w.ldt = sv.ldt();
    w.m = &sv.M;
    w.n = &sv.N;
    w.irow = &sv.IROW[1];
    w.rnorm = &sv.RNORM[1];
    w.icol = &sv.ICOL[1];
    w.cnorm = &sv.CNORM[1];
    w.icolsv = &sv.ICOLSV[1];
    w.nsv = &sv.NSV;
    w.npiv = &sv.NPIV;
    w.cpl = sv.ACPL.data();
    w.ldc = sv.ldc();
    w.cplrows = &sv.NCPLR;
    w.cplcols = &sv.NCPLC;
    return w;
}

namespace {

void dump_work_tableau(DecompState& ds, int32_t k) {
    SolverState& sv = ds.sv;
    ds.pnt.write(fmt::lines::tableau_read(), {static_cast<int16_t>(k)});
    ds.pnt.write(fmt::lines::status_line(), fmt::ints(std::span<const int16_t>(&sv.ICOL[1], sv.N)));
    std::vector<double> row(sv.N);
    for (int32_t i = 1; i <= sv.M; ++i) {
        for (int32_t j = 1; j <= sv.N; ++j) row[j - 1] = sv.t(i, j);
        ds.pnt.write(fmt::lines::values8(), fmt::reals(row));
        ds.pnt.write(fmt::lines::row_label(), {sv.IROW[i]});
    }
}

}  // namespace

void cycle(DecompState& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& ms = ds.ms;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    dv.SMODE = solver::SX_FRESH;
    dv.INTFL[l] = 0;
    dv.MMODE = solver::MASTER_PHASE2;
    for (int32_t k = 1; k <= pb.NSUB; ++k)
        if (pb.KFLAG[k] == 1) dv.MMODE = solver::MASTER_PHASE1;
    ms.RCODE = RC_DONE;

    for (;;) {
        bool entered = false;
        for (int32_t k = 1; k <= pb.NSUB; ++k) dv.ENTD[k] = 0.0f;
        for (int32_t k = 1; k <= pb.NSUB; ++k) {
            if (sv.NPROP[k] == NSLOT) continue;
            sv.KCUR = static_cast<int16_t>(k);
            sv.IERR = 0;
            StoreWork w = store_view(ds, k);
            sv.STMODE = dv.SMODE == solver::SX_FRESH ? STORE_COPY_SETUP : STORE_COPY_PASS;
            sv.IERR = unpktb(ds.store, w, sv.STMODE, static_cast<int16_t>(k), ds.pnt);
            sv.STMODE = 0;
            if (sv.IERR != 0) {
                ms.RCODE = RC_ERROR;
                return;
            }
            if (sv.DMPSW != 0) dump_work_tableau(ds, k);
            simplx(ds.fam, dv.SMODE);
            if (sv.IERR == err::SIMPLEX_FAIL) {
                ms.RCODE = RC_ERROR;
                return;
            }
            if (sv.IERR == err::NOT_IN_ICOLSV) {
                ds.pnt.write(fmt::lines::not_in_icolsv(), {static_cast<int16_t>(k), sv.LBLBAD});
                ms.RCODE = RC_STOP;
                return;
            }
            if (sv.IERR == err::NODE_INFEASIBLE) {
                ms.RCODE = RC_INFEASIBLE;
                return;
            }
            sv.KCUR = static_cast<int16_t>(k);
            sv.IERR = 0;
            w = store_view(ds, k);
            sv.IERR = packtb(ds.store, w, STORE_COPY_PASS, static_cast<int16_t>(k), ds.pnt);
            sv.STMODE = 0;
            if (sv.IERR != 0) {
                ms.RCODE = RC_ERROR;
                return;
            }
            if (sv.IREJ == 1) {
                sv.IREJ = 0;
                continue;
            }
            const int32_t n = sv.NPROP[k] + 1;
            if (!proposal_enters(ds.fam, k, n)) continue;
            if (ms.NCOLM + 1 > TMCOLS) continue;  // cannot happen: 7 columns per subproblem
            if (!add_column(ds.fam, k, n, sv.PROPZ[k][n] + price_deduction(ds.fam, k, n))) {
                ms.RCODE = RC_STOP;
                return;
            }
            if (retain_column(ds.fam, k, n)) {
                dv.ENTD[k] = 1.0f;
                entered = true;
            }
        }
        if (!entered) {
            if (sv.PRTSW == 1) print_continuous(ds.fam);
            ms.RCODE = RC_DONE;
            return;
        }

        master(ds.fam, dv.MMODE);
        if (sv.IERR == err::NO_MASTER_PLACE) {
            int32_t r = ms.MBADROW;
            int32_t lab = (r >= 1 && r <= ms.NROWM) ? ms.IROWM[r] : 0;
            ds.pnt.write(fmt::lines::master_variable(), {lab});
            ds.pnt.write(fmt::lines::status_line(), fmt::ints(std::span<const int32_t>(&ms.ICOLM[1], ms.NCOLM)));
            ms.RCODE = RC_STOP;
            return;
        }
        if (sv.IERR == err::SIMPLEX_FAIL) {
            ms.RCODE = RC_INFEASIBLE;
            return;
        }

        dv.SMODE = solver::SX_CONTINUE;
        if (!combine(ds.fam)) {
            dv.INTFL[l] = 0;
            continue;
        }
        dv.INTFL[l] = 1;
        take_incumbent(ds.fam);
    }
}

}  // namespace kav::decomp
