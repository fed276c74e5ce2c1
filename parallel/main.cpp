// kavmpi: the parallel decomposition program.  Rank 0 reads the input set,
// hands every worker its subproblem and runs the two master problems; every
// other rank serves one subproblem for one master problem.
#include <mpi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "comm.hpp"
#include "errcodes.hpp"
#include "handoff.hpp"
#include "labels.hpp"
#include "input.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "search.hpp"
#include "worker.hpp"

using namespace kav;
using namespace kav::mpi;

namespace {

// Rank W's print file is KAV followed by W + 100 in three digits.
constexpr int PRINT_FILE_BASE = 100;

// The results record behind the flag word: no result for any level.  When
// an earlier file failed to open, PAR5.DAT is opened for it if it is there
// (a missing one is not created just to say that nothing was solved).
void write_no_results(MpiState& st) {
    if (!st.par5.is_open()) {
        const std::string path = data_path("C:\\KAV\\PAR5.DAT");
        if (::access(path.c_str(), F_OK) != 0 || st.par5.open(path) != 0) return;
    }
    if (st.par5.seek(handoff::RESULTS_AT) != 0) return;
    handoff::Out out{st.par5};
    handoff::put_no_results(out);
}

// A failure before every worker has its set-up: the error line, the results
// record, and every process ends (no worker may wait for a set-up message
// that never comes).
[[noreturn]] void setup_failure(MpiState& st, int32_t problem) {
    st.pnt.write(fmt::lines::error_line5(), {problem, st.IERR});
    write_no_results(st);
    st.par5.close();  // the record must be in the file before the abort
    st.pnt.close();
    abort_all(1);
}

void master_run(MpiState& st) {
    st.KPROC = 0;
    st.KMAST = KMAST_AFTER_START;  // the values the start-up's stop-word loops leave
    st.KSUB = KSUB_AFTER_START;
    const int32_t start_problem = lbl::PROP * st.KMAST + st.KSUB;
    st.pnt.open(data_path("C:\\KAV\\KAV100.PNT"));
    st.pnt.write(fmt::lines::banner3(), {int32_t{mark::START}});
    if (open_input(st) != 0) setup_failure(st, start_problem);
    st.IERR = read_header(st);
    if (st.IERR != 0) setup_failure(st, mark::ALL_PROBLEMS);
    st.IERR = read_and_send(st);
    if (st.IERR != 0)
        setup_failure(st, (st.IERR == err::OPEN_TAB0 || st.IERR == err::OPEN_1TAB0) ? start_problem
                                                                                      : mark::ALL_PROBLEMS);
    make_master_solves(st);
    master_search(st);
}

void worker_run(MpiState& st) {
    st.KPROC = st.MYID;
    st.KSUB = static_cast<int16_t>((st.MYID + 1) / NPERSUB);
    char name[32];
    std::snprintf(name, sizeof name, "C:\\KAV\\KAV%3d.PNT", st.MYID + PRINT_FILE_BASE);
    st.pnt.open(data_path(name));
    st.pnt.write(fmt::lines::banner3(), {int32_t{mark::START}});
    if (!receive_setup(st)) {
        st.IERR = ERR_BAD_MESSAGE;
        st.pnt.write(fmt::lines::error_line5(), {st.KSUB, st.IERR});
        st.pnt.close();
        abort_all(1);
    }
    st.sub->pnt.share(st.pnt);
    st.sub->sv.KCUR = st.KSUB;
    worker_loop(st);
}

}  // namespace

int main(int argc, char** argv) {
    sse_flush_denormals();
    MPI_Init(&argc, &argv);
    auto st = std::make_unique<MpiState>();
    MPI_Comm_size(MPI_COMM_WORLD, &st->NPROCS);
    MPI_Comm_rank(MPI_COMM_WORLD, &st->MYID);
    if (st->MYID == 0)
        master_run(*st);
    else
        worker_run(*st);
    st->pnt.close();
    MPI_Finalize();
    return 0;
}
