// kavmpi on the input set of a library run of the two-subproblem sample
// (one common resource, three levels, increments): a clean run leaves the
// files a host relies on as they should be, and broken input sets (a wrong
// process count, missing, short or directory-shaped files, counts beyond
// what the program holds) end every process within the time limit, with the
// error line on process 0 and a results record of 37.0.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "core_host.hpp"
#include "fixtures.hpp"

namespace kav::test {
namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;  // name -> bytes
const char* const INPUTS[] = {"PAR1.DAT", "PAR3.DAT", "PAR5.DAT", "TAB.DAT", "1TAB.DAT"};

// The sample with x1 <= 1 style rows, one common resource and three levels:
// level 2 raises x1's profit and one coefficient of subproblem 1, level 3
// lowers y2's profit.
Problem base_problem() {
    Problem p = sample(2.25);
    p.ncres = 1;
    p.nlevel = 2;
    for (Sub& s : p.subs) {
        for (auto& v : s.rrk) v.assign(1, 50.0f);
        for (auto& v : s.irk) v.assign(1, 0);
        s.rrl1.assign(1, {});
        s.rrl2.assign(1, {});
    }
    p.subs[0].inc[1] = {Inc{1, 0, 2.0}, Inc{2, -1, 0.5}};
    p.subs[1].inc[2] = {Inc{2, 0, -3.0}};
    p.fill_passthrough(1);
    for (auto& v : p.kr16) v = 0;
    return p;
}

template <class T>
T peek(const std::string& b, size_t at) {
    T v{};
    if (at + sizeof v <= b.size()) std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}
template <class T>
void poke(std::string& b, size_t at, T v) {
    ASSERT_LE(at + sizeof v, b.size());
    std::memcpy(b.data() + at, &v, sizeof v);
}

// Byte offsets of the items the cases change, found by walking PAR1.DAT
// and PAR3.DAT item by item.
struct Layout {
    static constexpr size_t header = 24, rec3 = 36;
    int nsub = 0, ncres = 0, nl = 0;
    std::vector<size_t> prob, irow, icol;  // per subproblem (index K-1)
    std::vector<size_t> ninc, incs;        // PAR3: NINC list and first increment
};

Layout walk(const Files& f) {
    const std::string& p1 = f.at("PAR1.DAT");
    Layout y;
    y.nsub = peek<int16_t>(p1, 24);
    y.ncres = peek<int16_t>(p1, 26);
    y.nl = peek<int16_t>(p1, 28) + 1;
    const int nzo1 = peek<int16_t>(p1, 32) + 1;
    size_t at = Layout::rec3 + 12u * y.nsub + 2u * y.nsub * y.ncres + 12u * y.ncres * y.nl + nzo1 * (12u + 12u * y.nl);
    for (int k = 0; k < y.nsub; ++k) {
        at += 28u * y.ncres;
        y.prob.push_back(at);
        const int m = peek<int16_t>(p1, at + 32), n = peek<int16_t>(p1, at + 34);
        at += 66 + 24;
        y.irow.push_back(at);
        y.icol.push_back(at + 2u * m);
        at += 2u * (m + n);
    }
    const std::string& p3 = f.at("PAR3.DAT");
    at = 0;
    for (int k = 0; k < y.nsub; ++k) {
        at += 8u * y.ncres * y.nl;
        y.ninc.push_back(at);
        int total = 0;
        for (int l = 0; l < y.nl; ++l) total += peek<int16_t>(p3, at + 2u * l);
        at += 2u * y.nl;
        y.incs.push_back(at);
        at += 12u * total;
    }
    return y;
}

// The input set and the library's results, made once.
struct Base {
    Files files;
    Layout layout;
    double resv[6] = {};
};

const Base& base() {
    static const Base b = [] {
        Base r;
        TempDataDir dir;
        Host h;
        h.run(base_problem());
        for (size_t l = 0; l < 6 && l < h.RESV.size(); ++l) r.resv[l] = h.RESV[l];
        const std::string cmd = std::string(INPUT_SET_WRITER_EXE) + " " + dir.path() + " >/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        for (const char* f : INPUTS) r.files[f] = read_file(dir.file(f));
        r.layout = walk(r.files);
        return r;
    }();
    return b;
}

void write_files(const std::string& dir, const Files& f) {
    for (const auto& [name, bytes] : f)
        std::ofstream(dir + "/" + name, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// mpiexec's exit status (124 when the time limit killed it), run from
// `cwd` with the data directory named by KAV_DATA_DIR.
int mpiexec(const std::string& cwd, int procs) {
    const std::string cmd = "cd " + cwd + " && ASAN_OPTIONS=detect_leaks=0 timeout -k 5 60 mpiexec -n " +
                            std::to_string(procs) + " " + KAVMPI_EXE + " >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
}

std::string error_line(int problem, int code) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "PROBLEM%5d ERROR CODE%3d", problem, code);
    return buf;
}

std::string names(const std::string& dir) {
    std::string s;
    for (const auto& e : fs::directory_iterator(dir)) s += e.path().filename().string() + " ";
    return s;
}

TEST(KavmpiInput, SampleRunLeavesTheFilesAsAHostExpects) {
    const Base& b = base();
    TempDataDir outside;
    TempDataDir dir;
    write_files(dir.path(), b.files);
    ASSERT_EQ(mpiexec(outside.path(), 5), 0);
    EXPECT_TRUE(fs::is_empty(outside.path())) << names(outside.path());
    for (int w = 0; w < 5; ++w) {
        const std::string pnt = read_file(dir.file("KAV" + std::to_string(100 + w) + ".PNT"));
        EXPECT_EQ(pnt.substr(0, pnt.find('\n', 1) + 1), "\nBESM ELLAH EL RAHMAN EL RAHIM  1\n") << "rank " << w;
    }
    for (const char* f : {"PAR1.DAT", "PAR3.DAT", "TAB.DAT", "1TAB.DAT"})
        EXPECT_EQ(read_file(dir.file(f)), b.files.at(f)) << f;
    // PAR5.DAT: its flag word, six results, NVRES and NVRES values per level.
    const std::string par5 = read_file(dir.file("PAR5.DAT"));
    EXPECT_EQ(par5.substr(0, 2), b.files.at("PAR5.DAT").substr(0, 2));
    const int16_t nvres = peek<int16_t>(par5, 50);
    EXPECT_EQ(nvres, 4);
    EXPECT_EQ(par5.size(), 52u + 8u * b.layout.nl * static_cast<size_t>(nvres));
    for (int l = 0; l < 6; ++l) EXPECT_NEAR(peek<double>(par5, 2 + 8 * l), b.resv[l], 1e-9) << "level " << l + 1;
    // Every file written is one of the input set or a print file.
    EXPECT_EQ(names(dir.path()).size(), std::string("PAR1.DAT PAR3.DAT PAR5.DAT TAB.DAT 1TAB.DAT ").size() +
                                            5 * std::string("KAV100.PNT ").size());
}

// A subproblem of 122 x 302 holds more than 32767 packed values: the count
// travels whole in 32 bits and the result is the LP optimum.
TEST(KavmpiInput, FirstMatrixBeyondSixteenBitCounts) {
    std::mt19937 g(11);
    auto real = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(g); };
    PlainProblem pp;
    PlainSub s;
    for (int v = 0; v < 300; ++v) s.c.push_back(std::round(real(1.0, 10.0) * 4.0) / 4.0);
    for (int r = 0; r < 120; ++r) {
        std::vector<double> row(300);
        for (auto& x : row) x = std::round(real(0.5, 5.0) * 4.0) / 4.0;
        s.a.push_back(row);
        s.b.push_back(std::round(real(20.0, 60.0)));
    }
    pp.subs.push_back(s);
    pp.cpl.assign(1, {std::vector<double>(300, 1.0)});
    pp.rhs = {5.0};
    TempDataDir dir;
    Problem p = to_host(pp, 3);
    std::fill(p.kr16.begin(), p.kr16.end(), 0);
    double lib = 0.0;
    {
        Host h;
        h.run(p);
        lib = h.RESV[0];
    }
    ASSERT_GT(peek<int32_t>(read_file(dir.file("PAR2.DAT")), 38), 32767);
    const std::string writer = std::string(INPUT_SET_WRITER_EXE) + " " + dir.path() + " >/dev/null";
    ASSERT_EQ(std::system(writer.c_str()), 0);
    ASSERT_EQ(mpiexec(dir.path(), 3), 0);
    const double resv = peek<double>(read_file(dir.file("PAR5.DAT")), 2);
    const LpResult opt = solve_lp(to_lp(pp, false));
    EXPECT_NEAR(resv, opt.obj, 1e-6 * std::fabs(opt.obj));
    EXPECT_NEAR(resv, lib, 1e-9 * std::fabs(lib));
}

// One broken input set: how it is broken, the process count, and what
// process 0 prints (problem 0: not checked; code 0: no print file).
struct Hostile {
    const char* name;
    int procs;
    std::function<void(Files&, const Layout&)> mutate;
    int problem, code;
    bool aborts = true;  // every process ends at once with a nonzero status
};

template <class T>
std::function<void(Files&, const Layout&)> set(const char* file, std::function<size_t(const Layout&)> at, T v) {
    return [=](Files& f, const Layout& y) { poke(f[file], at(y), v); };
}
std::function<void(Files&, const Layout&)> cut(const char* file, size_t keep_less) {
    return [=](Files& f, const Layout&) { f[file].resize(f[file].size() - keep_less); };
}
std::function<void(Files&, const Layout&)> drop(const char* file) {
    return [=](Files& f, const Layout&) { f.erase(file); };
}
size_t off(size_t o) { return o; }

TEST(KavmpiInput, BrokenInputEndsEveryProcessWithTheErrorLine) {
    using L = const Layout&;
    // Offsets within a problem record: rows 32, columns 34, value count 38.
    const Hostile cases[] = {
        {"three processes for two subproblems", 3, {}, 777, 111},
        {"seven processes for two subproblems", 7, {}, 777, 111},
        {"PAR1.DAT missing", 5, drop("PAR1.DAT"), 777, 110},
        {"PAR3.DAT missing", 5, drop("PAR3.DAT"), 777, 130},
        {"PAR5.DAT missing", 5, drop("PAR5.DAT"), 777, 150},
        {"TAB.DAT missing", 5, drop("TAB.DAT"), 777, 140},
        {"1TAB.DAT missing", 5, drop("1TAB.DAT"), 777, 140},
        {"PAR1.DAT short in the header", 5, [](Files& f, L) { f["PAR1.DAT"].resize(30); }, 777, 110},
        {"PAR1.DAT short in the last label list", 5, cut("PAR1.DAT", 3), 777, 110},
        {"PAR3.DAT short in the last increment", 5, cut("PAR3.DAT", 3), 777, 130},
        {"PAR5.DAT of one byte", 5, [](Files& f, L) { f["PAR5.DAT"].resize(1); }, 777, 150},
        {"TAB.DAT short", 5, cut("TAB.DAT", 3), 777, 140},
        {"1TAB.DAT short", 5, cut("1TAB.DAT", 3), 777, 140},
        {"61 subproblems", 5, set<int16_t>("PAR1.DAT", [](L) { return off(24); }, 61), 777, 110},
        {"65 common resources", 5, set<int16_t>("PAR1.DAT", [](L) { return off(26); }, 65), 777, 110},
        {"7 levels", 5, set<int16_t>("PAR1.DAT", [](L) { return off(28); }, 6), 777, 110},
        {"401 coupling rows", 5, set<int16_t>("PAR1.DAT", [](L) { return off(30); }, 401), 777, 110},
        {"36001 0-Z entries", 5, set<int16_t>("PAR1.DAT", [](L) { return off(32); }, 36000), 777, 110},
        {"row extent beyond the tables", 5, set<int32_t>("PAR1.DAT", [](L) { return off(16); }, 2401), 777, 110},
        {"column extent below the columns", 5, set<int32_t>("PAR1.DAT", [](L) { return off(20); }, 3), 777, 110},
        {"negative value extent", 5, set<int32_t>("PAR1.DAT", [](L) { return off(0); }, -1), 777, 110},
        {"result extent below the result positions", 5,
         set<int32_t>("PAR1.DAT", [](L) { return off(12); }, 3), 777, 110},
        {"2401 rows", 5, set<int16_t>("PAR1.DAT", [](L y) { return y.prob[1] + 32; }, 2401), 777, 110},
        {"one column", 5, set<int16_t>("PAR1.DAT", [](L y) { return y.prob[0] + 34; }, 1), 777, 110},
        {"value count beyond 32 bits of cells", 5,
         set<int32_t>("PAR1.DAT", [](L y) { return y.prob[0] + 38; }, INT32_MAX), 777, 110},
        {"negative run-byte count of a second matrix", 5,
         set<int32_t>("PAR1.DAT", [](L) { return off(Layout::rec3 + 12 + 8); }, -6), 777, 110},
        {"huge value count of a second matrix", 5,
         set<int32_t>("PAR1.DAT", [](L) { return off(Layout::rec3); }, 1 << 30), 777, 110},
        {"row label beyond the rows", 5, set<int16_t>("PAR1.DAT", [](L y) { return y.irow[0] + 4; }, -7), 777, 110},
        {"equality-row label beyond the rows", 5,
         set<int16_t>("PAR1.DAT", [](L y) { return y.irow[0] + 2; }, -5003), 777, 110},
        {"0-Z label beyond the columns", 5,
         set<int16_t>("PAR1.DAT", [](L y) { return y.icol[1] + 2; }, 6009), 777, 110},
        {"2001 increments at a level", 5,
         set<int16_t>("PAR3.DAT", [](L y) { return y.ninc[0]; }, 2001), 777, 130},
        {"negative increment count", 5, set<int16_t>("PAR3.DAT", [](L y) { return y.ninc[1]; }, -1), 777, 130},
        {"more objective increments than columns", 5,
         [](Files& f, L y) {
             // Five objective increments at level 1 of subproblem 2 (four columns).
             std::string& p3 = f["PAR3.DAT"];
             poke<int16_t>(p3, y.ninc[1], 5);
             std::string inc(12, '\0');
             poke<int16_t>(inc, 0, 1);
             p3.insert(y.incs[1], inc + inc + inc + inc + inc);
         },
         777, 130},
        {"PAR1.DAT is a directory", 5,
         [](Files& f, L) { f.erase("PAR1.DAT"); f["PAR1.DAT/"] = ""; }, 3031, 36},
        {"1TAB.DAT is a directory", 5,
         [](Files& f, L) { f.erase("1TAB.DAT"); f["1TAB.DAT/"] = ""; }, 3031, 28},
        {"no data directory", 5, [](Files& f, L) { f.clear(); f["/"] = ""; }, 0, 0},
        // Counts that pass the reading but not the rebuild of a second
        // matrix: an error exit of the search, which ends in order.
        {"second-matrix zero count off by one", 5,
         [](Files& f, L) {
             std::string& p1 = f["PAR1.DAT"];
             poke<int32_t>(p1, Layout::rec3 + 4, peek<int32_t>(p1, Layout::rec3 + 4) + 1);
         },
         3001, 2, false},
    };
    const Base& b = base();
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        Files f = b.files;
        if (c.mutate) c.mutate(f, b.layout);
        TempDataDir outside;
        TempDataDir dir;
        for (auto it = f.begin(); it != f.end();) {
            if (it->first.back() == '/') {  // a directory in place of the file
                if (it->first == "/") fs::remove(dir.path());
                else fs::create_directory(dir.file(it->first));
                it = f.erase(it);
            } else {
                ++it;
            }
        }
        if (fs::exists(dir.path())) write_files(dir.path(), f);
        const int status = mpiexec(outside.path(), c.procs);
        EXPECT_NE(status, 124) << "the time limit ended the run";
        if (c.aborts) EXPECT_NE(status, 0);
        else EXPECT_EQ(status, 0);
        EXPECT_TRUE(fs::is_empty(outside.path())) << names(outside.path());
        if (c.code == 0) {
            EXPECT_FALSE(fs::exists(dir.path()));
            continue;
        }
        const std::string pnt = read_file(dir.file("KAV100.PNT"));
        EXPECT_NE(pnt.find(error_line(c.problem, c.code)), std::string::npos) << pnt.substr(0, 2000);
        const std::string par5 = read_file(dir.file("PAR5.DAT"));
        ASSERT_GE(par5.size(), 52u);
        for (int l = 0; l < 6; ++l) EXPECT_EQ(peek<double>(par5, 2 + 8 * l), 37.0);
    }
}

}  // namespace
}  // namespace kav::test
