// Arranges the decomposition library's hand-off files of a complete run
// (PAR1, PAR2, PAR3, PAR5, TAB0, 1TAB0, TAB20, 1TAB20 in the data directory)
// into the input set of kavmpi: PAR1.DAT with six extents in front and every
// subproblem's PAR2 records behind, TAB.DAT and 1TAB.DAT with the first
// matrices of all subproblems and then their second matrices.  PAR3.DAT and
// PAR5.DAT stay as they are.  Usage: input_set_writer [data directory]
// (default: $KAV_DATA_DIR, else ./KAV).  Exit status 0, or 1 with one line
// on standard error naming the file (and the folder when it is missing).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.hpp"

namespace {

using Bytes = std::vector<char>;

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

// Sequential reader over a byte image that remembers running past its end.
struct Cursor {
    const Bytes& b;
    size_t pos = 0;
    bool bad = false;
    template <class T>
    T get() {
        T v{};
        if (pos + sizeof(T) > b.size()) {
            bad = true;
            return v;
        }
        std::memcpy(&v, b.data() + pos, sizeof(T));
        pos += sizeof(T);
        return v;
    }
    void skip(size_t n) {
        if (pos + n > b.size()) bad = true;
        else pos += n;
    }
};

template <class T>
void put(Bytes& b, T v) {
    const char* p = reinterpret_cast<const char*>(&v);
    b.insert(b.end(), p, p + sizeof(T));
}

int fail(const std::string& what) {
    std::fprintf(stderr, "input_set_writer: %s\n", what.c_str());
    return 1;
}

int32_t runs_in(int32_t nixb) { return ((nixb / 2) + 2) / 3; }

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

    Cursor c1{par1};
    const int16_t nsub = c1.get<int16_t>(), ncres = c1.get<int16_t>(), nlevel = c1.get<int16_t>();
    const int16_t rmax = c1.get<int16_t>();
    c1.skip(4);  // NZOTOT, PRSW
    if (c1.bad || nsub < 1 || nsub > 60 || ncres < 0 || nlevel < 0 || nlevel > 5 || rmax < 2)
        return fail("PAR1.DAT does not hold a run's header");
    std::vector<int32_t> cnnz(nsub + 1), cixb(nsub + 1);
    for (int k = 1; k <= nsub; ++k) {
        cnnz[k] = c1.get<int32_t>();
        c1.get<int32_t>();
        cixb[k] = c1.get<int32_t>();
    }
    if (c1.bad) return fail("PAR1.DAT is short");

    // Walk PAR2 for each subproblem's extents and first-matrix counts.
    int32_t ext[7] = {};
    std::vector<int32_t> nnz(nsub + 1), ixb(nsub + 1);
    Cursor c2{par2};
    int32_t nvres = 0;
    for (int k = 1; k <= nsub; ++k) {
        c2.skip(static_cast<size_t>(ncres) * 28);  // records 1 and 2
        c2.skip(12 + 4 + 4 + 12);                   // items 1 to 9
        const int16_t m = c2.get<int16_t>(), n = c2.get<int16_t>();
        c2.get<int16_t>();
        nnz[k] = c2.get<int32_t>();
        c2.get<int32_t>();
        ixb[k] = c2.get<int32_t>();
        c2.skip(4 + 12);                                    // items 16 to 22
        c2.skip(24 + static_cast<size_t>(m) * 2 + static_cast<size_t>(n) * 2);  // records 4 to 6
        if (c2.bad || m < 1 || n < 2) return fail("PAR2.DAT is short or inconsistent");
        ext[1] = std::max(ext[1], std::max(nnz[k], cnnz[k]));
        ext[2] = std::max(ext[2], std::max(ixb[k], cixb[k]) / 2);
        ext[5] = std::max<int32_t>(ext[5], m);
        ext[6] = std::max<int32_t>(ext[6], n);
        nvres += n - 2;
    }
    ext[3] = 2000;
    ext[4] = nvres;

    Bytes out1;
    for (int i = 1; i <= 6; ++i) put(out1, ext[i]);
    out1.insert(out1.end(), par1.begin(), par1.end());
    out1.insert(out1.end(), par2.begin(), par2.begin() + static_cast<std::ptrdiff_t>(c2.pos));

    // The matrices, first all first matrices, then all second ones.
    Bytes tab, itab;
    size_t v0 = 0, r0 = 0, v2 = 0, r2 = 0;
    for (int k = 1; k <= nsub; ++k) {
        const size_t nv = static_cast<size_t>(nnz[k]) * 8, nr = static_cast<size_t>(runs_in(ixb[k])) * 6;
        if (v0 + nv > tab0.size() || r0 + nr > itab0.size()) return fail("TAB0.DAT or 1TAB0.DAT is short");
        tab.insert(tab.end(), tab0.begin() + static_cast<std::ptrdiff_t>(v0), tab0.begin() + static_cast<std::ptrdiff_t>(v0 + nv));
        itab.insert(itab.end(), itab0.begin() + static_cast<std::ptrdiff_t>(r0), itab0.begin() + static_cast<std::ptrdiff_t>(r0 + nr));
        v0 += nv;
        r0 += nr;
    }
    for (int k = 1; k <= nsub; ++k) {
        const size_t nv = static_cast<size_t>(cnnz[k]) * 8, nr = static_cast<size_t>(runs_in(cixb[k])) * 6;
        if (v2 + nv > tab20.size() || r2 + nr > itab20.size()) return fail("TAB20.DAT or 1TAB20.DAT is short");
        tab.insert(tab.end(), tab20.begin() + static_cast<std::ptrdiff_t>(v2), tab20.begin() + static_cast<std::ptrdiff_t>(v2 + nv));
        itab.insert(itab.end(), itab20.begin() + static_cast<std::ptrdiff_t>(r2), itab20.begin() + static_cast<std::ptrdiff_t>(r2 + nr));
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
