// Arranges the decomposition library's hand-off files of a complete run
// (PAR1, PAR2, PAR3, PAR5, TAB0, 1TAB0, TAB20, 1TAB20 in the data directory)
// into the input set of kavmpi: PAR1.DAT with six extents in front and every
// subproblem's PAR2 records behind, TAB.DAT and 1TAB.DAT with the first
// matrices of all subproblems and then their second matrices.  PAR3.DAT and
// PAR5.DAT stay as they are.  Usage: input_set_writer [data directory]
// (default: $KAV_DATA_DIR, else ./KAV).  Exit status 0, or 1 with one line
// on standard error naming the file (and the folder when it is missing).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "handoff.hpp"
#include "packed.hpp"
#include "platform.hpp"

namespace {

using Bytes = std::vector<char>;
using namespace kav;

constexpr int16_t MAX_SUBPROBLEMS = 60;
constexpr int16_t MAX_LEVELS_BEYOND_BASE = 5;
constexpr int32_t INCREMENT_EXTENT = 2000;  // extent 3: increments per level

// 0, or the status of a failed read: a missing file, or a folder, pipe or
// device in its place (a pipe is never opened, so nothing blocks).
int load(const std::string& path, Bytes& out) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    std::ifstream f(path, std::ios::binary);
    if (!f) return errno != 0 ? errno : EIO;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return f.bad() ? EIO : 0;
}

// 0, or the status of the failed open or write (a full disk, a file-size
// limit, a read-only file).
int save(const std::string& path, const Bytes& b) {
    int status = 0;
    const int fd = kav::open_regular_file(path, true, status);
    if (fd < 0) return status;
    if (::ftruncate(fd, 0) != 0) status = errno;
    for (size_t done = 0; status == 0 && done < b.size();) {
        const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR) status = errno;
    }
    if (::close(fd) != 0 && status == 0) status = errno;
    return status;
}

int fail(const std::string& what) {
    std::fprintf(stderr, "input_set_writer: %s\n", what.c_str());
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
    kav::file_size_limit_as_status();
    Bytes par1, par2, tab0, itab0, tab20, itab20;
    const std::pair<const char*, Bytes*> inputs[] = {{"PAR1.DAT", &par1},   {"PAR2.DAT", &par2},
                                                     {"TAB0.DAT", &tab0},   {"1TAB0.DAT", &itab0},
                                                     {"TAB20.DAT", &tab20}, {"1TAB20.DAT", &itab20}};
    for (const auto& [name, bytes] : inputs)
        if (const int status = load(file(name), *bytes); status != 0)
            return fail(kav::describe_failure("open", file(name), status) + " (a hand-off file of the run)");

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
    const std::pair<const char*, const Bytes*> outputs[] = {{"PAR1.DAT", &out1}, {"TAB.DAT", &tab}, {"1TAB.DAT", &itab}};
    for (const auto& [name, bytes] : outputs)
        if (const int status = save(file(name), *bytes); status != 0)
            return fail(kav::describe_failure("write", file(name), status) + " (the input set is incomplete)");
    std::printf("input set of %d subproblems written to %s\n", nsub, dir.c_str());
    return 0;
}
