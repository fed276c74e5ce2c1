// Sizing of the solver's tables and the steering block.
#include "family.hpp"

namespace kav::solver {

void Problem::size(const Extents& e) {
    ext = e;
    INCCOL.resize(e.nsub + 1, NLEV + 1, e.maxinc + 1);
    INCROW.resize(e.nsub + 1, NLEV + 1, e.maxinc + 1);
    DINC.resize(e.nsub + 1, NLEV + 1, e.maxinc + 1);
    ZPRB.resize(e.zentries + 1);
    ZLAB.resize(e.zentries + 1);
    IZA1.resize(e.zentries + 1);
    IZA2.resize(e.zentries + 1);
    IZA3.resize(e.zentries + 1);
    IZA4.resize(e.zentries + 1);
    ZOVD.resize(e.zentries + 1, NLEV + 1);
    ZOVR.resize(e.zentries + 1, NLEV + 1);
}

void Problem::set_record(int32_t k, const handoff::ProblemRecord& r) {
    KR01[k] = r.KR01;
    KR02[k] = r.KR02;
    KR03[k] = r.KR03;
    KCODE[k] = r.KCODE;
    KR05[k] = r.KR05;
    KR06[k] = r.KR06;
    KR07[k] = r.KR07;
    KR08[k] = r.KR08;
    KR09[k] = r.KR09;
    NRK[k] = r.NROW;
    NCK[k] = r.NCOL;
    NZK[k] = r.NZO;
    NNZK[k] = r.mat.NNZ;
    NZEROK[k] = r.mat.NZER;
    NIXBK[k] = r.mat.NIXB;
    KR16[k] = r.KR16;
    KR17[k] = r.KR17;
    KR18[k] = r.KR18;
    KR19[k] = r.KR19;
    KR20[k] = r.KR20;
    KR21[k] = r.KR21;
    KFLAG[k] = r.KFLAG;
}

void SolverState::size(const Extents& e) {
    ext = e;
    // Without a work tableau there is still a column 0 / row 0 slot, so the
    // accessors stay defined; nothing reads them.
    T.resize(e.rows > 0 ? e.cols + 1 : 0, e.rows > 0 ? e.rows + 1 : 0);
    ACPL.resize(e.cols, e.ldc);
    RSCL.resize(e.nsub + 1, e.rows + 1);
    CSCL.resize(e.nsub + 1, e.cols + 1);
    PROPX.resize(e.nsub + 1, NSLOT + 1, e.cols + 1);
}

void MasterState::size(const Extents& e) {
    ext = e;
    XRES.resize(e.nvres, NLEV);
    XCUR.resize(e.nvres, NLEV);
    TM.resize(e.cols, e.rows);
}

void set_steering(SolverState& sv, const Profile& pf) {
    sv.TOLZER = pf.kc.tolzer;
    sv.TOLELM = pf.kc.tolelm;
    sv.TOLPIV = pf.tolpiv;
    sv.OBJSCL = pf.objscl;
    sv.BIG = pf.kc.big;
    sv.PRTSW = pf.prtsw;
    sv.DMPSW = pf.dmpsw;
}

}  // namespace kav::solver
