#include "results.hpp"

#include <cstring>

#include "errcodes.hpp"

namespace kav::results {

template <class T>
void Record::put(T v) {
    char c[sizeof v];
    std::memcpy(c, &v, sizeof v);
    b_.append(c, sizeof v);
}

Record::Record(const double* resv, int16_t nvres) {
    for (int l = 0; l < LEVELS; ++l) put(resv[l]);
    put(nvres);
}

void Record::value(double x) { put(x); }

Record no_result() {
    double resv[LEVELS];
    for (double& r : resv) r = err::STNONE;
    return Record(resv, 0);
}

int write(BinUnit& par5, const Record& r) {
    const int status = par5.write_end(FLAG_BYTES, r.bytes().data(), r.bytes().size());
    if (status == IO_OK) return IO_OK;
    const Record none = no_result();
    if (none.bytes() != r.bytes()) par5.write_end(FLAG_BYTES, none.bytes().data(), none.bytes().size());
    return status;
}

}  // namespace kav::results
