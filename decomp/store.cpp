// Tableau store: PACKTB saves the work tableau (and in mode 1 the coupling
// matrix) of a problem in packed form, UNPKTB restores it.
#include "store.hpp"

#include <cstring>
#include <vector>

#include "errcodes.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "packed.hpp"

namespace kav::decomp {

namespace {

using packed::MemRunSink;
using packed::MemRunSource;
using packed::MemValueSink;
using packed::MemValueSource;
using packed::PackStatus;
using packed::UnpackStatus;

// Print every row of an m x n matrix (column-major, leading dimension ld).
void dump_rows(fmt::PrintUnit& pnt, const double* a, int32_t ld, int32_t m, int32_t n) {
    std::vector<fmt::Item> items;
    items.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < m; ++i) {
        items.clear();
        for (int32_t j = 0; j < n; ++j) items.emplace_back(a[static_cast<int64_t>(j) * ld + i]);
        pnt.write(fmt::lines::values8(), items);
    }
}

// Result of packing one matrix into fixed lists.
enum class Packed { ok, full, mismatch };

// Pack rows 1..m, columns 1..n of `a` into `val` / `wrd`.  The sinks refuse
// an append that would pass a capacity, so nothing is written past one.
// The counts are those of what was stored, also after a refusal: a copy
// cut short then never passes the count test of a restore.
Packed pack_into(const double* a, int32_t ld, int32_t m, int32_t n, double* val, int32_t capval,
                 int16_t* wrd, int32_t capwrd, int32_t& nval, int32_t& nzero, int32_t& nwrd) {
    MemValueSink vs{val, capval};
    MemRunSink rs{wrd, capwrd};
    const packed::PackResult res = packed::pack(a, ld, m, n, vs, rs);
    nval = vs.n;
    nzero = res.counts.nzero;
    nwrd = rs.n_words;
    switch (res.status) {
        case PackStatus::ok:
            return Packed::ok;
        case PackStatus::counts_mismatch:
            return Packed::mismatch;
        default:
            return Packed::full;
    }
}

// Refill rows 1..m, columns 1..n of `a` from the lists; true when the
// values and zeros used agree with the stored counts and fill the matrix.
bool unpack_from(double* a, int32_t ld, int32_t m, int32_t n, const double* val, int32_t nval,
                 int32_t nzero, const int16_t* wrd, int32_t nwrd, int32_t& used, int32_t& zeros) {
    MemValueSource vs{val, nval};
    MemRunSource rs{wrd, nwrd};
    const packed::UnpackResult res = packed::unpack(a, ld, m, n, vs, rs, nwrd * 2);
    used = res.values;
    zeros = res.zeros;
    return res.status == UnpackStatus::ok && used == nval && zeros == nzero &&
           static_cast<int64_t>(used) + zeros == static_cast<int64_t>(m) * n;
}

}  // namespace

int16_t packtb(TableauStore& st, StoreWork& w, int16_t mode, int16_t k, fmt::PrintUnit& pnt) {
    if (k < 1 || k > STORE_NPROB || (mode != STORE_COPY_SETUP && mode != STORE_COPY_PASS)) return err::STORE_OR_SEEK;
    const int32_t m = *w.m;
    const int32_t n = *w.n;
    const int32_t nsv = *w.nsv;
    if (m < 0 || m > STORE_MAXROW || m > w.ldt || n < 0 || n > STORE_MAXCOL || nsv < 0 ||
        nsv > STORE_MAXSV)
        return err::STORE_OR_SEEK;
    if (mode == STORE_COPY_SETUP) {
        const int32_t cr = *w.cplrows;
        const int32_t cc = *w.cplcols;
        if (cr < 0 || cr > w.ldc || cc < 0 || cc > STORE_MAXCOL) return err::STORE_OR_SEEK;
    }

    // Side lists, extents and pivot count.
    StoreCopy& cp = st.tab[k - 1][mode - 1];
    std::memcpy(cp.irow, w.irow, sizeof(int16_t) * m);
    std::memcpy(cp.rnorm, w.rnorm, sizeof(double) * m);
    std::memcpy(cp.icol, w.icol, sizeof(int16_t) * n);
    std::memcpy(cp.cnorm, w.cnorm, sizeof(double) * n);
    std::memcpy(cp.icolsv, w.icolsv, sizeof(int16_t) * nsv);
    cp.m = static_cast<int16_t>(m);
    cp.n = static_cast<int16_t>(n);
    cp.npiv = *w.npiv;
    cp.nsv = static_cast<int16_t>(nsv);
    st.current = mode;

    // The tableau.
    int16_t ierr = err::NONE;
    const Packed tr = pack_into(w.t, w.ldt, m, n, cp.val, STORE_TABVAL, cp.wrd, STORE_TABWRD, cp.nval,
                                cp.nzero, cp.nwrd);
    if (tr == Packed::full) return err::STORE_OR_SEEK;
    if (tr == Packed::mismatch) {
        pnt.write(fmt::lines::banner5(), {mark::TABLEAU_REBUILD});
        pnt.write(fmt::lines::status_line(), {int32_t{k}, m, n, cp.nzero, cp.nval});
        dump_rows(pnt, w.t, w.ldt, m, n);
        ierr = err::COUNTS_WRITE;
    }
    if (mode == STORE_COPY_PASS) return ierr;

    // The coupling matrix.
    StoreCoupling& cq = st.cpl[k - 1];
    const int32_t cr = *w.cplrows;
    const int32_t cc = *w.cplcols;
    const Packed cres = pack_into(w.cpl, w.ldc, cr, cc, cq.val, STORE_CPLVAL, cq.wrd, STORE_CPLWRD,
                                  cq.nval, cq.nzero, cq.nwrd);
    if (cres == Packed::full) return err::STORE_OR_SEEK;
    if (cres == Packed::mismatch) {
        pnt.write(fmt::lines::banner5(), {mark::COUPLING_REBUILD});
        pnt.write(fmt::lines::status_line(), {int32_t{k}, cr, cc, cq.nzero, cq.nval});
        dump_rows(pnt, w.cpl, w.ldc, cr, cc);
        ierr = err::COUNTS_WRITE;
    }
    return ierr;
}

int16_t unpktb(TableauStore& st, StoreWork& w, int16_t mode, int16_t k, fmt::PrintUnit& pnt) {
    if (k < 1 || k > STORE_NPROB || (mode != STORE_COPY_SETUP && mode != STORE_COPY_PASS)) return err::COUNTS_READ;
    const StoreCopy& cp = st.tab[k - 1][mode - 1];
    const int32_t m = cp.m;
    const int32_t n = cp.n;
    if (m > w.ldt) return err::COUNTS_READ;

    // Side lists, extents and pivot count.
    std::memcpy(w.irow, cp.irow, sizeof(int16_t) * m);
    std::memcpy(w.rnorm, cp.rnorm, sizeof(double) * m);
    std::memcpy(w.icol, cp.icol, sizeof(int16_t) * n);
    std::memcpy(w.cnorm, cp.cnorm, sizeof(double) * n);
    std::memcpy(w.icolsv, cp.icolsv, sizeof(int16_t) * cp.nsv);
    *w.m = cp.m;
    *w.n = cp.n;
    *w.npiv = cp.npiv;
    *w.nsv = cp.nsv;

    // The tableau.
    int32_t used = 0, zeros = 0;
    if (!unpack_from(w.t, w.ldt, m, n, cp.val, cp.nval, cp.nzero, cp.wrd, cp.nwrd, used, zeros)) {
        pnt.write(fmt::lines::status_line(),
                  {int32_t{k}, cp.nval, used, cp.nzero, zeros, used + zeros, m, n});
        pnt.write(fmt::lines::banner5(), {mark::TABLEAU_REBUILD});
        return err::COUNTS_READ;
    }

    // The coupling matrix.
    const StoreCoupling& cq = st.cpl[k - 1];
    const int32_t cr = *w.cplrows;
    const int32_t cc = *w.cplcols;
    // The coupling work matrix holds at most STORE_MAXCOL columns of ldc rows.
    const bool fits = cr >= 0 && cr <= w.ldc && cc >= 0 && cc <= STORE_MAXCOL;
    if (!fits ||
        !unpack_from(w.cpl, w.ldc, cr, cc, cq.val, cq.nval, cq.nzero, cq.wrd, cq.nwrd, used, zeros)) {
        if (!fits) used = zeros = 0;
        pnt.write(fmt::lines::status_line(),
                  {int32_t{k}, cq.nval, used, cq.nzero, zeros, used + zeros, cr, cc});
        pnt.write(fmt::lines::banner5(), {mark::COUPLING_REBUILD});
        return err::COUNTS_READ;
    }
    return err::NONE;
}

}  // namespace kav::decomp
