// Set-up pieces that the library's driver and kavmpi share.
#pragma once

#include <cstdint>

#include "family.hpp"

namespace kav::solver {

// Scales the M x N work tableau of problem k as the set-up stores it: the
// objective row by OSCL(k) (and negated), row i by RSCL(k,i), column j by
// CSCL(k,j), each the geometric mean of the smallest and largest magnitude
// above 0.001 (a row scale below 100 divided by 1000).  False, with IERR 73,
// when a row has no such entry.
bool scale_tableau(State& ds, int32_t k);

// The master tableau of the set-up: the convexity rows and the common
// resources' right-hand sides RHSC, no proposal column yet.
void setup_master(State& ds);

// The row and column of increment (column code c, row code r) in an m x n
// tableau; false when either lies outside it.
bool increment_place(int16_t c, int16_t r, int32_t m, int32_t n, int32_t& row, int32_t& col);

}  // namespace kav::solver
