// Messages of kavmpi over MPI (16-bit and 32-bit integers, 32-bit and 64-bit
// reals as the fixed-width MPI types).
#include "comm.hpp"

#include <mpi.h>

namespace kav::mpi {

namespace {

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

template <class T>
void send_t(int peer, int worker, int code, const T* p, int32_t n) {
    MPI_Send(p, n, type_of<T>(), peer, tag_of(worker, code), MPI_COMM_WORLD);
}
template <class T>
void recv_t(int peer, int worker, int code, T* p, int32_t n) {
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
    MPI_Abort(MPI_COMM_WORLD, status);
    for (;;) {
    }
}

}  // namespace kav::mpi
