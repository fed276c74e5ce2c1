#include "simplx.hpp"

#include "state.hpp"

namespace kav::decomp {

void simplx(DecompState& ds, int16_t) { ds.sv.IERR = 0; }

}  // namespace kav::decomp
