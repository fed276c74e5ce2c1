// The decomposition entry: one call of the host's call sequence.
//
// The exported symbol (export.cpp) gathers its 59 by-reference arguments
// into Args and calls tarvexo().  Arrays are the host's, column-major with
// the declared leading dimensions (see entry_state.hpp for the extents).
#pragma once

#include <cstdint>

#include "decomp_state.hpp"

namespace kav::decomp {

struct Args {
    int16_t* NSUB;
    int16_t* NCROW;
    int16_t* ITYPCR;   // (rows)
    double* CRVAL;     // (rows)
    int16_t* KPROB;
    int16_t* NROW;
    int16_t* NCOL;
    int16_t* NZO;
    int16_t* ITYPE;    // (NROW)
    double* AMAT;      // (2400, NCOL)
    double* ACPL;      // (400, NCOL)
    int16_t* NINC;     // (6)
    int16_t* NLEVEL;
    int16_t* INCCOL;   // (6, *)
    int16_t* INCROW;   // (6, *)
    double* DINC;      // (6, *)
    double* RESV;      // (6)
    double* XRES;      // (6, *)
    double* ZOVD;      // (860, *)
    int16_t* IZA1;     // (column)
    int16_t* IZA2;
    int16_t* IZA3;
    int16_t* IZA4;
    int32_t* KR16;     // (problem)
    int16_t* IFLAG;
    int16_t* KCODE;
    int16_t* NCRES;
    int32_t* IRL1;     // (60, *)
    int32_t* IRL2;
    int32_t* IRL3;
    float* RRL1;       // (60, *)
    float* RRL2;
    int16_t* KR17;     // (problem)
    int16_t* KR18;
    int16_t* KR19;
    int16_t* KR21;
    float* RRK1;       // (resource)
    float* RRK2;
    float* RRK3;
    float* RRK4;
    int16_t* IRK1;     // (resource)
    int16_t* IRK2;
    int16_t* IRK3;
    int16_t* IRK4;
    int16_t* IRK5;
    int16_t* IRK6;
    int16_t* KR20;     // (problem)
    int16_t* IKR;      // (60, *)
    float* ZOVR;       // (860, *)
    int32_t* KR01;     // (problem)
    int32_t* KR02;
    int32_t* KR03;
    int16_t* KR05;
    float* KR06;
    int32_t* KR07;
    int32_t* KR08;
    int32_t* KR09;
    int16_t* IKA;      // (60, 6)
    int16_t* IKB;      // (60, 6)
};

// One call of the entry on the library's state.
void tarvexo(DecompState& s, const Args& a);

}  // namespace kav::decomp
