// Messages of kavmpi over MPI (16-bit and 32-bit integers, 32-bit and 64-bit
// reals as the fixed-width MPI types).
#include "comm.hpp"

#include <mpi.h>

#include <cstdio>
#include <cstdlib>
#include <time.h>

#include "platform.hpp"

namespace kav::mpi {

namespace {

// Probes of a waiting receive before it starts to sleep, and the pause
// between later probes: from PAUSE_FIRST_NS doubling up to PAUSE_LAST_NS.
constexpr int EAGER_PROBES = 200;
constexpr long PAUSE_FIRST_NS = 20000;
constexpr long PAUSE_LAST_NS = 1000000;
// Pause before an abort (see abort_all).
constexpr int32_t ABORT_GRACE_MS = 200;

template <class T>
MPI_Datatype type_of();
template <>
MPI_Datatype type_of<int16_t>() { return MPI_INT16_T; }
template <>
MPI_Datatype type_of<int32_t>() { return MPI_INT32_T; }
template <>
MPI_Datatype type_of<float>() { return MPI_FLOAT; }
template <>
MPI_Datatype type_of<double>() { return MPI_DOUBLE; }

// Waits until a message from `peer` with `tag` has arrived.  MPICH's own
// blocking receive polls without pause, so a rank that waits would keep its
// core busy; with more ranks than cores (the workers of a master problem
// that is not being solved wait through whole searches) those waiting ranks
// would take the cores of the ranks that compute.  Here a waiting rank
// probes a few times at once (a reply that follows within microseconds is
// taken without delay), then sleeps between probes, the pause doubling from
// 20 us up to 1 ms.
void wait_for(int peer, int tag) {
    int flag = 0;
    for (int i = 0; i < EAGER_PROBES; ++i) {
        MPI_Iprobe(peer, tag, MPI_COMM_WORLD, &flag, MPI_STATUS_IGNORE);
        if (flag != 0) return;
    }
    long pause_ns = PAUSE_FIRST_NS;
    for (;;) {
        MPI_Iprobe(peer, tag, MPI_COMM_WORLD, &flag, MPI_STATUS_IGNORE);
        if (flag != 0) return;
        const timespec ts{0, pause_ns};
        nanosleep(&ts, nullptr);
        if (pause_ns < PAUSE_LAST_NS) pause_ns *= 2;
    }
}

template <class T>
void send_t(int peer, int worker, int code, const T* p, int32_t n) {
    MPI_Send(p, n, type_of<T>(), peer, tag_of(worker, code), MPI_COMM_WORLD);
}
template <class T>
void recv_t(int peer, int worker, int code, T* p, int32_t n) {
    wait_for(peer, tag_of(worker, code));
    MPI_Recv(p, n, type_of<T>(), peer, tag_of(worker, code), MPI_COMM_WORLD, MPI_STATUS_IGNORE);
}

}  // namespace

void send(int peer, int worker, int code, const int16_t* p, int32_t n) { send_t(peer, worker, code, p, n); }
void send(int peer, int worker, int code, const int32_t* p, int32_t n) { send_t(peer, worker, code, p, n); }
void send(int peer, int worker, int code, const float* p, int32_t n) { send_t(peer, worker, code, p, n); }
void send(int peer, int worker, int code, const double* p, int32_t n) { send_t(peer, worker, code, p, n); }
void recv(int peer, int worker, int code, int16_t* p, int32_t n) { recv_t(peer, worker, code, p, n); }
void recv(int peer, int worker, int code, int32_t* p, int32_t n) { recv_t(peer, worker, code, p, n); }
void recv(int peer, int worker, int code, float* p, int32_t n) { recv_t(peer, worker, code, p, n); }
void recv(int peer, int worker, int code, double* p, int32_t n) { recv_t(peer, worker, code, p, n); }

void abort_all(int status) {
    // The process manager forwards what a rank wrote to its standard error
    // on its own time and drops what is still on the way when the run is
    // aborted: the reason for the abort gets a moment to reach the user.
    std::fflush(nullptr);
    sleep_ms(ABORT_GRACE_MS);
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);  // MPI_Abort does not return; should it, this process ends all the same
}

}  // namespace kav::mpi
