// Pivot counter of the benchmark build of kavmpi (kavmpi_pivots): every
// exchange step of a subproblem simplex goes through the kernel's PIVOT,
// which is wrapped at link time (bench/CMakeLists.txt).  At its end each
// process writes its count to standard error as "rank R pivots N"; R is
// taken from the process manager's PMI_RANK, since MPI is finalised by then.
#include <cstdio>
#include <cstdlib>

namespace kav::kernel {
struct Tableau;
}

namespace {

long g_pivots = 0;

struct Report {
    ~Report() {
        const char* r = std::getenv("PMI_RANK");
        std::fprintf(stderr, "rank %s pivots %ld\n", r != nullptr ? r : "?", g_pivots);
    }
} g_report;

}  // namespace

extern "C" {
void __real__ZN3kav6kernel5pivotERNS0_7TableauEii(kav::kernel::Tableau&, int, int);
void __wrap__ZN3kav6kernel5pivotERNS0_7TableauEii(kav::kernel::Tableau& t, int r, int c) {
    ++g_pivots;
    __real__ZN3kav6kernel5pivotERNS0_7TableauEii(t, r, c);
}
}
