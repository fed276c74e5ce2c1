// Print lines of the single-problem library.  Lines it shares with the
// decomposition library's driver side come from there; each format is
// parsed once.
#pragma once

#include "../decomp/dlines.hpp"
#include "fmt.hpp"

namespace kav::single::sl {

using decomp::dl::count_list;
using decomp::dl::ints;
using decomp::dl::objective;
using decomp::dl::reals;
using decomp::dl::sens_level;
using decomp::dl::structural;
using decomp::dl::values8;
using decomp::dl::index_list;
using decomp::dl::value_list;

#define KAV_SL_LINE(name, text)           \
    inline const fmt::Format& name() {    \
        static const fmt::Format f(text); \
        return f;                         \
    }

// Entry.
KAV_SL_LINE(levels, "(/24HNO OF SENSITIVITY LEVELS/I17/)")
KAV_SL_LINE(dims, "(/19HNO OF ROWS, COLUMNS/I4,2H X, I4/)")
KAV_SL_LINE(types, "(/16HCONSTRAINT TYPES/)")
KAV_SL_LINE(type_list, "(24I3)")
KAV_SL_LINE(echo, "(/57HINPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS/)")
KAV_SL_LINE(matrix_row, "(10D13.3/(1H , 10D13.3))")
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
