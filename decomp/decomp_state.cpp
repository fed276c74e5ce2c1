#include "decomp_state.hpp"

namespace kav::decomp {

DecompState::DecompState() {
    pb.size(solver::Problem::MAXIMA);
    sv.size(solver::SolverState::MAXIMA);
    ms.size(solver::MasterState::MAXIMA);
}

DecompState& state() {
    static DecompState s;
    return s;
}

}  // namespace kav::decomp
