// Hostile input for the decomposition library: seeded random argument sets
// through the entry, and valid runs whose hand-off files are broken before
// the driver reads them back.  Nothing may crash, hang or touch memory out
// of bounds; a run either ends cleanly or reports an error or stop, and then
// RESV is 37.0.
//
// The number of seeds comes from KAV_FUZZ_SEEDS (default small, so the file
// runs in seconds); KAV_FUZZ_SEED0 moves the first seed.  KAV_FUZZ_DEBUG
// prints how each completing call of the random argument sets ended.

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <unistd.h>

#include "core_host.hpp"
#include "entry_model.hpp"
#include "fixtures.hpp"
#include "handover.hpp"

namespace kav::test {
namespace {

int env_int(const char* name, int dflt) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : dflt;
}
int seeds(int dflt) { return env_int("KAV_FUZZ_SEEDS", dflt); }
int seed0() { return env_int("KAV_FUZZ_SEED0", 1); }

// A call that does not return within the watchdog time ends the test
// program with the seed named, so a hang shows up as a failure.
volatile std::sig_atomic_t g_seed = 0;
void on_alarm(int) {
    char buf[96];
    const int n = std::snprintf(buf, sizeof buf, "\nhostile input: seed %d did not finish (hang)\n",
                                static_cast<int>(g_seed));
    if (n > 0) (void)!write(2, buf, static_cast<size_t>(n));
    _exit(3);
}
class Watchdog {
public:
    Watchdog(int seed, unsigned seconds) {
        g_seed = seed;
        std::signal(SIGALRM, &on_alarm);
        alarm(seconds);
    }
    ~Watchdog() { alarm(0); }
};

using Rng = std::mt19937;
int uni(Rng& g, int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); }
bool chance(Rng& g, int percent) { return uni(g, 1, 100) <= percent; }

// Share (percent) of hostile choices of the current seed: some seeds stay
// close to valid calls so that they reach the solve.
int g_hostile = 20;
bool hostile(Rng& g) { return chance(g, g_hostile); }
int16_t g_ncres = 0, g_nlevel = 0;

int16_t hostile16(Rng& g) {
    static const int16_t v[] = {0, 1, -1, 2, 3, 5, -5, 59, 60, 61, 399, 400, 401, 859, 860, 2000, 2001,
                                2399, 2400, 2401, 4999, 5000, 5001, 5005, -5000, -5001, -5002, 9999,
                                32767, -32768, -32767};
    return chance(g, 70) ? v[uni(g, 0, static_cast<int>(std::size(v)) - 1)]
                         : static_cast<int16_t>(uni(g, -32768, 32767));
}
int32_t hostile32(Rng& g) {
    static const int32_t v[] = {0, 1, -1, 2, 6, 12, 400, 2400, 5760000, 32767, 32768, 65535,
                                std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};
    return chance(g, 70) ? v[uni(g, 0, static_cast<int>(std::size(v)) - 1)]
                         : static_cast<int32_t>(g());
}
double hostile_real(Rng& g) {
    static const double v[] = {0.0, -0.0, 1.0, -1.0, 1e-300, 1e300, -1e300, 1e30, 0.001, 4.9e-324,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    return v[uni(g, 0, static_cast<int>(std::size(v)) - 1)];
}

// After a completing call every level either holds a result or 37.0.
void expect_sane_resv(const Host& h, int seed) {
    for (int l = 0; l < 6; ++l) EXPECT_FALSE(std::isnan(h.RESV[l])) << "seed " << seed << " level " << l + 1;
}

// ---- random argument sets through the entry ------------------------------------

// Counts a call may carry: mostly small, sometimes at or past a limit.
int16_t pick_count(Rng& g, int lo, int hi) {
    if (!hostile(g)) return static_cast<int16_t>(uni(g, lo, hi));
    return hostile16(g);
}

// Fills the host's arrays for one call with the extents the counts claim
// (exactly what a host would allocate), with hostile contents.
void random_call(Host& h, Rng& g, int16_t nsub, int16_t kprob) {
    h.NSUB = nsub;
    h.KPROB = kprob;
    // The counts a run passes alike in every call, unless hostile.
    h.NCRES = !hostile(g) ? g_ncres : hostile16(g);
    h.NLEVEL = !hostile(g) ? g_nlevel : hostile16(g);
    h.NROW = pick_count(g, 3, 8);
    // Column counts past the tableau occur, but the host's matrix then has
    // 2400 rows per column: keep them rare.
    h.NCOL = chance(g, 3) ? static_cast<int16_t>(uni(g, 2399, 2402)) : pick_count(g, 3, 8);
    if (h.NCOL > 2402) h.NCOL = static_cast<int16_t>(uni(g, -3, 8));
    h.NZO = !hostile(g) ? static_cast<int16_t>(uni(g, 0, std::max<int>(0, h.NCOL - 2))) : hostile16(g);
    h.NCROW = pick_count(g, 2, 3);
    h.KCODE = !hostile(g) ? (chance(g, 50) ? int16_t{100} : int16_t{501}) : hostile16(g);
    h.IFLAG = !hostile(g) ? int16_t{0} : (chance(g, 50) ? int16_t{1} : hostile16(g));

    const size_t nr = static_cast<size_t>(std::max<int>(h.NROW, 1));
    const size_t nc = static_cast<size_t>(std::max<int>(h.NCOL, 1));
    h.ITYPE = std::vector<int16_t>(nr);
    for (auto& t : h.ITYPE) t = chance(g, 70) ? static_cast<int16_t>(uni(g, -1, 1)) : hostile16(g);
    h.AMAT = std::vector<double>(static_cast<size_t>(LD_AMAT) * nc, 0.0);
    h.ACPL = std::vector<double>(static_cast<size_t>(LD_ACPL) * nc, 0.0);
    const int rows = std::min<int>(std::max<int>(h.NROW, 0), 12);
    const int crows = std::min<int>(std::max<int>(h.NCROW, 0), 12);
    const int cols = std::min<int>(static_cast<int>(nc), 12);
    for (int k = 0; k < static_cast<int>(nc); ++k) {
        const bool near = k < cols;
        for (int i = 0; i < rows; ++i) {
            // Every row gets entries so that most matrices pack.
            if (near || i == 0 || k % 7 == 0)
                h.AMAT[static_cast<size_t>(k) * LD_AMAT + i] =
                    chance(g, g_hostile / 3) ? hostile_real(g) : (chance(g, 30) ? 0.0 : uni(g, -4, 9) * 0.5);
        }
        if (near)
            for (int i = 0; i < crows; ++i)
                h.ACPL[static_cast<size_t>(k) * LD_ACPL + i] =
                    chance(g, g_hostile / 3) ? hostile_real(g) : (chance(g, 40) ? 0.0 : uni(g, -4, 9) * 0.5);
    }
    for (auto* v : {&h.IZA1, &h.IZA2, &h.IZA3, &h.IZA4}) {
        *v = std::vector<int16_t>(nc);
        for (auto& x : *v) x = hostile16(g);
    }
    for (auto& x : h.ZOVD) x = chance(g, 90) ? uni(g, 0, 20) * 0.25 : hostile_real(g);
    for (auto& x : h.ZOVR) x = static_cast<float>(chance(g, 90) ? uni(g, 0, 20) * 0.25 : hostile_real(g));
    for (auto& x : h.CRVAL) x = chance(g, 90) ? uni(g, 0, 20) * 0.5 : hostile_real(g);
    for (auto& x : h.ITYPCR) x = chance(g, 80) ? static_cast<int16_t>(uni(g, -1, 1)) : hostile16(g);

    // Increments: per-level counts (negative, above 2000), codes of any value.
    int maxinc = 1;
    for (auto& n : h.NINC) {
        n = !hostile(g) ? static_cast<int16_t>(uni(g, 0, 4)) : (chance(g, 50) ? int16_t(-uni(g, 1, 40)) : hostile16(g));
        if (n > 2100) n = 2001;  // the host's array holds what it claims
        maxinc = std::max<int>(maxinc, n);
    }
    h.INCCOL = std::vector<int16_t>(static_cast<size_t>(LD_LEV) * maxinc);
    h.INCROW = std::vector<int16_t>(static_cast<size_t>(LD_LEV) * maxinc);
    h.DINC = std::vector<double>(static_cast<size_t>(LD_LEV) * maxinc);
    for (size_t q = 0; q < h.INCCOL.size(); ++q) {
        h.INCCOL[q] = chance(g, 60) ? static_cast<int16_t>(uni(g, 0, 8)) : hostile16(g);
        h.INCROW[q] = chance(g, 60) ? static_cast<int16_t>(-uni(g, 0, 8)) : hostile16(g);
        h.DINC[q] = chance(g, 85) ? uni(g, -8, 8) * 0.5 : hostile_real(g);
    }
    for (auto* v : {&h.KR16, &h.KR01, &h.KR02, &h.KR03, &h.KR07, &h.KR08, &h.KR09})
        for (auto& x : *v) x = hostile32(g);
    for (auto* v : {&h.KR17, &h.KR18, &h.KR19, &h.KR21, &h.KR20, &h.KR05}) for (auto& x : *v) x = hostile16(g);
    for (auto& x : h.KR06) x = static_cast<float>(hostile_real(g));
    for (auto* v : {&h.IRL1, &h.IRL2, &h.IRL3}) for (auto& x : *v) x = hostile32(g);
    for (auto* v : {&h.RRL1, &h.RRL2, &h.RRK1, &h.RRK2, &h.RRK3, &h.RRK4})
        for (auto& x : *v) x = static_cast<float>(chance(g, 80) ? uni(g, -4, 9) * 0.5 : hostile_real(g));
    for (auto* v : {&h.IRK1, &h.IRK2, &h.IRK3, &h.IRK4, &h.IRK5, &h.IRK6, &h.IKR, &h.IKA, &h.IKB})
        for (auto& x : *v) x = chance(g, 50) ? static_cast<int16_t>(uni(g, -2, 62)) : hostile16(g);
}

TEST(HostileEntry, RandomArgumentSets) {
    TempDataDir dir;
    NoSleep quiet;
    const int n = seeds(20);
    int completing = 0, solved = 0;
    for (int seed = seed0(); seed < seed0() + n; ++seed) {
        Watchdog dog(seed, 120);
        Rng g(static_cast<unsigned>(seed));
        static const int rates[] = {1, 3, 10, 30};
        g_hostile = rates[seed % 4];
        g_ncres = static_cast<int16_t>(uni(g, 0, 3));
        g_nlevel = static_cast<int16_t>(uni(g, -1, 2));
        FreshState st;
        CoreHost h(*st);
        const int calls = uni(g, 1, 10);
        int16_t nsub = !hostile(g) ? static_cast<int16_t>(uni(g, 1, 4)) : hostile16(g);
        int16_t k = 1;
        for (int c = 0; c < calls; ++c) {
            // KPROB mostly in sequence, sometimes anything.
            const int16_t kprob = !hostile(g) ? k : (chance(g, 50) ? static_cast<int16_t>(uni(g, -1, 6)) : hostile16(g));
            if (hostile(g) && chance(g, 30)) nsub = chance(g, 50) ? static_cast<int16_t>(uni(g, 1, 4)) : hostile16(g);
            random_call(h, g, nsub, kprob);
            for (auto& r : h.RESV) r = -123.0;
            h.call();
            completing += h.RESV[0] != -123.0 ? 1 : 0;
            if (std::getenv("KAV_FUZZ_DEBUG") != nullptr && h.RESV[0] != -123.0) {
                const std::string t = read_file(dir.file(file_exists(dir.file("KAV100.PNT")) ? "KAV100.PNT" : "KAV.PNT"));
                size_t q = t.find("ERROR CODE");
                if (q == std::string::npos) q = t.rfind("BESM");
                std::printf("seed %d: %s\n", seed, q == std::string::npos ? "-" : t.substr(q, 40).c_str());
            }
            solved += h.RESV[0] != -123.0 && h.RESV[0] != 37.0 ? 1 : 0;
            // A completing call leaves 37.0 or a result in every level; a
            // call that did not complete leaves RESV alone.
            for (int l = 0; l < 6; ++l)
                EXPECT_FALSE(std::isnan(h.RESV[l])) << "seed " << seed << " call " << c;
            k = static_cast<int16_t>(kprob >= nsub ? 1 : kprob + 1);
        }
    }
    RecordProperty("completing_calls", completing);
    RecordProperty("solved", solved);
}

// A whole random problem written by the host rules, with a few hostile
// changes, solved through to the end.
TEST(HostileEntry, WholeProblemsWithHostileData) {
    TempDataDir dir;
    NoSleep quiet;
    const int n = seeds(16);
    for (int seed = seed0(); seed < seed0() + n; ++seed) {
        Watchdog dog(seed, 120);
        Rng g(static_cast<unsigned>(seed) * 7919u + 13u);
        PlainProblem pp = random_problem(g);
        if (chance(g, 30)) pp.kcode = static_cast<int16_t>(uni(g, 0, 500));
        Problem p = to_host(pp, seed);
        p.nlevel = static_cast<int16_t>(uni(g, -1, 3));
        p.ncres = static_cast<int16_t>(uni(g, 0, 2));
        p.fill_passthrough(seed);
        for (auto& s : p.subs) {
            const Sub fresh = Sub::sized(s.nrow, s.ncol, s.nzo, s.ncrow, p.ncres);
            s.rrk = fresh.rrk;
            s.irk = fresh.irk;
            s.rrl1 = fresh.rrl1;
            s.rrl2 = fresh.rrl2;
        }
        const int changes = uni(g, 0, 4);
        for (int c = 0; c < changes; ++c) {
            Sub& s = p.subs[static_cast<size_t>(uni(g, 0, static_cast<int>(p.subs.size()) - 1))];
            switch (uni(g, 0, 8)) {
                case 0: s.A(uni(g, 1, s.nrow), uni(g, 1, s.ncol)) = hostile_real(g); break;
                case 1: s.C(uni(g, 1, s.ncrow), uni(g, 1, s.ncol)) = hostile_real(g); break;
                case 2: p.crval[static_cast<size_t>(uni(g, 0, static_cast<int>(p.crval.size()) - 1))] = hostile_real(g); break;
                case 3:
                    if (!s.zovd.empty())
                        s.zovd[static_cast<size_t>(uni(g, 0, static_cast<int>(s.zovd.size()) - 1))][uni(g, 0, 5)] =
                            hostile_real(g);
                    break;
                case 4: s.type[static_cast<size_t>(uni(g, 0, s.nrow - 1))] = hostile16(g); break;
                case 5: p.itypcr[static_cast<size_t>(uni(g, 0, static_cast<int>(p.itypcr.size()) - 1))] = hostile16(g); break;
                case 6:
                    s.inc[static_cast<size_t>(uni(g, 0, 5))].push_back(
                        Inc{hostile16(g), hostile16(g), chance(g, 50) ? 1.0 : hostile_real(g)});
                    break;
                case 7:
                    s.inc[static_cast<size_t>(uni(g, 0, 5))].push_back(
                        Inc{static_cast<int16_t>(uni(g, 0, s.ncol)), static_cast<int16_t>(-uni(g, 0, s.nrow)),
                            uni(g, -4, 4) * 0.5});
                    break;
                default:
                    for (auto& z : s.iza) z = {hostile16(g), hostile16(g), hostile16(g), hostile16(g)};
                    break;
            }
        }
        FreshState st;
        CoreHost h(*st);
        h.run(p);
        expect_sane_resv(h, seed);
        // A rerun with hostile level-1 increments on the same files.
        if (chance(g, 50)) {
            for (auto& s : p.subs)
                s.inc[0] = {Inc{hostile16(g), hostile16(g), hostile_real(g)}, Inc{1, 0, 0.5}};
            h.rerun(p);
            expect_sane_resv(h, seed);
        }
    }
}

// ---- broken hand-off files ---------------------------------------------------

const char* const kDriverFiles[] = {"PAR1.DAT", "PAR2.DAT",  "PAR3.DAT",  "PAR5.DAT",
                                    "TAB0.DAT", "1TAB0.DAT", "TAB20.DAT", "1TAB20.DAT"};

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream o(path, std::ios::binary | std::ios::trunc);
    o.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

template <typename T>
void put_value(std::string& img, size_t off, T v) {
    if (off + sizeof v > img.size()) return;
    std::memcpy(img.data() + off, &v, sizeof v);
}

// One mutation of a file image.
void mutate(std::string& img, Rng& g) {
    if (img.empty()) {
        for (int i = uni(g, 0, 16); i > 0; --i) img.push_back(static_cast<char>(uni(g, 0, 255)));
        return;
    }
    const size_t size = img.size();
    auto at = [&] { return static_cast<size_t>(uni(g, 0, static_cast<int>(size) - 1)); };
    switch (uni(g, 0, 6)) {
        case 0: img.resize(static_cast<size_t>(uni(g, 0, static_cast<int>(size) - 1))); break;
        case 1:
            for (int i = uni(g, 1, 8); i > 0; --i) img[at()] = static_cast<char>(uni(g, 0, 255));
            break;
        case 2: {  // a 16-bit word (counts, labels, run words) set hostile
            const size_t off = chance(g, 60) ? at() & ~size_t{1} : at();
            put_value(img, off, hostile16(g));
            break;
        }
        case 3: {  // a 32-bit word set hostile
            const size_t off = chance(g, 60) ? at() & ~size_t{1} : at();
            put_value(img, off, hostile32(g));
            break;
        }
        case 4: {  // a value made NaN / inf / huge
            const size_t off = at() & ~size_t{1};
            put_value(img, off, hostile_real(g));
            break;
        }
        case 5:  // random tail
            for (int i = uni(g, 1, 64); i > 0; --i) img.push_back(static_cast<char>(uni(g, 0, 255)));
            break;
        default: {  // a run record (row, column, length) of nonsense
            const size_t off = (at() / 6) * 6;
            put_value(img, off, hostile16(g));
            put_value(img, off + 2, hostile16(g));
            put_value(img, off + 4, hostile16(g));
            break;
        }
    }
}

// Count fields of the first subproblem's records set hostile: the PAR1
// header words, the extents and counts of PAR2's problem record, and the
// increment counts of PAR3.
void mutate_count(const std::string& name, std::string& img, Rng& g, int ncres, int nlevel) {
    const int nl = nlevel + 1;
    if (name == "PAR1.DAT") {
        const int word = uni(g, 0, 8);
        if (word < 6)
            put_value(img, static_cast<size_t>(2 * word), hostile16(g));
        else
            put_value(img, static_cast<size_t>(12 + 4 * (word - 6)), hostile32(g));
    } else if (name == "PAR2.DAT") {
        const size_t rec = static_cast<size_t>(28 * ncres);
        static const int off16[] = {12, 14, 32, 34, 36, 54, 56, 58, 60, 62, 64};
        static const int off32[] = {38, 42, 46, 50};
        if (chance(g, 60))
            put_value(img, rec + static_cast<size_t>(off16[uni(g, 0, 10)]), hostile16(g));
        else
            put_value(img, rec + static_cast<size_t>(off32[uni(g, 0, 3)]), hostile32(g));
    } else if (name == "PAR3.DAT") {
        put_value(img, static_cast<size_t>(8 * ncres * nl + 2 * uni(g, 0, nl - 1)), hostile16(g));
    } else {
        mutate(img, g);
    }
}

// A valid problem of one of three kinds.
Problem base_problem(Rng& g, int seed) {
    switch (uni(g, 0, 2)) {
        case 0: {
            Problem p = sample(2.25);
            p.nlevel = static_cast<int16_t>(uni(g, 0, 2));
            p.subs[0].inc[1] = {Inc{1, 0, 2.0}};
            p.subs[1].inc[2] = {Inc{2, -1, -0.5}};
            return p;
        }
        case 1: return small_problem(static_cast<int16_t>(uni(g, 1, 3)), seed);
        default: {
            PlainProblem pp = random_problem(g);
            if (chance(g, 50)) pp.kcode = 100;
            return to_host(pp, seed);
        }
    }
}

TEST(HostileHandOff, BrokenFilesBeforeTheDriverReadsThem) {
    NoSleep quiet;
    const int n = seeds(20);
    int failed = 0, clean = 0;
    for (int seed = seed0(); seed < seed0() + n; ++seed) {
        Watchdog dog(seed, 120);
        Rng g(static_cast<unsigned>(seed) * 104729u + 7u);
        TempDataDir dir;
        FreshState st;
        CoreHost h(*st);
        const Problem p = base_problem(g, seed);
        h.run(p);
        // As the completing call leaves it for the driver: only the flag word.
        std::filesystem::resize_file(dir.file("PAR5.DAT"), 2);
        std::string pristine[std::size(kDriverFiles)];
        for (size_t f = 0; f < std::size(kDriverFiles); ++f) pristine[f] = read_file(dir.file(kDriverFiles[f]));

        for (int round = 0; round < 6; ++round) {
            for (size_t f = 0; f < std::size(kDriverFiles); ++f) write_file(dir.file(kDriverFiles[f]), pristine[f]);
            const int edits = uni(g, 1, 3);
            for (int e = 0; e < edits; ++e) {
                const size_t f = static_cast<size_t>(uni(g, 0, static_cast<int>(std::size(kDriverFiles)) - 1));
                std::string img = read_file(dir.file(kDriverFiles[f]));
                if (chance(g, 35))
                    mutate_count(kDriverFiles[f], img, g, p.ncres, std::max<int>(p.nlevel, 0));
                else
                    mutate(img, g);
                write_file(dir.file(kDriverFiles[f]), img);
            }
            // The host's result array holds exactly the run's columns.
            size_t ncols = 0;
            for (const Sub& s : p.subs) ncols += static_cast<size_t>(s.ncol - 2);
            std::vector<double> resv(6, -123.0), xres(static_cast<size_t>(LD_LEV) * std::max<size_t>(ncols, 1), 0.0);
            int16_t flag = 0;
            st->ent.IERR = 0;
            decomp::solve_handover(*st, &flag, resv.data(), xres.data());
            for (int l = 0; l < 6; ++l) {
                EXPECT_FALSE(std::isnan(resv[l])) << "seed " << seed << " round " << round;
                EXPECT_NE(resv[l], -123.0) << "seed " << seed << " round " << round;
            }
            ++(st->ent.IERR != 0 ? failed : clean);
            if (st->ent.IERR != 0) {
                for (int l = 0; l < 6; ++l) EXPECT_EQ(resv[l], 37.0) << "seed " << seed << " round " << round;
            }
        }
        // A rerun reads the (last broken) tableau files and PAR2 again.
        if (chance(g, 50)) {
            h.rerun(p);
            expect_sane_resv(h, seed);
        }
    }
    RecordProperty("failed_reads", failed);
    RecordProperty("clean_reads", clean);
}

}  // namespace
}  // namespace kav::test
