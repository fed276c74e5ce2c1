// Messages of kavmpi: blocking point-to-point sends and receives between
// rank 0 and one worker on MPI_COMM_WORLD, tagged 1000 * worker rank + code
// (messages.hpp holds the codes).
#pragma once

#include <cstdint>

#include "messages.hpp"

namespace kav::mpi {

// `worker` is the worker's rank on both sides; `peer` the rank talked to.
void send(int peer, int worker, int code, const int16_t* p, int32_t n);
void send(int peer, int worker, int code, const int32_t* p, int32_t n);
void send(int peer, int worker, int code, const float* p, int32_t n);
void send(int peer, int worker, int code, const double* p, int32_t n);
void recv(int peer, int worker, int code, int16_t* p, int32_t n);
void recv(int peer, int worker, int code, int32_t* p, int32_t n);
void recv(int peer, int worker, int code, float* p, int32_t n);
void recv(int peer, int worker, int code, double* p, int32_t n);

// One value.
template <class T>
void send1(int peer, int worker, int code, T v) {
    send(peer, worker, code, &v, 1);
}
template <class T>
T recv1(int peer, int worker, int code) {
    T v{};
    recv(peer, worker, code, &v, 1);
    return v;
}

// Ends every process of the run with a nonzero status (used when process 0
// fails before every worker has its set-up, so that no rank waits forever).
[[noreturn]] void abort_all(int status);

}  // namespace kav::mpi
