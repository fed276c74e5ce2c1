// Error codes (IERR) of the decomposition library and its entry.
//
// One 16-bit word; 0 = no error.  A code ends the call or the solve, is
// printed in the error line and never returned to the host directly: the
// host sees it in the print file and as 37.0 (no solution) in its results.
#pragma once

#include <cstdint>

namespace kav::err {

constexpr int16_t NONE = 0;
constexpr int16_t COUNTS_WRITE = 1;       // packed counts do not add up after writing
constexpr int16_t COUNTS_READ = 2;        // rebuilt matrix counts do not match
constexpr int16_t NO_MASTER_PLACE = 4;    // proposal variable has no place in the master lists
constexpr int16_t SIMPLEX_FAIL = 5;       // simplex failure / fixed point not in 0-Z list / zero run too long
constexpr int16_t NOT_IN_ICOLSV = 6;      // a label is not found in ICOLSV
constexpr int16_t NODE_INFEASIBLE = 7;    // iteration limit or failure inside branch and bound
constexpr int16_t STORE_OR_SEEK = 10;     // store overflow; positioning failure; result read failure
constexpr int16_t OPEN_TAB = 20;          // open of TAB0/TAB20 (driver)
constexpr int16_t READ_RESULT = 20;       // entry: a result value cannot be read back from PAR5.DAT
constexpr int16_t OPEN_ITAB = 21;         // open of 1TAB0/1TAB20 (driver)
constexpr int16_t OPEN_TAB0 = 27;         // entry: TAB0.DAT; driver: TAB.DAT / TAB2.DAT
constexpr int16_t OPEN_1TAB0 = 28;        // entry: 1TAB0.DAT; driver: 1TAB.DAT / 1TAB2.DAT
constexpr int16_t READ_ZRUN = 30;         // end of file or error reading a ZRUN record
constexpr int16_t READ_VALUE = 31;        // end of file or error reading a packed value
constexpr int16_t OPEN_TAB20 = 34;        // entry: TAB20.DAT
constexpr int16_t OPEN_1TAB20 = 35;       // entry: 1TAB20.DAT
constexpr int16_t OPEN_PAR1 = 36;
constexpr int16_t OPEN_PAR2 = 37;
constexpr int16_t OPEN_PAR3 = 38;
constexpr int16_t OPEN_PAR5_AFTER = 39;   // entry: PAR5.DAT after the solve
constexpr int16_t OPEN_PAR5 = 40;
constexpr int16_t BRANCH_NOT_IN_LIST = 55;  // branch point's variable not in the 0-Z entry list
constexpr int16_t SELECT_NOT_IN_LIST = 65;  // chosen fractional variable not in the 0-Z entry list
constexpr int16_t NO_MAGNITUDE = 73;      // set-up: row without magnitude; search: nothing to branch on
constexpr int16_t LINE_TAIL_REJECTED = 73;  // line only: the 0-Z tail rejected a proposal (the solve goes on)
constexpr int16_t LINE_IMPROVING_AFTER_PHASE1 = 77;  // line only: a column still improves as phase 2 starts
constexpr int16_t READ_PAR12 = 120;       // read error or end of file on PAR1.DAT / PAR2.DAT
constexpr int16_t READ_PAR3 = 130;        // read error on PAR3.DAT
constexpr int16_t READ_TAB = 140;         // read error on the packed-matrix files
constexpr int16_t READ_PAR5_FLAG = 150;   // read error on the PAR5 flag

// Result value of a level without a mixed 0-Z solution.
constexpr double STNONE = 37.0;

}  // namespace kav::err
