// State of the driver part of the decomposition library (see state.hpp).
#pragma once

#include <cstdint>

namespace kav::decomp {

struct DriverState {
};

}  // namespace kav::decomp
