#include "state.hpp"

namespace kav::decomp {

DecompState& state() {
    static DecompState s;
    return s;
}

}  // namespace kav::decomp
