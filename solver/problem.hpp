// The problem as the hand-off records give it: the header words, every
// subproblem's problem record and resource data, the 0-Z entry list and
// the sensitivity increments.
//
// The decomposition library reads it back from its hand-off files at every
// level; kavmpi's process 0 reads it from the input set (both of its master
// problems work on the one copy), and each worker receives its part in the
// set-up messages.  The routines only read it.
//
// Arrays keep the 1-based indices of the tableau notation: an array
// indexed by K (subproblem), j (common resource), l (level), d (0-Z entry)
// or i (increment) has an unused entry 0.
#pragma once

#include <cstdint>

#include "handoff.hpp"
#include "tables.hpp"

namespace kav::solver {

// Capacities of the system.
constexpr int32_t NPROB = 60;     // subproblems K = 1..60
constexpr int32_t MAXROW = 2400;  // rows of a subproblem tableau
constexpr int32_t MAXCOL = 2400;  // columns of a subproblem tableau
constexpr int32_t MAXCRES = 60;   // common resources j = 1..60
constexpr int32_t NLEV = 6;       // levels l = 1..6
constexpr int32_t MAXINC = 2000;  // increments per level and subproblem
constexpr int32_t MAXZENT = 36000;// 0-Z entries d = 1..36000
constexpr int32_t MAXNZ = 860;    // NZK(K) + 1 at most
constexpr int32_t LDC = 400;      // rows of a coupling matrix
constexpr int32_t NCLASS = 6;     // row classes q = 1..6 of a subproblem
// KCODE at or below it: a problem of the first kind, whose 0-Z variables
// follow chains of resources (0-Z tail, linked points, chain rules).
constexpr int16_t KCODE_CHAIN = 500;

struct Problem {
    // Extents of the sized tables (set by size()).
    struct Extents {
        int32_t nsub;      // subproblems the tables hold (K = 1..nsub)
        int32_t maxinc;    // increments per level and subproblem
        int32_t zentries;  // 0-Z entries (d = 1..zentries)
    };
    // The library's fixed maxima.
    static constexpr Extents MAXIMA{NPROB, MAXINC, MAXZENT};
    void size(const Extents& e);
    Extents ext{};

    // The hand-off records into the tables (each reader of the records, the
    // library's driver and kavmpi's process 0 and workers, stores through
    // these).
    void set_header(const handoff::Header& h);
    void set_record(int32_t k, const handoff::ProblemRecord& r);            // subproblem K's problem record
    void set_coupling_counts(int32_t k, const handoff::MatrixCounts& c);    // K's coupling matrix counts
    void set_resource_level(int32_t j, int32_t l, const handoff::ResourceLevel& r);
    void set_zentry(int32_t d, const handoff::ZEntry& e);
    void set_zlevel(int32_t d, int32_t l, const handoff::ZLevel& z);
    void set_caps(int32_t k, int32_t j, const handoff::ResourceCaps& c);
    void set_places(int32_t k, int32_t j, const handoff::ResourcePlaces& q);
    void set_row_class(int32_t k, int32_t q, const handoff::RowClass& c);
    void set_level_caps(int32_t k, int32_t j, int32_t l, const handoff::LevelCaps& c);
    void set_increment(int32_t k, int32_t l, int32_t i, const handoff::Increment& inc);

    // ---- header words (the header of PAR1.DAT) ------------------------------
    int16_t NSUB;    // subproblems
    int16_t NCRES;   // common resources
    int16_t NLEVEL;  // levels beyond the base (levels 1..NLEVEL+1)
    int16_t NCROW;   // rows of every coupling matrix
    int16_t NZOTOT;  // 0-Z entries in use after entry 1
    int16_t PRSW;    // 1 = proposals priced per unit of time value

    // ---- per subproblem K = 1..NSUB (its problem record) ------------------------
    int16_t NCK[NPROB + 1];    // columns (the last is the weight variable)
    int16_t NZK[NPROB + 1];    // 0-Z variables (columns 2..NZK+1)
    int16_t NRK[NPROB + 1];    // rows
    int16_t KCODE[NPROB + 1];  // 500 and below: problems of the first kind (0-Z tail, chain rules)
    int16_t KFLAG[NPROB + 1];  // 1 = K's convexity row starts in the master's first phase
    int32_t KR01[NPROB + 1];   // count limit of a chain (first count)
    int32_t KR02[NPROB + 1];   // count limit of a chain (second count)
    int32_t KR03[NPROB + 1];   // carried, not used by the solve
    int16_t KR05[NPROB + 1];   // carried, not used by the solve
    float KR06[NPROB + 1];     // time limit of a proposal
    int32_t KR07[NPROB + 1];   // base of the first counts of the legs' resources
    int32_t KR08[NPROB + 1];   // base of the second counts
    int32_t KR09[NPROB + 1];   // carried, not used by the solve
    int32_t KR16[NPROB + 1];   // start value of the search (KCODE 500 and below: added to BESTL)
    int16_t KR17[NPROB + 1];   // 0-Z starts: variables 1..KR17
    int16_t KR18[NPROB + 1];   // 0-Z members: the next KR18 variables
    int16_t KR19[NPROB + 1];   // 0-Z closing legs: the next KR19 variables
    int16_t KR20[NPROB + 1];   // first position of the priced extra values of a chain
    int16_t KR21[NPROB + 1];   // number of those values
    int32_t NNZK[NPROB + 1], NZEROK[NPROB + 1], NIXBK[NPROB + 1];  // counts of the packed subproblem matrix
    int32_t NNZC[NPROB + 1], NZEROC[NPROB + 1], NIXBC[NPROB + 1];  // counts of the packed coupling matrix
    int16_t IKA[NPROB + 1][NCLASS + 1];  // IKA(K, q): first row of row class q
    int16_t IKB[NPROB + 1][NCLASS + 1];  // IKB(K, q): last row of row class q

    // ---- increments: triple i = 1..NINC(K, l) of level l (PAR3.DAT) -----------
    int16_t NINC[NPROB + 1][NLEV + 1];
    Table3<int16_t> INCCOL;  // [K][l][i]: column code
    Table3<int16_t> INCROW;  // [K][l][i]: row code
    Table3<double> DINC;     // [K][l][i]: the increment

    // ---- resource tables (PAR1.DAT, PAR2.DAT, PAR3.DAT) -------------------------
    int16_t IKR[NPROB + 1][MAXCRES + 1];   // IKR(K, j): 0 = resource j limits K's legs
    float RRK1[NPROB + 1][MAXCRES + 1];    // capacity of j for K's members
    float RRK2[NPROB + 1][MAXCRES + 1];    // earliest time at j for K's closing legs
    float RRK3[NPROB + 1][MAXCRES + 1];    // earliest time at j for K's members
    float RRK4[NPROB + 1][MAXCRES + 1];    // capacity of j for K's closing legs
    // Result positions (+1) in a chain proposal of what a leg through j carries:
    int16_t IRK1[NPROB + 1][MAXCRES + 1];  // a member leg's first count
    int16_t IRK2[NPROB + 1][MAXCRES + 1];  // a closing leg's first count
    int16_t IRK3[NPROB + 1][MAXCRES + 1];  // a member leg's second count
    int16_t IRK4[NPROB + 1][MAXCRES + 1];  // a closing leg's second count
    int16_t IRK5[NPROB + 1][MAXCRES + 1];  // a member leg's start time
    int16_t IRK6[NPROB + 1][MAXCRES + 1];  // a closing leg's start time
    float RRL1[NPROB + 1][MAXCRES + 1][NLEV + 1];  // RRL1(K, j, l): load of j at level l ahead of a member chain
    float RRL2[NPROB + 1][MAXCRES + 1][NLEV + 1];  // the same ahead of a closing chain
    int32_t IRL1[MAXCRES + 1][NLEV + 1];   // IRL1(j, l): first count of j at level l
    int32_t IRL2[MAXCRES + 1][NLEV + 1];   // second count
    int32_t IRL3[MAXCRES + 1][NLEV + 1];   // carried, not used by the solve

    // ---- 0-Z entry list, d = 1..NZOTOT+1 (entry 1 never used) --------------------
    Table1<int16_t> ZPRB;   // problem
    Table1<int16_t> ZLAB;   // label 5000 + v
    Table1<int16_t> IZA1;   // start resource
    Table1<int16_t> IZA2;   // end resource
    Table1<int16_t> IZA3;   // link code at the start
    Table1<int16_t> IZA4;   // link code at the end (2 member, 3 leg, 4 single)
    Table2<double> ZOVD;    // [d][l]: value of the entry at level l
    Table2<float> ZOVR;     // [d][l]: its time at level l

    bool first_kind(int32_t k) const { return KCODE[k] <= KCODE_CHAIN; }

    // The last entry of the 0-Z list that the tables hold.
    int32_t last_zentry() const {
        const int32_t last = NZOTOT + 1;
        return last < ext.zentries ? last : ext.zentries;
    }
};

}  // namespace kav::solver
