// The one exported symbol of the allocation library.
#include "mix_state.hpp"

extern "C" __attribute__((visibility("default"))) void ALLAH_mp_TARVEXO1(
    int16_t* NROW, int16_t* NCOL, int16_t* ITYPE, double* AMAT, int16_t* IITEM,
    int16_t* NITEM, int16_t* IGROUP, int16_t* NGROUP, int16_t* IGRPV, int16_t* IITMV,
    double* STATUS, float* XOUT, float* BEST0, double* VALVAR, float* RQTY, int16_t* IPEN,
    int16_t* IDEM, int16_t* IGCAP) {
    const kav::mix::Args a{NROW, NCOL, ITYPE, AMAT, IITEM, NITEM, IGROUP, NGROUP, IGRPV,
                           IITMV, STATUS, XOUT, BEST0, VALVAR, RQTY, IPEN, IDEM, IGCAP};
    kav::mix::tarvexo1(kav::mix::state(), a);
}
