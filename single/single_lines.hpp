// Print lines of the single-problem library.  Lines it shares with the
// other programs come from the shared vocabulary; each format is parsed
// once.
#pragma once

#include "fmt.hpp"
#include "lines.hpp"

namespace kav::single::sl {

using fmt::count_list;
using fmt::ints;
using fmt::reals;
using fmt::lines::index_list;
using fmt::lines::matrix_row;
using fmt::lines::type_list;
using fmt::lines::types;
using fmt::lines::objective;
using fmt::lines::sens_level;
using fmt::lines::structural;
using fmt::lines::value_list;
using fmt::lines::values8;

#define KAV_SL_LINE(name, text)           \
    inline const fmt::Format& name() {    \
        static const fmt::Format f(text); \
        return f;                         \
    }

// Entry.
KAV_SL_LINE(levels, "(/24HNO OF SENSITIVITY LEVELS/I17/)")
KAV_SL_LINE(dims, "(/19HNO OF ROWS, COLUMNS/I4,2H X, I4/)")
KAV_SL_LINE(echo, "(/57HINPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS/)")
KAV_SL_LINE(error, "(/18HPROBLEM ERROR CODE,I3,/)")
KAV_SL_LINE(iterations, "(/39HTOTAL NUMBER OF ITERATIONS OF PROBLEM =,I7/)")
KAV_SL_LINE(no_solution, "(/21HNO 0-1 SOLUTION FOUND/)")
KAV_SL_LINE(not_found, "(/16HPROBLEM VARIABLE,I6,20H NOT FOUND IN ICOLSV/)")
// Simplex.
KAV_SL_LINE(optimal, "(/33HPROBLEM OPTIMAL SOLUTION COMPLETE/)")
KAV_SL_LINE(best, "(/58HBEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL,I6/)")
// Search.
KAV_SL_LINE(bp_increased, "(/25HBRANCH POINT INCREASED TO,I6,17H PROBLEM VARIABLE,I6,6H IBOTH,I3/)")
KAV_SL_LINE(bp_changed, "(/12HBRANCH POINT,I6,28H CHANGED TO PROBLEM VARIABLE,I6,6H IBOTH,I6/)")
KAV_SL_LINE(bp_decreased, "(/25HBRANCH POINT DECREASED TO,I6,17H PROBLEM VARIABLE,I6/)")
KAV_SL_LINE(caused,
            "(/20HPROBLEM AT ITERATION,I6,58H CAUSED TOTAL SOLUTION TO BE INTEGER, < BIG, OR INFEASIBLE/)")

#undef KAV_SL_LINE

}  // namespace kav::single::sl
