// The one exported symbol of the single-problem library.
#include <cstdint>

#include "single_state.hpp"

extern "C" __attribute__((visibility("default"))) void ALLAH_mp_TARVEXO(
    int16_t* NROW, int16_t* NCOL, int16_t* ITYPE, double* AMAT, int16_t* NINC,
    int16_t* NLEVEL, int16_t* INCCOL, int16_t* INCROW, double* DINC, double* STATUS,
    double* XBEST, double* VALCOL, double* OBJOFF, int32_t* IMPROV, int16_t* IFLAG,
    int16_t* ICONF, int32_t* IUSE1, int32_t* IUSE2, int32_t* IUSE3, int16_t* NOBRAN,
    float* RUSE1, float* RUSE2, int16_t* IRESP, int16_t* IRESM, int32_t* ICAP1,
    int32_t* ICAP2, float* RCAP, int16_t* NRES, float* TRCOST, int16_t* NCONT) {
    const kav::single::Args a{NROW, NCOL, ITYPE, AMAT, NINC, NLEVEL, INCCOL, INCROW, DINC,
                              STATUS, XBEST, VALCOL, OBJOFF, IMPROV, IFLAG, ICONF, IUSE1,
                              IUSE2, IUSE3, NOBRAN, RUSE1, RUSE2, IRESP, IRESM, ICAP1,
                              ICAP2, RCAP, NRES, TRCOST, NCONT};
    kav::single::tarvexo(kav::single::state(), a);
}
