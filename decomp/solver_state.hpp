// State of the solver part of the decomposition library (see state.hpp).
#pragma once

#include <cstdint>

namespace kav::decomp {

struct SolverState {
};

}  // namespace kav::decomp
