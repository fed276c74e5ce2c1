// Solve hand-over of the completing call: the wait, the driver, and the
// read-back of the results from PAR5.DAT into the host's arguments.
//
// The host only learns the outcome from RESV: every level that has no
// result (the run was incomplete, the driver could not finish it, or the
// read-back failed) comes back as 37.0, never with an older value.

#include "handover.hpp"

#include "driver.hpp"
#include "errcodes.hpp"
#include "fmt.hpp"
#include "handoff.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "platform.hpp"

namespace kav::decomp {

using solver::NLEV;

namespace {

void no_results(double* RESV) {
    for (int32_t l = 0; l < NLEV; ++l) RESV[l] = err::STNONE;
}

}  // namespace

void solve_handover(DecompState& s, int16_t* IFLAG, double* RESV, double* XRES) {
    EntryState& e = s.ent;
    if (!e.run_ok) {
        // An earlier call of the run ended with an error or a stop: the
        // hand-off files are incomplete, so there is nothing to solve.
        if (e.fail_ierr != 0)
            s.pnt.write(fmt::lines::error_line(), {e.fail_kprob, e.fail_ierr});
        else
            s.pnt.write(fmt::lines::banner3(), {e.fail_stop});
        e.IERR = e.fail_ierr;
        no_results(RESV);
        return;
    }

    sleep_ms(e.wait_ms);
    decomp(s);

    int st = e.par5.open(data_path("C:\\KAV\\PAR5.DAT"), BinUnit::Mode::sequential, BinUnit::Access::read);
    if (st != 0) {
        s.pnt.write(fmt::lines::status_line(), {static_cast<int32_t>(st)});
        e.IERR = err::OPEN_PAR5_AFTER;
        s.pnt.write(fmt::lines::error_line(), {e.KPROB, e.IERR});
        no_results(RESV);
        return;
    }
    handoff::In in{e.par5};
    const int16_t flag = in.get<int16_t>();
    if (!in.bad()) *IFLAG = flag;
    handoff::ResultsHead head{};
    handoff::get(in, head);
    // The count must be the one the run's subproblems give, or the values
    // would not fit the host's result array.
    int32_t expect = 0;
    const int32_t nsub = e.NSUB < 0 ? 0 : (e.NSUB > ENT_MAXSUB ? ENT_MAXSUB : e.NSUB);
    for (int32_t k = 0; k < nsub; ++k) expect += e.NCOL[k] - 2;
    if (in.bad() || head.NVRES != expect) {
        e.IERR = err::STORE_OR_SEEK;
        s.pnt.write(fmt::lines::error_line(), {mark::ALL_PROBLEMS, e.IERR});
        no_results(RESV);
        return;
    }
    for (int32_t l = 0; l < NLEV; ++l) RESV[l] = head.RESV[l];
    const int32_t nl = e.NLEVEL + 1 < 1 ? 1 : (e.NLEVEL + 1 > NLEV ? NLEV : e.NLEVEL + 1);
    for (int32_t l = 1; l <= nl; ++l) {
        for (int32_t j = 1; j <= head.NVRES; ++j) {
            const double x = in.get<double>();
            if (in.bad()) {
                e.IERR = err::READ_RESULT;
                s.pnt.write(fmt::lines::error_line(), {mark::ALL_PROBLEMS, e.IERR});
                no_results(RESV);
                return;
            }
            XRES[static_cast<int64_t>(j - 1) * NLEV + (l - 1)] = x;
        }
    }
}

}  // namespace kav::decomp
