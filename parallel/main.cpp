// kavmpi: the parallel decomposition program.  Rank 0 reads the input set,
// hands every worker its subproblem and runs the two master problems; every
// other rank serves one subproblem for one master problem.
#include <mpi.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>

#include "comm.hpp"
#include "dlines.hpp"
#include "input.hpp"
#include "search.hpp"
#include "worker.hpp"

using namespace kav;
using namespace kav::mpi;

namespace {

void set_constants(decomp::SolverState& sv) {
    sv.TOLZER = 5e-18;
    sv.TOLELM = 5e-8;
    sv.TOLPIV = 5e-6;
    sv.OBJSCL = 30000.0;
    sv.BIG = 1e300;
    sv.PRTSW = 1;
    sv.DMPSW = 0;
    sv.MPIRUN = 1;
}

// The results record behind the flag word: no result for any level.  When
// an earlier file failed to open, PAR5.DAT is opened for it if it is there
// (a missing one is not created just to say that nothing was solved).
void write_no_results(MpiState& st) {
    if (!st.par5.is_open()) {
        const std::string path = data_path("C:\\KAV\\PAR5.DAT");
        if (::access(path.c_str(), F_OK) != 0 || st.par5.open(path) != 0) return;
    }
    if (st.par5.seek(2) != 0) return;
    for (int l = 0; l < 6; ++l) st.par5.put(37.0);
    st.par5.put(int16_t{0});
}

// A failure before every worker has its set-up: the error line, the results
// record, and every process ends (no worker may wait for a set-up message
// that never comes).
[[noreturn]] void setup_failure(MpiState& st, int32_t problem) {
    st.pnt.write(decomp::dl::error_line_mpi(), {problem, st.IERR});
    write_no_results(st);
    st.par5.close();  // the record must be in the file before the abort
    st.pnt.close();
    abort_all(1);
}

void master_run(MpiState& st) {
    DecompBox box;
    set_constants(box->sv);
    st.KPROC = 0;
    st.KMAST = 3;  // the values the start-up's stop-word loops leave
    st.KSUB = 31;
    st.pnt.open(data_path("C:\\KAV\\KAV100.PNT"));
    st.pnt.write(fmt::lines::banner3(), {int32_t{1}});
    if (open_input(st) != 0) setup_failure(st, 1000 * st.KMAST + st.KSUB);
    st.IERR = read_header(st);
    if (st.IERR != 0) setup_failure(st, 777);
    st.IERR = read_and_send(st, *box);
    if (st.IERR != 0) setup_failure(st, (st.IERR == 27 || st.IERR == 28) ? 1000 * st.KMAST + st.KSUB : 777);
    master_search(st, box);
}

void worker_run(MpiState& st) {
    DecompBox box;
    set_constants(box->sv);
    st.KPROC = st.MYID;
    st.KSUB = static_cast<int16_t>((st.MYID + 1) / 2);
    char name[32];
    std::snprintf(name, sizeof name, "C:\\KAV\\KAV%3d.PNT", st.MYID + 100);
    st.pnt.open(data_path(name));
    st.pnt.write(fmt::lines::banner3(), {int32_t{1}});
    box->pnt.share(st.pnt);
    box->sv.KCUR = st.KSUB;
    if (!receive_setup(st, *box)) {
        st.IERR = 149;
        st.pnt.write(decomp::dl::error_line_mpi(), {st.KSUB, st.IERR});
        st.pnt.close();
        abort_all(1);
    }
    worker_loop(st, *box);
}

}  // namespace

namespace kav::mpi {

DecompBox::DecompBox() {
    void* mem = std::calloc(1, sizeof(decomp::DecompState));
    if (mem == nullptr) std::abort();
    p = new (mem) decomp::DecompState;
}
DecompBox::~DecompBox() {
    p->~DecompState();
    std::free(p);
}

}  // namespace kav::mpi

int main(int argc, char** argv) {
    sse_flush_denormals();
    MPI_Init(&argc, &argv);
    MpiState st;
    MPI_Comm_size(MPI_COMM_WORLD, &st.NPROCS);
    MPI_Comm_rank(MPI_COMM_WORLD, &st.MYID);
    if (st.MYID == 0)
        master_run(st);
    else
        worker_run(st);
    st.pnt.close();
    MPI_Finalize();
    return 0;
}
