// Label coding of the tableau lists IROW and ICOL and of the master lists.
//
//   -(i-1)             slack of row i
//   -(i-1) - 5000      slack of an equality row i (an artificial variable)
//   k - 1              continuous variable of column k
//   5000 + v           0-Z variable v
//   6000 + v           the same variable complemented: the tableau carries U - x
//   1000 * K + n       master column of proposal n of subproblem K
//   -(5000 + K)        master row: convexity row of subproblem K
//
// The two labels of a 0-Z variable address the same entry; complementing a
// variable changes its label by 1000 in the tableau and in ICOLSV together.
#pragma once

#include <cstdint>

namespace kav::lbl {

constexpr int32_t ZO = 5000;     // 0-Z variable v: ZO + v
constexpr int32_t ZC = 6000;     // v complemented: ZC + v
constexpr int32_t FLIP = ZC - ZO;  // the change of a label when its variable is complemented
constexpr int32_t EQ = 5000;     // equality-row slack i: -(i-1) - EQ
constexpr int32_t CONV = 5000;   // master convexity row of K: -(CONV + K)
constexpr int32_t PROP = 1000;   // master column of proposal n of K: PROP * K + n

// Index v of a 0-Z label (ZO + v or ZC + v).
constexpr int32_t zindex(int32_t l) { return l < ZC + 1 ? l - ZO : l - ZC; }

}  // namespace kav::lbl
