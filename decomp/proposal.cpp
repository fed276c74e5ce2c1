#include "simplx.hpp"

#include "state.hpp"

namespace kav::decomp {

void proposal(DecompState& ds) { ds.sv.IREJ = 0; }

}  // namespace kav::decomp
