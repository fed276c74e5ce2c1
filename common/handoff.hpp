// The hand-off records: the one reader and writer of the records of
// "PAR1.DAT", "PAR2.DAT", "PAR3.DAT" and "PAR5.DAT", and of the extents that
// open the parallel program's "PAR1.DAT".
//
// Every file is a plain little-endian byte stream without record markers or
// fill: a record is its items one after the other, in the order of the
// structures below (which is why each is read and written item by item, never
// as a memory image: the structures have padding, the files have none).
//
//   PAR1.DAT  the Header; per subproblem the MatrixCounts of its coupling
//             matrix; per subproblem and resource an IKR word; per resource
//             and level a ResourceLevel; per 0-Z entry a ZEntry followed by a
//             ZLevel per level.
//   PAR2.DAT  per subproblem: a ResourceCaps per resource, a ResourcePlaces
//             per resource, the ProblemRecord, six RowClass pairs, the row
//             and the column label lists (16-bit words).
//   PAR3.DAT  per subproblem: a LevelCaps per resource and level, the
//             increment count of every level, the Increments of every level.
//   PAR5.DAT  the flag word at offset 0; the results behind it: RESV of six
//             levels, NVRES, then NVRES values per level.
//
// The parallel program's input set holds the same records: its "PAR1.DAT"
// starts with six 32-bit extents and carries every subproblem's PAR2
// records behind the PAR1 ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "platform.hpp"

namespace kav::handoff {

constexpr int32_t NLEVELS = 6;    // levels of the results record (RESV(1..6))
constexpr int32_t NCLASS = 6;     // row classes of a subproblem (RowClass pairs in PAR2)
constexpr int32_t NEXTENT = 6;    // extents in front of the input set's PAR1.DAT
constexpr int64_t RESULTS_AT = 2; // byte offset of the results behind the flag word

// ---- records ------------------------------------------------------------------

// The header of PAR1.DAT.
struct Header {
    int16_t NSUB;    // subproblems
    int16_t NCRES;   // common resources
    int16_t NLEVEL;  // levels beyond the base one
    int16_t NCROW;   // rows of every coupling matrix (RMAX after the common-resources step)
    int16_t NZOTOT;  // 0-Z entries after entry 1
    int16_t PRSW;    // 1 = proposals priced per unit of time value
};

// Counts of one packed matrix: a subproblem's coupling matrix in PAR1.DAT,
// its own matrix in the problem record.
struct MatrixCounts {
    int32_t NNZ;    // values stored
    int32_t NZER;   // NZERO: zeros covered by the runs (that name is a macro of <limits.h>)
    int32_t NIXB;   // bytes of run records
};

// PAR1.DAT: the counts of resource j at level l.
struct ResourceLevel {
    int32_t IRL1, IRL2, IRL3;
};

// PAR1.DAT: a 0-Z entry.
struct ZEntry {
    int16_t prob;     // subproblem
    int16_t label;    // 5000 + v for variable v of that subproblem
    int16_t iza[4];   // attribute words IZA1..IZA4
};

// PAR1.DAT: a 0-Z entry's values at one level (behind the entry).
struct ZLevel {
    double zovd;  // ZOVD(d, l)
    float zovr;   // ZOVR(d, l)
};

// PAR2.DAT: capacities of resource j for the subproblem.
struct ResourceCaps {
    float RRK1, RRK2, RRK3, RRK4;
};

// PAR2.DAT: result positions of resource j for the subproblem.
struct ResourcePlaces {
    int16_t IRK1, IRK2, IRK3, IRK4, IRK5, IRK6;
};

// PAR2.DAT: the problem record of a subproblem, 66 bytes.
struct ProblemRecord {
    int32_t KR01, KR02, KR03;   // chain count limits, and a word carried along
    int16_t KCODE;              // 500 and below = problems of the first kind
    int16_t KR05;               // carried along
    float KR06;                 // time limit of a proposal
    int32_t KR07, KR08, KR09;   // base counts of the legs' resources, and a word carried along
    int16_t NROW;               // rows of the subproblem tableau
    int16_t NCOL;               // columns (the last is the weight variable)
    int16_t NZO;                // 0-Z variables, columns 2..NZO+1
    MatrixCounts mat;           // counts of the packed subproblem matrix
    int32_t KR16;               // start value of the search
    int16_t KR17, KR18, KR19;   // 0-Z starts, members and closing legs
    int16_t KR20, KR21;         // first position and number of a chain's priced extra values
    int16_t KFLAG;              // 1 = the subproblem starts with a first phase
};
constexpr size_t PROBLEM_RECORD_BYTES = 66;

// PAR2.DAT: first and last row of a row class.
struct RowClass {
    int16_t IKA, IKB;
};

// PAR3.DAT: the two values of resource j at level l.
struct LevelCaps {
    float RRL1, RRL2;
};

// PAR3.DAT: one sensitivity increment.
struct Increment {
    int16_t col;  // column code: 0 = right-hand sides, v < 5000 = column v+1, 5000+v = 0-Z column v+1
    int16_t row;  // row code: 0 = objective, -(i-1) = row i, -(i-1)-5000 = equality row i
    double value;
};

// PAR5.DAT behind the flag word: the head of the results.
struct ResultsHead {
    double RESV[NLEVELS];  // result of each level (37.0 = none)
    int16_t NVRES;         // values per level that follow
};

// ---- byte streams -----------------------------------------------------------------

// Items in from a file unit or a byte image; the first failure (a short or
// failed read) is remembered, and every later read gives zeros.
class In {
public:
    explicit In(BinUnit& u) : unit_(&u) {}
    In(const char* p, size_t n) : mem_(p), size_(n) {}

    bool bad() const { return bad_; }
    size_t offset() const { return pos_; }

    void bytes(void* p, size_t n);
    template <class T>
    T get() {
        static_assert(std::is_trivially_copyable_v<T>);
        T v{};
        bytes(&v, sizeof v);
        return v;
    }
    template <class T>
    void get_n(T* p, int64_t n) {
        if (n > 0) bytes(p, sizeof(T) * static_cast<size_t>(n));
    }
    // Passes n bytes.
    void skip(size_t n);

private:
    BinUnit* unit_ = nullptr;
    const char* mem_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool bad_ = false;
};

// Items out to a file unit or a byte image; the first failed write's status
// is remembered (0 = every write went through).
class Out {
public:
    explicit Out(BinUnit& u) : unit_(&u) {}
    explicit Out(std::vector<char>& b) : buf_(&b) {}

    int status() const { return status_; }

    void bytes(const void* p, size_t n);
    template <class T>
    void put(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);
    }
    template <class T>
    void put_n(const T* p, int64_t n) {
        if (n > 0) bytes(p, sizeof(T) * static_cast<size_t>(n));
    }

private:
    BinUnit* unit_ = nullptr;
    std::vector<char>* buf_ = nullptr;
    int status_ = 0;
};

// ---- record transfers ---------------------------------------------------------------

void get(In& in, Header& r);
void put(Out& out, const Header& r);
void get(In& in, MatrixCounts& r);
void put(Out& out, const MatrixCounts& r);
void get(In& in, ResourceLevel& r);
void put(Out& out, const ResourceLevel& r);
void get(In& in, ZEntry& r);
void put(Out& out, const ZEntry& r);
void get(In& in, ZLevel& r);
void put(Out& out, const ZLevel& r);
void get(In& in, ResourceCaps& r);
void put(Out& out, const ResourceCaps& r);
void get(In& in, ResourcePlaces& r);
void put(Out& out, const ResourcePlaces& r);
void get(In& in, ProblemRecord& r);
void put(Out& out, const ProblemRecord& r);
void get(In& in, RowClass& r);
void put(Out& out, const RowClass& r);
void get(In& in, LevelCaps& r);
void put(Out& out, const LevelCaps& r);
void get(In& in, Increment& r);
void put(Out& out, const Increment& r);
void get(In& in, ResultsHead& r);
void put(Out& out, const ResultsHead& r);

// The results behind the flag word of "PAR5.DAT": RESV of six levels, the
// count of values per level, then for each of `levels` levels its `nvres`
// values value(l, j), j = 1..nvres.
template <class Value>
void put_results(Out& out, const double* resv6, int16_t nvres, int32_t levels, Value value) {
    ResultsHead h{};
    for (int32_t l = 0; l < NLEVELS; ++l) h.RESV[l] = resv6[l];
    h.NVRES = nvres;
    put(out, h);
    for (int32_t l = 1; l <= levels; ++l)
        for (int32_t j = 1; j <= nvres; ++j) out.put(static_cast<double>(value(l, j)));
}
// The same with no result at any level: six times 37.0 and a count of 0.
void put_no_results(Out& out);

// The results record written into "PAR5.DAT" whole: it is built in memory
// and written behind the flag word as the end of the file, so that the file
// holds either a whole record or none.  A record that cannot be written
// whole (a full disk, a file-size limit) is replaced by the no-result
// record, and when even that cannot be written the file keeps only its
// flag word; a reader never finds a short record that looks like results.
// Returns 0, or the status of the failed write.
int write_record(BinUnit& par5, const std::vector<char>& record);
template <class Value>
int write_results(BinUnit& par5, const double* resv6, int16_t nvres, int32_t levels, Value value) {
    std::vector<char> b;
    Out out{b};
    put_results(out, resv6, nvres, levels, value);
    return write_record(par5, b);
}
int write_no_results(BinUnit& par5);

}  // namespace kav::handoff
