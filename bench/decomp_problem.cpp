// Writes one generated decomposition problem through the library's entry
// (statically linked core) into $KAV_DATA_DIR and solves it there, so that
// the hand-off files can be arranged into kavmpi's input set.  Prints the
// result, the wall time of the calls (the library's 500 ms wait per level
// left out) and the pivots of the master and of every subproblem.
// Usage: decomp_problem NSUB NROW NCOL NCR NZ
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "generated_problem.hpp"
#include "platform.hpp"

namespace {
void no_sleep(int32_t) {}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: decomp_problem NSUB NROW NCOL NCR NZ\n");
        return 2;
    }
    const kav::bench::Shape sh{std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                               std::atoi(argv[5])};
    if (const char* why = kav::bench::fits(sh)) {
        std::fprintf(stderr, "decomp_problem: shape out of range: %s\n", why);
        return 2;
    }
    kav::set_sleep_function(&no_sleep);
    const kav::bench::Data d = kav::bench::make_problem(sh);
    const auto t0 = std::chrono::steady_clock::now();
    const kav::bench::Outcome o = kav::bench::solve(d);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("library: RESV %.17g  wall %.3f s  master pivots %lld  subproblem pivots", o.resv, secs,
                static_cast<long long>(o.master_pivots));
    for (int32_t p : o.pivots_of) std::printf(" %d", p);
    std::printf("\n");
    return 0;
}
