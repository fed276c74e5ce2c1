// Numbers the decomposition solvers write with the banner line
// "BESM ELLAH EL RAHMAN EL RAHIM" besides the stops of the entry: the start
// of a print file, the end of a solve, limits reached and the headers of the
// diagnostic dumps.
#pragma once

#include <cstdint>

namespace kav::mark {

constexpr int16_t START = 1;          // first line of a print file
constexpr int16_t TABLEAU_REBUILD = 1;   // a subproblem tableau does not rebuild to its counts
constexpr int16_t COUPLING_REBUILD = 2;  // a coupling matrix does not rebuild to its counts
constexpr int16_t ARTIFICIAL_STAYS = 2;  // an artificial variable cannot leave at the end of a first phase
constexpr int16_t NO_PIVOT = 5;       // no pivot possible outside branch and bound
constexpr int16_t SOLVE_END = 6;      // written 100 times at the normal end of the solve
constexpr int16_t ERROR_END = 7;      // written 100 times before the error line of a failed solve
constexpr int16_t LIMIT = 37;         // a branch-point, pivot or master limit was reached
constexpr int16_t DUMP_CSCL = 46;     // diagnostic dump: the column scales follow
constexpr int16_t DUMP_RSCL = 47;     // diagnostic dump: the row scales follow
constexpr int16_t DUMP_TABLEAU = 55;  // diagnostic dump: the tableau follows
constexpr int16_t FULL = 777;         // kavmpi: a subproblem with all its proposal slots in use is passed over

// Problem number of the error and dump lines that name no single subproblem.
constexpr int16_t ALL_PROBLEMS = 777;

}  // namespace kav::mark
