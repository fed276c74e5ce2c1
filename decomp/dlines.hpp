// Print lines of the driver side of the decomposition library (DECOMP,
// CYCLE, MASTER, BRANCH, SELECT).  Each format is parsed once.
#pragma once

#include <span>
#include <vector>

#include "fmt.hpp"

namespace kav::decomp::dl {

#define KAV_DL_LINE(name, text)                  \
    inline const fmt::Format& name() {           \
        static const fmt::Format f(text);        \
        return f;                                \
    }

KAV_DL_LINE(iteration_no, "(/7HPROBLEM,I4,13H ITERATION NO,I6)")
KAV_DL_LINE(values8, "(8D13.5/(1H , 8D13.5))")
KAV_DL_LINE(row_label, "(114X,I6)")
KAV_DL_LINE(optimal, "(/7HPROBLEM,I4,26H OPTIMAL SOLUTION COMPLETE/)")
KAV_DL_LINE(objective, "(/20HOBJECTIVE FUNCTION =,F20.7,13H AT ITERATION,I6/)")
KAV_DL_LINE(structural, "(/26HSTRUCTURAL VARIABLES: X(I)/)")
KAV_DL_LINE(index_list, "(/3HI =,(7I10))")
KAV_DL_LINE(value_list, "(/3X,(7D10.3))")
KAV_DL_LINE(continuous_complete, "(/34HCONTINUOUS TOTAL SOLUTION COMPLETE/)")
KAV_DL_LINE(best_mixed, "(/58HBEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL,I6)")
KAV_DL_LINE(not_in_icolsv, "(/10HSUBPROBLEM,I3,9H VARIABLE,I6,20H NOT FOUND IN ICOLSV/)")
KAV_DL_LINE(not_in_master, "(/7HPROBLEM,I3,9H VARIABLE,I6,33H NOT FOUND IN ICOL, IROW, OR IVAR/)")
KAV_DL_LINE(master_variable, "(/23HMASTER PROGRAM VARIABLE,I6,37H IS NOT = SUBPROBLEM K + VARIABLE NO./)")
KAV_DL_LINE(initial_tableau, "(/7HPROBLEM,I4,24H INITIAL WORKING TABLEAU/)")
KAV_DL_LINE(tableau_read, "(/7HPROBLEM,I4,23H TABLEAU READ FROM DISK/)")
KAV_DL_LINE(bp_increased, "(/25HBRANCH POINT INCREASED TO,I6,8H PROBLEM,I3,9H VARIABLE,I6,6H IBOTH,I3/)")
KAV_DL_LINE(bp_changed, "(/12HBRANCH POINT,I6,19H CHANGED TO PROBLEM,I3,9H VARIABLE,I6,6H IBOTH,I6/)")
KAV_DL_LINE(bp_decreased, "(/25HBRANCH POINT DECREASED TO,I6,8H PROBLEM,I3,9H VARIABLE,I6/)")
KAV_DL_LINE(caused_total, "(/7HPROBLEM,I4,13H AT ITERATION,I6,60H CAUSED TOTAL SOLUTION TO BE < BIG, INFEASIBLE, OR UNBOUNDED)")
KAV_DL_LINE(no_mixed, "(/27HNO MIXED 0-Z SOLUTION FOUND/)")
KAV_DL_LINE(sens_level, "(/17HSENSITIVITY LEVEL,I6/)")
KAV_DL_LINE(total_iter_prob, "(/37HTOTAL NUMBER OF ITERATIONS OF PROBLEM,I2, 2H =,I7/)")
KAV_DL_LINE(total_iter_master, "(/47HTOTAL NUMBER OF ITERATIONS OF MASTER PROBLEM  =,I7/)")

KAV_DL_LINE(error_line_mpi, "(/7HPROBLEM,I5,11H ERROR CODE,I3,/)")

#undef KAV_DL_LINE

// The banner and error lines of the running program (see SolverState::MPIRUN).
inline const fmt::Format& banner(int16_t mpirun) { return mpirun ? fmt::lines::banner3() : fmt::lines::banner5(); }
inline const fmt::Format& error_line(int16_t mpirun) {
    return mpirun ? error_line_mpi() : fmt::lines::error_line();
}

// Item lists built from arrays.
inline std::vector<fmt::Item> reals(std::span<const double> v) {
    std::vector<fmt::Item> out;
    out.reserve(v.size());
    for (double x : v) out.emplace_back(x);
    return out;
}
inline std::vector<fmt::Item> ints(std::span<const int16_t> v) {
    std::vector<fmt::Item> out;
    out.reserve(v.size());
    for (int16_t x : v) out.emplace_back(x);
    return out;
}
inline std::vector<fmt::Item> ints(std::span<const int32_t> v) {
    std::vector<fmt::Item> out;
    out.reserve(v.size());
    for (int32_t x : v) out.emplace_back(x);
    return out;
}
// The integers first..last.
inline std::vector<fmt::Item> count_list(int32_t first, int32_t last) {
    std::vector<fmt::Item> out;
    for (int32_t i = first; i <= last; ++i) out.emplace_back(i);
    return out;
}

}  // namespace kav::decomp::dl
