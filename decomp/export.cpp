// The one exported symbol of the decomposition library.
#include <cstdint>

#include "entry.hpp"

extern "C" __attribute__((visibility("default"))) void ALLAH_mp_TARVEXO(
    int16_t* NSUB, int16_t* NCROW, int16_t* ITYPCR, double* CRVAL, int16_t* KPROB,
    int16_t* NROW, int16_t* NCOL, int16_t* NZO, int16_t* ITYPE, double* AMAT, double* ACPL,
    int16_t* NINC, int16_t* NLEVEL, int16_t* INCCOL, int16_t* INCROW, double* DINC,
    double* RESV, double* XRES, double* ZOVD, int16_t* IZA1, int16_t* IZA2, int16_t* IZA3,
    int16_t* IZA4, int32_t* KR16, int16_t* IFLAG, int16_t* KCODE, int16_t* NCRES,
    int32_t* IRL1, int32_t* IRL2, int32_t* IRL3, float* RRL1, float* RRL2, int16_t* KR17,
    int16_t* KR18, int16_t* KR19, int16_t* KR21, float* RRK1, float* RRK2, float* RRK3,
    float* RRK4, int16_t* IRK1, int16_t* IRK2, int16_t* IRK3, int16_t* IRK4, int16_t* IRK5,
    int16_t* IRK6, int16_t* KR20, int16_t* IKR, float* ZOVR, int32_t* KR01, int32_t* KR02,
    int32_t* KR03, int16_t* KR05, float* KR06, int32_t* KR07, int32_t* KR08, int32_t* KR09,
    int16_t* IKA, int16_t* IKB) {
    const kav::decomp::Args a{
        NSUB, NCROW, ITYPCR, CRVAL, KPROB, NROW, NCOL, NZO, ITYPE, AMAT, ACPL,
        NINC, NLEVEL, INCCOL, INCROW, DINC, RESV, XRES, ZOVD, IZA1, IZA2, IZA3,
        IZA4, KR16, IFLAG, KCODE, NCRES, IRL1, IRL2, IRL3, RRL1, RRL2, KR17,
        KR18, KR19, KR21, RRK1, RRK2, RRK3, RRK4, IRK1, IRK2, IRK3, IRK4, IRK5,
        IRK6, KR20, IKR, ZOVR, KR01, KR02, KR03, KR05, KR06, KR07, KR08, KR09,
        IKA, IKB};
    kav::decomp::tarvexo(kav::decomp::state(), a);
}
