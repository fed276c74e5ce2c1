// The print vocabulary that several programs share: the banner and error
// lines, the status and value lines, the solution blocks and the branch
// trace of the decomposition solvers, the echo lines of the entries.
//
// Each line is a format of the edit-descriptor notation, parsed once on
// first use.  A program's own lines stay with the program; a line lives
// here as soon as two programs write it, so its text exists once.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fmt.hpp"

namespace kav::fmt::lines {

#define KAV_LINE(name, text)              \
    inline const Format& name() {         \
        static const Format f(text);      \
        return f;                         \
    }

// ---- first line of every print file, stops and trace marks ----------------
KAV_LINE(banner3, "(/29HBESM ELLAH EL RAHMAN EL RAHIM,I3/)")
KAV_LINE(banner5, "(/29HBESM ELLAH EL RAHMAN EL RAHIM,I5/)")

// ---- error lines: problem number in four or five digits -------------------
KAV_LINE(error_line, "(/7HPROBLEM,I4,11H ERROR CODE,I3,/)")
KAV_LINE(error_line5, "(/7HPROBLEM,I5,11H ERROR CODE,I3,/)")

// ---- start and end times, status words, headers of the input echo ---------
KAV_LINE(time_lines, "(/2A12/)")
KAV_LINE(status_line, "(I13, 7I13)")
KAV_LINE(input_header, "(47HNO OF SUBPROBLEMS, AND NO OF SENSITIVITY LEVELS//2I17)")
KAV_LINE(types, "(/16HCONSTRAINT TYPES/)")
KAV_LINE(type_list, "(24I3)")
KAV_LINE(matrix_row, "(10D13.3/(1H , 10D13.3))")

// ---- values: eight a line (dumps, increments), a row's label --------------
KAV_LINE(values8, "(8D13.5/(1H , 8D13.5))")
KAV_LINE(row_label, "(114X,I6)")

// ---- the solution blocks ------------------------------------------------------
KAV_LINE(iteration_no, "(/7HPROBLEM,I4,13H ITERATION NO,I6)")
KAV_LINE(optimal, "(/7HPROBLEM,I4,26H OPTIMAL SOLUTION COMPLETE/)")
KAV_LINE(objective, "(/20HOBJECTIVE FUNCTION =,F20.7,13H AT ITERATION,I6/)")
KAV_LINE(structural, "(/26HSTRUCTURAL VARIABLES: X(I)/)")
KAV_LINE(index_list, "(/3HI =,(7I10))")
KAV_LINE(value_list, "(/3X,(7D10.3))")
KAV_LINE(continuous_complete, "(/34HCONTINUOUS TOTAL SOLUTION COMPLETE/)")
KAV_LINE(best_mixed, "(/58HBEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL,I6)")
KAV_LINE(no_mixed, "(/27HNO MIXED 0-Z SOLUTION FOUND/)")
KAV_LINE(sens_level, "(/17HSENSITIVITY LEVEL,I6/)")

// ---- faults of the decomposition routines -----------------------------------
KAV_LINE(not_in_icolsv, "(/10HSUBPROBLEM,I3,9H VARIABLE,I6,20H NOT FOUND IN ICOLSV/)")
KAV_LINE(not_in_master, "(/7HPROBLEM,I3,9H VARIABLE,I6,33H NOT FOUND IN ICOL, IROW, OR IVAR/)")
KAV_LINE(master_variable, "(/23HMASTER PROGRAM VARIABLE,I6,37H IS NOT = SUBPROBLEM K + VARIABLE NO./)")

// ---- dumps ----------------------------------------------------------------------
KAV_LINE(initial_tableau, "(/7HPROBLEM,I4,24H INITIAL WORKING TABLEAU/)")
KAV_LINE(tableau_read, "(/7HPROBLEM,I4,23H TABLEAU READ FROM DISK/)")

// ---- branch trace of the decomposition searches ---------------------------------
KAV_LINE(bp_increased, "(/25HBRANCH POINT INCREASED TO,I6,8H PROBLEM,I3,9H VARIABLE,I6,6H IBOTH,I3/)")
KAV_LINE(bp_changed, "(/12HBRANCH POINT,I6,19H CHANGED TO PROBLEM,I3,9H VARIABLE,I6,6H IBOTH,I6/)")
KAV_LINE(bp_decreased, "(/25HBRANCH POINT DECREASED TO,I6,8H PROBLEM,I3,9H VARIABLE,I6/)")

#undef KAV_LINE

}  // namespace kav::fmt::lines

namespace kav::fmt {

// Item lists built from arrays.
inline std::vector<Item> reals(std::span<const double> v) {
    std::vector<Item> out;
    out.reserve(v.size());
    for (double x : v) out.emplace_back(x);
    return out;
}
inline std::vector<Item> ints(std::span<const int16_t> v) {
    std::vector<Item> out;
    out.reserve(v.size());
    for (int16_t x : v) out.emplace_back(x);
    return out;
}
inline std::vector<Item> ints(std::span<const int32_t> v) {
    std::vector<Item> out;
    out.reserve(v.size());
    for (int32_t x : v) out.emplace_back(x);
    return out;
}
// The integers first..last.
inline std::vector<Item> count_list(int32_t first, int32_t last) {
    std::vector<Item> out;
    for (int32_t i = first; i <= last; ++i) out.emplace_back(i);
    return out;
}

}  // namespace kav::fmt
