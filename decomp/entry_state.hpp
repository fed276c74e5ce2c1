// State of the entry part of the decomposition library (see state.hpp).
#pragma once

#include <cstdint>

namespace kav::decomp {

struct EntryState {
};

}  // namespace kav::decomp
