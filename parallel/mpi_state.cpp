// Sizing of kavmpi's tables from the extents of its input set, and the
// problem record as it travels.
#include "mpi_state.hpp"

namespace kav::mpi {

namespace {

int32_t extent(const MpiState& st, int i) { return st.IEXT[i] > 0 ? st.IEXT[i] : 0; }

}  // namespace

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

RecordMessage to_message(const handoff::ProblemRecord& r) {
    RecordMessage m;
    m.i4[0] = r.KR01;
    m.i4[1] = r.KR02;
    m.i4[2] = r.KR03;
    m.i4[3] = r.KR07;
    m.i4[4] = r.KR08;
    m.i4[5] = r.KR09;
    m.i4[6] = r.mat.NNZ;
    m.i4[7] = r.mat.NZER;
    m.i4[8] = r.mat.NIXB;
    m.i2[0] = r.KCODE;
    m.i2[1] = r.KR05;
    m.i2[2] = r.NROW;
    m.i2[3] = r.NCOL;
    m.i2[4] = r.NZO;
    m.i2[5] = r.KR17;
    m.i2[6] = r.KR18;
    m.i2[7] = r.KR19;
    m.i2[8] = r.KR20;
    m.i2[9] = r.KR21;
    m.r4 = r.KR06;
    return m;
}

handoff::ProblemRecord from_message(const RecordMessage& m) {
    handoff::ProblemRecord r{};
    r.KR01 = m.i4[0];
    r.KR02 = m.i4[1];
    r.KR03 = m.i4[2];
    r.KR07 = m.i4[3];
    r.KR08 = m.i4[4];
    r.KR09 = m.i4[5];
    r.mat = handoff::MatrixCounts{m.i4[6], m.i4[7], m.i4[8]};
    r.KCODE = m.i2[0];
    r.KR05 = m.i2[1];
    r.NROW = m.i2[2];
    r.NCOL = m.i2[3];
    r.NZO = m.i2[4];
    r.KR17 = m.i2[5];
    r.KR18 = m.i2[6];
    r.KR19 = m.i2[7];
    r.KR20 = m.i2[8];
    r.KR21 = m.i2[9];
    r.KR06 = m.r4;
    return r;
}

}  // namespace kav::mpi
