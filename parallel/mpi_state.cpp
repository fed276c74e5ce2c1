// Sizing of kavmpi's tables from the extents of its input set, and the
// problem record as it travels.
#include "mpi_state.hpp"

#include <iterator>

namespace kav::mpi {

bool extents_fit(const MpiState& st) {
    const int64_t cells = int64_t{solver::MAXROW} * solver::MAXCOL;
    return extent(st, 1) <= cells && extent(st, 2) <= cells && extent(st, 3) <= solver::MAXINC &&
           extent(st, 4) <= solver::MAXVRES && extent(st, 5) <= solver::MAXROW && extent(st, 6) <= solver::MAXCOL;
}

void size_problem(MpiState& st) {
    st.pb.size({st.pb.NSUB, extent(st, 3), st.pb.NZOTOT + 1});
}

void make_worker_solve(MpiState& st) {
    st.sub = std::make_unique<Solve>(st.pb);
    st.sub->sv.size({st.pb.NSUB, extent(st, 5), extent(st, 6), st.RMAX()});
    solver::set_steering(st.sub->sv, solver::PARALLEL);
}

void make_master_solves(MpiState& st) {
    const int32_t nsub = st.pb.NSUB;
    for (int m = 1; m <= NPERSUB; ++m) {
        st.master[m] = std::make_unique<Solve>(st.pb);
        Solve& s = *st.master[m];
        // No work tableau: the subproblems are solved by the workers.
        s.sv.size({nsub, 0, extent(st, 6), st.RMAX()});
        s.ms.size({nsub + st.RMAX() - 1, 1 + solver::NSLOT * nsub, extent(st, 4)});
        solver::set_steering(s.sv, solver::PARALLEL);
    }
}

// The items of the problem record in the order they travel.
using handoff::ProblemRecord;
constexpr int32_t ProblemRecord::* RECORD_I4[] = {&ProblemRecord::KR01, &ProblemRecord::KR02, &ProblemRecord::KR03,
                                                   &ProblemRecord::KR07, &ProblemRecord::KR08, &ProblemRecord::KR09};
constexpr int16_t ProblemRecord::* RECORD_I2[] = {&ProblemRecord::KCODE, &ProblemRecord::KR05, &ProblemRecord::NROW,
                                                   &ProblemRecord::NCOL,  &ProblemRecord::NZO,  &ProblemRecord::KR17,
                                                   &ProblemRecord::KR18,  &ProblemRecord::KR19, &ProblemRecord::KR20,
                                                   &ProblemRecord::KR21};
constexpr size_t NI4 = sizeof RECORD_I4 / sizeof RECORD_I4[0];  // then the three matrix counts
static_assert(NI4 + 3 == sizeof RecordMessage::i4 / sizeof(int32_t));
static_assert(sizeof RECORD_I2 / sizeof RECORD_I2[0] == sizeof RecordMessage::i2 / sizeof(int16_t));

RecordMessage to_message(const ProblemRecord& r) {
    RecordMessage m;
    for (size_t i = 0; i < NI4; ++i) m.i4[i] = r.*RECORD_I4[i];
    m.i4[NI4] = r.mat.NNZ;
    m.i4[NI4 + 1] = r.mat.NZER;
    m.i4[NI4 + 2] = r.mat.NIXB;
    for (size_t i = 0; i < std::size(RECORD_I2); ++i) m.i2[i] = r.*RECORD_I2[i];
    m.r4 = r.KR06;
    return m;
}

ProblemRecord from_message(const RecordMessage& m) {
    ProblemRecord r{};
    for (size_t i = 0; i < NI4; ++i) r.*RECORD_I4[i] = m.i4[i];
    r.mat = handoff::MatrixCounts{m.i4[NI4], m.i4[NI4 + 1], m.i4[NI4 + 2]};
    for (size_t i = 0; i < std::size(RECORD_I2); ++i) r.*RECORD_I2[i] = m.i2[i];
    r.KR06 = m.r4;
    return r;
}

}  // namespace kav::mpi
