#include "slots.hpp"

#include "errcodes.hpp"
#include "fmt.hpp"
#include "lines.hpp"
#include "packed.hpp"

namespace kav::decomp {

namespace {

// Problem and row count of a call are known to fit the tables and the
// matrix; anything else is treated like a failed positioning (nothing is
// read or written).
bool fits(const EntryState& e, int16_t p, int32_t rows, int32_t lda) {
    if (p < 1 || p > ENT_MAXSUB) return false;
    const int32_t ncol = e.NCOL[p - 1];
    return rows >= 0 && rows <= lda && ncol >= 1 && ncol <= ENT_MAXCOL;
}

}  // namespace

int16_t wrtab(DecompState& s, int16_t iomode, int16_t kprob, int16_t j, int16_t ncrow,
              const double* a, int32_t lda) {
    EntryState& e = s.ent;
    e.IOMODE = iomode;
    const int16_t p = iomode == 2 ? j : kprob;
    const int32_t rows = iomode == 3 ? static_cast<int32_t>(e.RMAX) : ncrow;
    if (!fits(e, p, rows, lda)) return e.IERR = err::STORE_OR_SEEK;

    const int64_t offv = iomode == 4 ? e.IOFFV[p - 1] : e.ISLOT[p - 1];
    const int64_t offi = iomode == 4 ? e.IOFFI[p - 1] : e.ISLOT[p - 1];
    if (e.tab20.seek(offv) != 0 || e.itab20.seek(offi) != 0) return e.IERR = err::STORE_OR_SEEK;

    packed::FileValueSink vs{e.tab20};
    packed::FileRunSink rs{e.itab20};
    const packed::PackResult r = packed::pack(a, lda, rows, e.NCOL[p - 1], vs, rs);
    e.NNZ[p - 1] = r.counts.nnz;
    e.NZER[p - 1] = r.counts.nzero;
    e.NIXB[p - 1] = r.counts.nixb;
    // A refused write leaves the stored counts short of rows*columns.
    e.IERR = r.status == packed::PackStatus::ok ? err::NONE : err::COUNTS_WRITE;
    if (iomode == 4) {
        e.IOFFI[p] = e.IOFFI[p - 1] + r.counts.nixb;
        e.IOFFV[p] = e.IOFFV[p - 1] + 8 * static_cast<int64_t>(r.counts.nnz);
    }
    return e.IERR;
}

int16_t rdtab(DecompState& s, int16_t iomode, int16_t kprob, int16_t j, int16_t ncrow,
              double* a, int32_t lda) {
    EntryState& e = s.ent;
    e.IOMODE = iomode;
    const int16_t p = iomode == 1 ? j : kprob;
    const int32_t rows = iomode == 1 ? static_cast<int32_t>(e.RMAX) : ncrow;
    if (!fits(e, p, rows, lda)) return e.IERR = err::STORE_OR_SEEK;
    const int32_t ncol = e.NCOL[p - 1];

    const int64_t off = e.ISLOT[p - 1];
    if (e.tab20.seek(off) != 0 || e.itab20.seek(off) != 0) return e.IERR = err::STORE_OR_SEEK;

    packed::FileValueSource vs{e.tab20};
    packed::FileRunSource rs{e.itab20};
    const packed::UnpackResult r = packed::unpack(a, lda, rows, ncol, vs, rs, e.NIXB[p - 1]);
    switch (r.status) {
        case packed::UnpackStatus::ok:
            break;
        case packed::UnpackStatus::run_read_failed:
            return e.IERR = err::READ_ZRUN;
        case packed::UnpackStatus::value_read_failed:
            s.pnt.write(fmt::lines::banner3(), {int32_t{STOP_SLOT_READ}});
            s.pnt.write(fmt::lines::status_line(), {e.IOMODE, int32_t{ncol}});
            return e.IERR = err::READ_VALUE;
        default:
            return e.IERR = err::STORE_OR_SEEK;
    }
    const int64_t cells = static_cast<int64_t>(rows) * ncol;
    if (r.values != e.NNZ[p - 1] || r.zeros != e.NZER[p - 1] ||
        static_cast<int64_t>(r.values) + r.zeros != cells) {
        s.pnt.write(fmt::lines::banner3(), {int32_t{STOP_SLOT_COUNTS}});
        s.pnt.write(fmt::lines::status_line(),
                    {e.NNZ[p - 1], r.values, e.NZER[p - 1], r.zeros, r.values + r.zeros,
                     int32_t{rows}, int32_t{ncol}});
        return e.IERR = err::COUNTS_READ;
    }
    return e.IERR = err::NONE;
}

}  // namespace kav::decomp
