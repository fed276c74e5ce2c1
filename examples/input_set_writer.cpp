// Arranges the decomposition library's hand-off files of a complete run
// (PAR1, PAR2, PAR3, PAR5, TAB0, 1TAB0, TAB20, 1TAB20 in the data directory)
// into the input set of kavmpi: PAR1.DAT with six extents in front and every
// subproblem's PAR2 records behind, TAB.DAT and 1TAB.DAT with the first
// matrices of all subproblems and then their second matrices.  PAR3.DAT and
// PAR5.DAT stay as they are.  Usage: input_set_writer [data directory]
// (default: $KAV_DATA_DIR, else ./KAV).  Exit status 0, or 1 with a message.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "handoff.hpp"
#include "packed.hpp"

namespace {

using Bytes = std::vector<char>;
using namespace kav;

constexpr int16_t MAX_SUBPROBLEMS = 60;
constexpr int16_t MAX_LEVELS_BEYOND_BASE = 5;
constexpr int32_t INCREMENT_EXTENT = 2000;  // extent 3: increments per level

bool load(const std::string& path, Bytes& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

bool save(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(f);
}

int fail(const char* what) {
    std::fprintf(stderr, "input_set_writer: %s\n", what);
    return 1;
}

// Bytes [from, from + n) of `b` appended to `out`; false when `b` is short.
bool append(Bytes& out, const Bytes& b, size_t from, size_t n) {
    if (from > b.size() || n > b.size() - from) return false;
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + n));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "";
    if (dir.empty()) {
        const char* e = std::getenv("KAV_DATA_DIR");
        dir = (e != nullptr && *e != '\0') ? e : "KAV";
    }
    auto file = [&](const char* name) { return dir + "/" + name; };
    Bytes par1, par2, tab0, itab0, tab20, itab20;
    if (!load(file("PAR1.DAT"), par1) || !load(file("PAR2.DAT"), par2) || !load(file("TAB0.DAT"), tab0) ||
        !load(file("1TAB0.DAT"), itab0) || !load(file("TAB20.DAT"), tab20) || !load(file("1TAB20.DAT"), itab20))
        return fail("a hand-off file of the run is missing");

    handoff::In c1{par1.data(), par1.size()};
    handoff::Header h{};
    handoff::get(c1, h);
    if (c1.bad() || h.NSUB < 1 || h.NSUB > MAX_SUBPROBLEMS || h.NCRES < 0 || h.NLEVEL < 0 ||
        h.NLEVEL > MAX_LEVELS_BEYOND_BASE || h.NCROW < 2)
        return fail("PAR1.DAT does not hold a run's header");
    const int16_t nsub = h.NSUB;
    std::vector<handoff::MatrixCounts> cpl(nsub + 1);
    for (int k = 1; k <= nsub; ++k) handoff::get(c1, cpl[k]);
    if (c1.bad()) return fail("PAR1.DAT is short");

    // Walk PAR2 for each subproblem's extents and first-matrix counts.
    int32_t ext[handoff::NEXTENT + 1] = {};
    std::vector<handoff::MatrixCounts> mat(nsub + 1);
    handoff::In c2{par2.data(), par2.size()};
    int32_t nvres = 0;
    for (int k = 1; k <= nsub; ++k) {
        for (int j = 0; j < h.NCRES; ++j) {
            handoff::ResourceCaps caps{};
            handoff::get(c2, caps);
        }
        for (int j = 0; j < h.NCRES; ++j) {
            handoff::ResourcePlaces places{};
            handoff::get(c2, places);
        }
        handoff::ProblemRecord pr{};
        handoff::get(c2, pr);
        for (int q = 0; q < handoff::NCLASS; ++q) {
            handoff::RowClass rc{};
            handoff::get(c2, rc);
        }
        const int16_t m = pr.NROW, n = pr.NCOL;
        if (c2.bad() || m < 1 || n < 2) return fail("PAR2.DAT is short or inconsistent");
        c2.skip(sizeof(int16_t) * (static_cast<size_t>(m) + static_cast<size_t>(n)));  // the label lists
        if (c2.bad()) return fail("PAR2.DAT is short or inconsistent");
        mat[k] = pr.mat;
        ext[1] = std::max(ext[1], std::max(mat[k].NNZ, cpl[k].NNZ));
        ext[2] = std::max(ext[2], std::max(mat[k].NIXB, cpl[k].NIXB) / 2);
        ext[5] = std::max<int32_t>(ext[5], m);
        ext[6] = std::max<int32_t>(ext[6], n);
        nvres += n - 2;
    }
    ext[3] = INCREMENT_EXTENT;
    ext[4] = nvres;

    Bytes out1;
    handoff::Out o1{out1};
    for (int i = 1; i <= handoff::NEXTENT; ++i) o1.put(ext[i]);
    out1.insert(out1.end(), par1.begin(), par1.end());
    out1.insert(out1.end(), par2.begin(), par2.begin() + static_cast<std::ptrdiff_t>(c2.offset()));

    // The matrices, first all first matrices, then all second ones.
    Bytes tab, itab;
    size_t v0 = 0, r0 = 0, v2 = 0, r2 = 0;
    constexpr size_t VALUE_BYTES = sizeof(double), RUN_BYTES = sizeof(packed::ZRun);
    for (int k = 1; k <= nsub; ++k) {
        const size_t nv = static_cast<size_t>(mat[k].NNZ) * VALUE_BYTES;
        const size_t nr = static_cast<size_t>(packed::runs_in(mat[k].NIXB)) * RUN_BYTES;
        if (!append(tab, tab0, v0, nv) || !append(itab, itab0, r0, nr)) return fail("TAB0.DAT or 1TAB0.DAT is short");
        v0 += nv;
        r0 += nr;
    }
    for (int k = 1; k <= nsub; ++k) {
        const size_t nv = static_cast<size_t>(cpl[k].NNZ) * VALUE_BYTES;
        const size_t nr = static_cast<size_t>(packed::runs_in(cpl[k].NIXB)) * RUN_BYTES;
        if (!append(tab, tab20, v2, nv) || !append(itab, itab20, r2, nr))
            return fail("TAB20.DAT or 1TAB20.DAT is short");
        v2 += nv;
        r2 += nr;
    }
    if (!save(file("PAR1.DAT"), out1) || !save(file("TAB.DAT"), tab) || !save(file("1TAB.DAT"), itab))
        return fail("cannot write the input set");
    std::printf("input set of %d subproblems written to %s\n", nsub, dir.c_str());
    return 0;
}
