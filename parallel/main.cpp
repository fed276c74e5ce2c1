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
    handoff::write_no_results(st.par5);
}

// A print file that could not be opened or written whole: one line on
// standard error; the process then ends with status 1.
int print_report(const MpiState& st) {
    if (st.pnt.status() == 0) return 0;
    const char* verb = st.pnt.is_open() ? "write" : "open";
    std::fprintf(stderr, "kavmpi: rank %d: %s\n", st.MYID,
                 describe_failure(verb, st.pnt.path(), st.pnt.status()).c_str());
    return 1;
}

// A failure before every worker has its set-up: the error line, the results
// record, and every process ends (no worker may wait for a set-up message
// that never comes).
[[noreturn]] void setup_failure(MpiState& st, int32_t problem) {
    st.pnt.write(fmt::lines::error_line5(), {problem, st.IERR});
    write_no_results(st);
    st.par5.close();  // the record must be in the file before the abort
    print_report(st);
    st.pnt.close();
    abort_all(1);
}

int master_run(MpiState& st) {
    st.KPROC = 0;
    st.KMAST = KMAST_AFTER_START;  // the values the start-up's stop-word loops leave
    st.KSUB = KSUB_AFTER_START;
    const int32_t start_problem = lbl::PROP * st.KMAST + st.KSUB;
    if (st.pnt.open(data_path("C:\\KAV\\KAV100.PNT")) != 0 && !data_dir_exists()) {
        // Without the folder nothing can be read or written: say why, once.
        std::fprintf(stderr, "kavmpi: %s\n", describe_failure("open", st.pnt.path(), st.pnt.status()).c_str());
        abort_all(1);
    }
    st.pnt.write(fmt::lines::banner3(), {int32_t{mark::START}});
    if (open_input(st) != 0) setup_failure(st, start_problem);
    st.IERR = read_header(st);
    if (st.IERR != 0) setup_failure(st, mark::ALL_PROBLEMS);
    st.IERR = read_and_send(st);
    if (st.IERR != 0)
        setup_failure(st, (st.IERR == err::OPEN_TAB0 || st.IERR == err::OPEN_1TAB0) ? start_problem
                                                                                      : mark::ALL_PROBLEMS);
    make_master_solves(st);
    if (const int status = master_search(st); status != 0) {
        std::fprintf(stderr, "kavmpi: %s\n", describe_failure("write", data_path("C:\\KAV\\PAR5.DAT"), status).c_str());
        return 1;
    }
    return 0;
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
    file_size_limit_as_status();
    MPI_Init(&argc, &argv);
    auto st = std::make_unique<MpiState>();
    MPI_Comm_size(MPI_COMM_WORLD, &st->NPROCS);
    MPI_Comm_rank(MPI_COMM_WORLD, &st->MYID);
    int status = 0;
    if (st->MYID == 0)
        status = master_run(*st);
    else
        worker_run(*st);
    status |= print_report(*st);
    st->pnt.close();
    MPI_Finalize();
    return status;
}
