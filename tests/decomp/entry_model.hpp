// Expected hand-off bytes built straight from the host's arguments, for the
// entry tests.  Nothing here uses the library's own code except the print
// formatter (to render expected print lines).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fmt.hpp"
#include "host.hpp"

namespace kav::test {

// The entry's eight hand-off files, in the order it opens them.
inline const char* const kHandOff[] = {"TAB0.DAT", "1TAB0.DAT", "TAB20.DAT", "1TAB20.DAT",
                                       "PAR1.DAT", "PAR2.DAT",  "PAR3.DAT",  "PAR5.DAT"};

// The entry's closing time lines at the end of a print file, as a regular
// expression.
inline std::string time_lines_re() { return "\n    \\d\\d:\\d\\d:\\d\\d    \\d\\d:\\d\\d:\\d\\d\n\n$"; }

// Little-endian byte string built item by item.
struct Bytes {
    std::string b;
    template <class T>
    Bytes& operator<<(T v) {
        char tmp[sizeof v];
        std::memcpy(tmp, &v, sizeof v);
        b.append(tmp, sizeof v);
        return *this;
    }
    Bytes& operator<<(const std::string& s) {
        b += s;
        return *this;
    }
};

// Packed form of a row-major m x n matrix: values and runs in scan order,
// runs split at 32767 zeros.
struct PackedModel {
    std::string vals, runs;
    int32_t nnz = 0, nzero = 0, nixb = 0;
};

inline PackedModel pack_model(const std::vector<double>& a, int m, int n) {
    PackedModel p;
    Bytes v, r;
    const int64_t total = static_cast<int64_t>(m) * n;
    int64_t q = 0;
    while (q < total) {
        if (a[q] != 0.0) {
            v << a[q];
            ++p.nnz;
            ++q;
            continue;
        }
        int64_t s = q;
        while (q < total && a[q] == 0.0) ++q;
        int64_t len = q - s;
        while (len > 0) {
            const int64_t piece = std::min<int64_t>(len, 32767);
            r << static_cast<int16_t>(s / n + 1) << static_cast<int16_t>(s % n + 1)
              << static_cast<int16_t>(piece);
            p.nzero += static_cast<int32_t>(piece);
            p.nixb += 6;
            s += piece;
            len -= piece;
        }
    }
    p.vals = v.b;
    p.runs = r.b;
    return p;
}

// Overwrite (and extend, with zero bytes for a gap) a file image at an offset.
inline void put_at(std::string& img, int64_t off, const std::string& data) {
    if (static_cast<int64_t>(img.size()) < off + static_cast<int64_t>(data.size()))
        img.resize(static_cast<size_t>(off) + data.size(), '\0');
    std::copy(data.begin(), data.end(), img.begin() + off);
}

// Coupling matrix of a subproblem with `rows` rows: its last row moved to row
// `rows`, the rows between zero.
inline std::vector<double> padded(const Sub& s, int rows) {
    std::vector<double> c(static_cast<size_t>(rows) * s.ncol, 0.0);
    for (int i = 1; i < s.ncrow; ++i)
        for (int k = 1; k <= s.ncol; ++k) c[(i - 1) * s.ncol + (k - 1)] = s.cpl[(i - 1) * s.ncol + (k - 1)];
    for (int k = 1; k <= s.ncol; ++k)
        c[(rows - 1) * s.ncol + (k - 1)] = s.cpl[(s.ncrow - 1) * s.ncol + (k - 1)];
    return c;
}

// Print lines of one format with an item list.
inline std::string render(const char* f, std::vector<fmt::Item> items) {
    return fmt::Format(f).render(std::span<const fmt::Item>(items.data(), items.size()));
}

inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find('\n', p);
        if (e == std::string::npos) e = text.size();
        out.push_back(text.substr(p, e - p));
        p = e + 1;
    }
    return out;
}

// A subproblem K with every kind of data filled in from K.
inline Sub sample_sub(int K, int16_t nrow, int16_t ncol, int16_t nzo, int16_t ncrow, int16_t kcode, int ncres) {
    Sub s = Sub::sized(nrow, ncol, nzo, ncrow, ncres);
    s.kcode = kcode;
    // Every row has a nonzero, so no zero run reaches 2*NCOL.
    for (int i = 1; i <= nrow; ++i)
        for (int k = 1; k <= ncol; ++k)
            s.A(i, k) = (i + k + K) % 3 == 0 ? 0.0 : i * 10.0 + k + K * 0.5;
    for (int i = 1; i <= ncrow; ++i)
        for (int k = 1; k <= ncol; ++k)
            s.C(i, k) = (i * k + K) % 4 == 0 ? 1.5 * i - 0.25 * k + K : 0.0;
    for (int k = 1; k <= ncol; ++k) s.C(ncrow, k) = 100.0 * K + k;  // a full last row
    for (int i = 2; i <= nrow; ++i) s.type[i - 1] = static_cast<int16_t>((i + K) % 4 - 1);
    for (int k = 2; k <= nzo + 1; ++k) {
        s.iza[k - 1] = {static_cast<int16_t>(K * 10 + k), static_cast<int16_t>(-k),
                        static_cast<int16_t>(k * 3), static_cast<int16_t>(K)};
        for (int l = 0; l < 6; ++l) {
            s.zovd[k - 1][l] = K * 100.0 + k * 10.0 + l + 0.125;
            s.zovr[k - 1][l] = static_cast<float>(K + k * 0.5 + l * 0.25);
        }
    }
    for (int j = 0; j < ncres; ++j) {
        for (int q = 0; q < 4; ++q) s.rrk[q][j] = static_cast<float>(K + j * 0.5 + q * 0.125);
        for (int q = 0; q < 6; ++q) s.irk[q][j] = static_cast<int16_t>(K * 100 + j * 10 + q);
        for (int l = 0; l < 6; ++l) {
            s.rrl1[j][l] = static_cast<float>(K * 2 + j + l * 0.5);
            s.rrl2[j][l] = static_cast<float>(-K - j - l * 0.25);
        }
    }
    return s;
}

// A small valid problem of `nsub` sample subproblems (one common resource,
// one sensitivity level) with pass-through items from `seed`.
inline Problem small_problem(int16_t nsub, int seed) {
    Problem p;
    p.nsub = nsub;
    p.ncres = 1;
    p.nlevel = 1;
    p.fill_passthrough(seed);
    for (int K = 1; K <= nsub; ++K) p.subs.push_back(sample_sub(K, 5, 4, 1, 3, 100, 1));
    p.crval = {0.0, 1.0, 2.0};
    p.itypcr = {0, 1, 1};
    return p;
}

}  // namespace kav::test
