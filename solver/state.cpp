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

void Problem::set_header(const handoff::Header& h) {
    NSUB = h.NSUB;
    NCRES = h.NCRES;
    NLEVEL = h.NLEVEL;
    NCROW = h.NCROW;
    NZOTOT = h.NZOTOT;
    PRSW = h.PRSW;
}

void Problem::set_coupling_counts(int32_t k, const handoff::MatrixCounts& c) {
    NNZC[k] = c.NNZ;
    NZEROC[k] = c.NZER;
    NIXBC[k] = c.NIXB;
}

void Problem::set_resource_level(int32_t j, int32_t l, const handoff::ResourceLevel& r) {
    IRL1[j][l] = r.IRL1;
    IRL2[j][l] = r.IRL2;
    IRL3[j][l] = r.IRL3;
}

void Problem::set_zentry(int32_t d, const handoff::ZEntry& e) {
    ZPRB[d] = e.prob;
    ZLAB[d] = e.label;
    IZA1[d] = e.iza[0];
    IZA2[d] = e.iza[1];
    IZA3[d] = e.iza[2];
    IZA4[d] = e.iza[3];
}

void Problem::set_zlevel(int32_t d, int32_t l, const handoff::ZLevel& z) {
    ZOVD[d][l] = z.zovd;
    ZOVR[d][l] = z.zovr;
}

void Problem::set_caps(int32_t k, int32_t j, const handoff::ResourceCaps& c) {
    RRK1[k][j] = c.RRK1;
    RRK2[k][j] = c.RRK2;
    RRK3[k][j] = c.RRK3;
    RRK4[k][j] = c.RRK4;
}

void Problem::set_places(int32_t k, int32_t j, const handoff::ResourcePlaces& q) {
    IRK1[k][j] = q.IRK1;
    IRK2[k][j] = q.IRK2;
    IRK3[k][j] = q.IRK3;
    IRK4[k][j] = q.IRK4;
    IRK5[k][j] = q.IRK5;
    IRK6[k][j] = q.IRK6;
}

void Problem::set_row_class(int32_t k, int32_t q, const handoff::RowClass& c) {
    IKA[k][q] = c.IKA;
    IKB[k][q] = c.IKB;
}

void Problem::set_level_caps(int32_t k, int32_t j, int32_t l, const handoff::LevelCaps& c) {
    RRL1[k][j][l] = c.RRL1;
    RRL2[k][j][l] = c.RRL2;
}

void Problem::set_increment(int32_t k, int32_t l, int32_t i, const handoff::Increment& inc) {
    INCCOL[k][l][i] = inc.col;
    INCROW[k][l][i] = inc.row;
    DINC[k][l][i] = inc.value;
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
