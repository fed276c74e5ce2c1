// The results record of "PAR5.DAT": behind the 2-byte flag word, RESV for
// six levels (64-bit reals, 37.0 = no result), NVRES (16-bit), then for
// every level of the run its NVRES values (64-bit reals, level-major).
//
// A record is built in memory and written in one piece, so that the file
// holds either a whole record or none: a record that cannot be written
// whole (a full disk, a file-size limit) is replaced by the no-result
// record, and when even that cannot be written the file keeps only its
// flag word.  A reader never finds a short record that looks like results.
#pragma once

#include <cstdint>
#include <string>

#include "platform.hpp"

namespace kav::results {

constexpr int64_t FLAG_BYTES = 2;  // the flag word in front of the record
constexpr int LEVELS = 6;          // RESV entries in every record

class Record {
public:
    // resv: LEVELS values; the values follow with value().
    Record(const double* resv, int16_t nvres);
    void value(double x);
    const std::string& bytes() const { return b_; }

private:
    template <class T>
    void put(T v);
    std::string b_;
};

// 37.0 for every level and no values.
Record no_result();

// Writes `r` behind the flag word of the open unit as the end of the file
// and pushes it to the file.  Returns 0, or the status of the failed write
// (the file then holds the no-result record or only its flag word).
int write(BinUnit& par5, const Record& r);

}  // namespace kav::results
