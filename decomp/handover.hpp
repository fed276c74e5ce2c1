// Solve hand-over of the completing call of the decomposition entry.
//
// Runs after the entry has written the header records and the flag word and
// closed the eight hand-off files: waits s.ent.wait_ms, runs the driver and
// reads the flag word, the per-level results and the result values back from
// "PAR5.DAT" into the host's arguments.
//
// What it finds in s.ent (see entry_state.hpp):
//   KPROB, NLEVEL      the values of the current call (NLEVEL already >= 0);
//   run_ok             false when a call of this run or rerun ended with an
//                      error or a stop, so the hand-off files are incomplete;
//   fail_kprob, fail_ierr, fail_stop
//                      the first such call: its problem number, its IERR (0
//                      for a stop) and its stop number (0 for an error);
//   IERR               0 on arrival; set here on a failure.
//   par5               unit 330 (closed on arrival).
// It writes its own status and error lines to s.pnt; the caller writes the
// end lines afterwards (end time, time lines, close of unit 330).
#pragma once

#include <cstdint>

#include "decomp_state.hpp"

namespace kav::decomp {

// IFLAG: the flag argument; RESV: 6 results, one per level; XRES: results
// (level l, value j) with leading dimension 6.
void solve_handover(DecompState& s, int16_t* IFLAG, double* RESV, double* XRES);

}  // namespace kav::decomp
