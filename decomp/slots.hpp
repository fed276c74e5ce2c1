// Coupling-matrix slots: WRTAB and RDTAB move one coupling matrix between
// memory and the packed files "TAB20.DAT" (values) / "1TAB20.DAT" (runs).
//
// While the subproblems arrive, problem p's matrix lives in a scratch slot at
// byte offset ISLOT(p) of both files; after the common-resources step it is
// stored compactly at IOFFV(p) / IOFFI(p).  `iomode` selects the problem,
// the row count and the position:
//
//   WRTAB  1: p = kprob, ncrow rows, ISLOT(p)
//          2: p = j,     ncrow rows, ISLOT(p)
//          3: p = kprob, INT(RMAX) rows, ISLOT(p)
//          4: p = kprob, ncrow rows, IOFFV(p) / IOFFI(p) (compact; sets the
//             offsets of p+1)
//   RDTAB  1: p = j,     INT(RMAX) rows; any other mode: p = kprob, ncrow rows
//
// Columns are 1..NCOL(p).  The matrix `a` has leading dimension `lda`.
// Both store the mode in s.ent.IOMODE and the result in s.ent.IERR and return
// it: WRTAB 0, 10 (positioning failed) or 1 (counts do not add up);
// RDTAB 0, 10, 30 (run record read), 31 (value read) or 2 (counts differ).
#pragma once

#include <cstdint>

#include "decomp_state.hpp"

namespace kav::decomp {

int16_t wrtab(DecompState& s, int16_t iomode, int16_t kprob, int16_t j, int16_t ncrow,
              const double* a, int32_t lda);
int16_t rdtab(DecompState& s, int16_t iomode, int16_t kprob, int16_t j, int16_t ncrow,
              double* a, int32_t lda);

}  // namespace kav::decomp
