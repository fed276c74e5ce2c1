// Internal helpers shared by the subproblem simplex and its proposal.
#pragma once

#include <cstdint>

#include "family.hpp"
#include "kernel.hpp"
#include "labels.hpp"

namespace kav::solver::sx {

// The running solve: the state, the current problem and views of the work
// tableau for the kernel.
struct Run {
    State& ds;
    SolverState& s;
    const Problem& pb;
    int32_t k;            // current problem K
    kernel::Consts kc;    // constants from the steering block
    kernel::Tableau tb;   // view of T for COLRNG / PIVOT
    kernel::Scales sc;    // view of the COLRNG results
    int32_t w = 0;        // row of the weight variable (0 = not basic)
    int32_t wc = 0;       // column of the weight variable (0 = not nonbasic)

    Run(State& d, int32_t kk);

    double& t(int32_t i, int32_t j) { return s.t(i, j); }
    double tol(int32_t i, int32_t j) const { return kernel::tolel_of(kc, sc, i, j); }
    // Column scale of problem column j (1.0 outside the table).
    double cscl(int32_t j) const { return (j >= 1 && j < s.CSCL.extent2()) ? s.CSCL[k][j] : 1.0; }
    int16_t nck() const { return pb.NCK[k]; }
    int16_t wlabel() const { return static_cast<int16_t>(pb.NCK[k] - 1); }
    // Rows of the coupling matrix, kept within its storage.
    int32_t ncrow() const { return pb.NCROW < 1 ? 1 : (pb.NCROW > s.ldc() ? s.ldc() : pb.NCROW); }

    void colrng();
    void pivot(int32_t r, int32_t c);
    void find_weight();   // sets w and wc
};

// Diagnostic dump of the solve (unit 8).
void diag_dump(Run& x);
// Tableau part of the dumps: column labels, then every row with its label.
void dump_tableau(Run& x);
// Code 6 with the diagnostic dump; lbl = the label searched for (or 0).
void fail6(Run& x, int32_t lbl);

// Proposal and 0-Z tail at the optimum.  Sets IERR 6 on a weight value 0 or
// a missing 0-Z entry; IREJ on a rejection.
void form_proposal(Run& x);

}  // namespace kav::solver::sx
