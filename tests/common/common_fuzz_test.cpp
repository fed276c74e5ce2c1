// Seeded, bounded random tests of the common layer against hostile input:
// the formatter on random format strings and item lists, the field editors
// on random values, and the packed-matrix codec on random run records,
// random shapes and small sinks.  Every case is deterministic (fixed seeds).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "fmt.hpp"
#include "datadir.hpp"
#include "packed.hpp"

namespace {

using kav::fmt::Format;
using kav::fmt::Item;

// ------------------------------------------------------------------ formatter

// A random value with a wide spread of magnitudes, specials included.
double random_value(std::mt19937_64& rng) {
    switch (rng() % 4) {
    case 0: {
        uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;  // any bit pattern: NaN, infinities, denormals
    }
    case 1:
        return std::ldexp(static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000),
                          static_cast<int>(rng() % 100) - 50);
    case 2:
        return static_cast<double>(static_cast<int64_t>(rng() % 200001) - 100000) / 1000.0;
    default:
        return (rng() % 2 ? 1.0 : -1.0) * std::pow(10.0, static_cast<double>(rng() % 40) - 20.0);
    }
}

// Reads a D field back: "0.123D+04" or the three-digit form "0.123+104".
double read_exp_field(std::string s) {
    const size_t d = s.find('D');
    if (d != std::string::npos)
        s[d] = 'E';
    else
        s.insert(s.find_last_of("+-"), "E");
    return std::strtod(s.c_str(), nullptr);
}

TEST(FmtFuzz, FieldsAlwaysFillTheirWidthAndPrintTheRoundedValue) {
    std::mt19937_64 rng(20240611);
    for (int t = 0; t < 200000; ++t) {
        const double v = random_value(rng);
        const int w = static_cast<int>(rng() % 30) + 1;
        const int d = static_cast<int>(rng() % 11) + 1;
        const std::string f = kav::fmt::edit_F(v, w, d);
        const std::string e = kav::fmt::edit_D(v, w, d);
        ASSERT_EQ(static_cast<int>(f.size()), w) << v << " F" << w << "." << d;
        ASSERT_EQ(static_cast<int>(e.size()), w) << v << " D" << w << "." << d;
        if (!std::isfinite(v) || std::fabs(v) > 1e307) continue;

        // F: within half a unit of the last digit; asterisks only when the
        // shortest form ("-.5" style) cannot fit.
        if (f.find('*') == std::string::npos) {
            const double back = std::strtod(f.c_str(), nullptr);
            ASSERT_LE(std::fabs(back - v), 0.5 * std::pow(10.0, -d) * (1 + 1e-9) + std::fabs(v) * 1e-15)
                << v << " F" << w << "." << d << " [" << f << "]";
        } else {
            char buf[400];
            std::snprintf(buf, sizeof buf, "%.*f", d, std::fabs(v));
            int need = static_cast<int>(std::strlen(buf));
            if (buf[0] == '0') --need;
            if (std::signbit(v) && std::strpbrk(buf, "123456789") != nullptr) ++need;
            ASSERT_GT(need, w) << v << " F" << w << "." << d;
        }
        // D: d significant digits, correctly placed exponent.
        if (e.find('*') == std::string::npos) {
            const double back = read_exp_field(e);
            ASSERT_LE(std::fabs(back - v), std::fabs(v) * 0.5 * std::pow(10.0, 1 - d) * (1 + 1e-9))
                << v << " D" << w << "." << d << " [" << e << "]";
        } else {
            ASSERT_GT((std::signbit(v) && v != 0.0) + 2 + d + 4, w) << v << " D" << w << "." << d;
        }
    }
}

// The F and D fields as printf's "%#.*f" and "%.*e" write them, laid out
// by the rules of the notation: the oracle of the field editors' digits.
std::string printf_F(double v, int w, int d) {
    if (!std::isfinite(v)) return kav::fmt::edit_F(v, w, d);  // spelled out, not printf's
    if (std::fabs(v) >= 1e256) return std::string(static_cast<size_t>(w), '*');
    static char buf[1024];
    std::snprintf(buf, sizeof buf, "%#.*f", d, std::fabs(v));
    std::string s = buf;
    const bool neg = std::signbit(v) && s.find_first_of("123456789") != std::string::npos;
    if (static_cast<int>(s.size()) + neg > w && d > 0 && s.compare(0, 2, "0.") == 0) s.erase(0, 1);
    if (neg) s.insert(0, "-");
    if (static_cast<int>(s.size()) > w) return std::string(static_cast<size_t>(w), '*');
    return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

std::string printf_D(double v, int w, int d) {
    if (!std::isfinite(v)) return kav::fmt::edit_D(v, w, d);
    std::string s = std::signbit(v) && v != 0.0 ? "-0." : "0.";
    int e = 0;
    if (v == 0.0) {
        s.append(static_cast<size_t>(d), '0');
    } else {
        static char buf[1024];
        std::snprintf(buf, sizeof buf, "%.*e", std::max(d - 1, 0), std::fabs(v));
        std::string m = buf;
        const size_t ep = m.find('e');
        e = std::atoi(m.c_str() + ep + 1) + 1;
        m.erase(ep);
        if (m.size() > 1) m.erase(1, 1);  // the point
        s += m.substr(0, static_cast<size_t>(d));
    }
    char x[8];
    const int ae = std::abs(e);
    std::snprintf(x, sizeof x, ae <= 99 ? "D%c%02d" : "%c%03d", e < 0 ? '-' : '+', ae);
    s += x;
    if (static_cast<int>(s.size()) > w) return std::string(static_cast<size_t>(w), '*');
    return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

// A value where rounding is hard: exact ties at the printed digit, values
// next to them and to powers of ten, denormals, signed zeros, the extremes.
double edge_value(std::mt19937_64& rng) {
    const double sign = rng() % 2 ? -1.0 : 1.0;
    switch (rng() % 7) {
    case 0:  // k + 1/2, k/4, k/8: ties of F (and of D) that are exact in binary
        return sign * std::ldexp(static_cast<double>(rng() % 100000), -static_cast<int>(rng() % 4));
    case 6:  // whole numbers up to 2^64 and binary fractions of every length
        return sign * std::ldexp(static_cast<double>(rng() >> (rng() % 64)), -static_cast<int>(rng() % 70));
    case 1: {  // a power of ten and its neighbours
        double p = std::pow(10.0, static_cast<double>(static_cast<int>(rng() % 640) - 320));
        for (uint64_t k = rng() % 3; k > 0; --k) p = std::nextafter(p, rng() % 2 ? 0.0 : HUGE_VAL);
        return sign * p;
    }
    case 2:  // denormals
        return sign * std::ldexp(static_cast<double>(rng() % (1ull << 52)), -1074);
    case 3:
        return sign * (rng() % 2 ? 0.0 : std::numeric_limits<double>::max());
    case 4:  // 9.995 and its kind: the carry into a new digit
        return sign * (std::pow(10.0, static_cast<double>(rng() % 30) - 15.0) -
                       std::pow(10.0, static_cast<double>(rng() % 30) - 25.0) * 0.5);
    default:
        return random_value(rng);
    }
}

TEST(FmtFuzz, FieldsMatchPrintfByteForByte) {
    std::mt19937_64 rng(31337);
    for (int t = 0; t < 300000; ++t) {
        const double v = edge_value(rng);
        const int w = static_cast<int>(rng() % 41);
        // Mostly the digits of the system's own fields, now and then many.
        const int d = rng() % 50 == 0 ? static_cast<int>(rng() % 256) : static_cast<int>(rng() % 21);
        const int wf = rng() % 50 == 0 ? 255 : w;
        ASSERT_EQ(kav::fmt::edit_F(v, wf, d), printf_F(v, wf, d)) << std::hexfloat << v << " F" << wf << "." << d;
        ASSERT_EQ(kav::fmt::edit_D(v, wf, d), printf_D(v, wf, d)) << std::hexfloat << v << " D" << wf << "." << d;
    }
    // The input echo's record: nine values fill one line.
    std::vector<Item> items;
    std::string want;
    for (int k = 0; k < 9; ++k) {
        const double v = edge_value(rng);
        items.emplace_back(v);
        want += printf_D(v, 13, 3);
    }
    EXPECT_EQ(Format("(10D13.3/(1H , 10D13.3))").render(std::span<const Item>(items)), want + "\n");
}

TEST(FmtFuzz, IntegerFieldsAlwaysFillTheirWidth) {
    std::mt19937_64 rng(77);
    for (int t = 0; t < 100000; ++t) {
        const int64_t v = static_cast<int64_t>(rng()) >> (rng() % 64);
        const int w = static_cast<int>(rng() % 25) + 1;
        const std::string s = kav::fmt::edit_I(v, w);
        ASSERT_EQ(static_cast<int>(s.size()), w);
        if (s.find('*') == std::string::npos) {
            ASSERT_EQ(std::strtoll(s.c_str(), nullptr, 10), v);
        } else {
            ASSERT_GT(std::to_string(v).size(), static_cast<size_t>(w));
        }
    }
}

// Random format text: mostly the notation's own characters, some noise.
std::string random_format(std::mt19937_64& rng) {
    static const char* const tokens[] = {"(", ")", ",", "/", "I", "F", "D", "A", "X", "H", ".",
                                         " ", "1", "2", "3", "7", "10", "13", "99", "999999",
                                         "I3", "D13.3", "F20.7", "A12", "3X", "1H ", "5HABCDE",
                                         "2(", "6(I2,D10.3)", "(", ")", "//", "'", "*", "-", "e"};
    std::string s;
    if (rng() % 4 != 0) s += '(';
    const size_t n = rng() % 60;
    for (size_t k = 0; k < n; ++k) {
        if (rng() % 16 == 0)
            s += static_cast<char>(rng() % 256);
        else
            s += tokens[rng() % (sizeof tokens / sizeof tokens[0])];
    }
    if (rng() % 3 != 0) s += ')';
    return s;
}

std::vector<Item> random_items(std::mt19937_64& rng, std::vector<std::string>& texts) {
    std::vector<Item> items;
    texts.clear();
    const size_t n = rng() % 40;
    texts.reserve(n);  // Items keep views of these strings
    for (size_t k = 0; k < n; ++k) {
        switch (rng() % 5) {
        case 0:
            items.emplace_back(static_cast<int16_t>(rng()));
            break;
        case 1:
            items.emplace_back(static_cast<int32_t>(rng()));
            break;
        case 2:
            items.emplace_back(static_cast<int64_t>(rng()));
            break;
        case 3:
            items.emplace_back(random_value(rng));
            break;
        default:
            texts.emplace_back(rng() % 20, static_cast<char>('A' + rng() % 26));
            items.emplace_back(std::string_view(texts.back()));
            break;
        }
    }
    return items;
}

TEST(FmtFuzz, RandomFormatsAndItemListsRenderWholeLines) {
    std::mt19937_64 rng(5150);
    std::vector<std::string> texts;
    for (int t = 0; t < 20000; ++t) {
        const std::string text = random_format(rng);
        const Format f(text);
        const std::vector<Item> items = random_items(rng, texts);
        const std::string out = f.render(std::span<const Item>(items));
        ASSERT_FALSE(out.empty()) << text;
        ASSERT_EQ(out.back(), '\n') << text;
        // Rendering depends on nothing but the format and the items.
        ASSERT_EQ(f.render(std::span<const Item>(items)), out) << text;
    }
}

TEST(FmtFuzz, DeepNestingAndHugeRepeatsStayBounded) {
    // Far deeper than any format buffer: parsed without exhausting the stack.
    const std::string deep = std::string(200000, '(') + "I3" + std::string(200000, ')');
    EXPECT_EQ(Format(deep).render({int32_t{1}}).back(), '\n');
    // Nesting within reason keeps working, reversion included.
    EXPECT_EQ(Format("((((((((I3))))))))").render({int32_t{1}, int32_t{2}}), "  1\n  2\n");
    // Empty groups with huge repeat counts, many times over: quick, and empty.
    std::string empties = "(";
    for (int k = 0; k < 2000; ++k) empties += "999999(),";
    empties += "I2)";
    EXPECT_EQ(Format(empties).render({int32_t{4}}), " 4\n");
}

// ------------------------------------------------------------------ codec

using namespace kav::packed;

// Matrix with guard rows below row m (leading dimension m + pad) and guard
// columns after column n, all holding a sentinel that nothing may touch.
struct Guarded {
    int32_t m, n, ld;
    std::vector<double> a;
    static constexpr double SENTINEL = -777.25;
    Guarded(int32_t m_, int32_t n_, int32_t pad)
        : m(m_), n(n_), ld(m_ + pad), a(static_cast<size_t>(ld) * (n_ + 2), SENTINEL) {}
    double& at(int32_t i, int32_t j) { return a[static_cast<size_t>(j - 1) * ld + (i - 1)]; }
    bool guards_intact() {
        for (int32_t j = 1; j <= n + 2; ++j)
            for (int32_t i = 1; i <= ld; ++i)
                if ((i > m || j > n) && at(i, j) != SENTINEL) return false;
        return true;
    }
};

int16_t hostile_word(std::mt19937_64& rng, int32_t m, int32_t n) {
    switch (rng() % 6) {
    case 0:
        return static_cast<int16_t>(rng());
    case 1:
        return static_cast<int16_t>(rng() % 2 ? 32767 : -32768);
    case 2:
        return static_cast<int16_t>(-static_cast<int32_t>(rng() % 3));
    default:
        return static_cast<int16_t>(1 + rng() % static_cast<uint64_t>(std::max(m, n) + 2));
    }
}

TEST(PackFuzz, UnpackOfHostileRunRecordsStaysInsideTheMatrix) {
    std::mt19937_64 rng(1234567);
    for (int t = 0; t < 20000; ++t) {
        const int32_t m = static_cast<int32_t>(rng() % 9);
        const int32_t n = static_cast<int32_t>(rng() % 9);
        Guarded g(m, n, static_cast<int32_t>(rng() % 3));
        std::vector<int16_t> words(rng() % 40);
        for (int16_t& w : words) w = hostile_word(rng, m, n);
        std::vector<double> vals(rng() % 100, 3.5);
        const int32_t nixb = static_cast<int32_t>(rng() % 5 == 0 ? static_cast<int32_t>(rng())
                                                                 : static_cast<int32_t>(rng() % 90) - 10);
        MemValueSource vs{vals.data(), static_cast<int32_t>(vals.size())};
        MemRunSource rs{words.data(), static_cast<int32_t>(words.size())};
        const UnpackResult r = unpack(g.a.data(), g.ld, m, n, vs, rs, nixb);
        ASSERT_TRUE(g.guards_intact()) << t;
        ASSERT_EQ(r.values, vs.n);
        ASSERT_LE(static_cast<int64_t>(r.values) + r.zeros, static_cast<int64_t>(m) * n);
        ASSERT_LE(rs.n_words, 3 * std::max(runs_in(nixb), 0));
        if (r.status == UnpackStatus::ok) {
            ASSERT_EQ(static_cast<int64_t>(r.values) + r.zeros, static_cast<int64_t>(m) * n);
            for (int32_t j = 1; j <= n; ++j)
                for (int32_t i = 1; i <= m; ++i) ASSERT_TRUE(g.at(i, j) == 0.0 || g.at(i, j) == 3.5);
        }
    }
}

// The unpacker against the plain position-by-position reading (the oracle
// below) on hostile run records and short value sources: the same status,
// counts, matrix and items taken, whether the values come one by one, in
// blocks from memory or in blocks from a file whose end falls inside a value.
template <class VS, class RS>
UnpackResult unpack_oracle(double* a, int32_t lda, int32_t m, int32_t n, VS& vs, RS& rs, int32_t nixb) {
    UnpackResult res;
    int32_t runs_left = nixb > 0 ? runs_in(nixb) : 0;
    int64_t first = 0, last = -1, p = 0;
    for (int32_t i = 1; i <= m; ++i)
        for (int32_t j = 1; j <= n; ++j, ++p) {
            if (p > last && runs_left > 0) {
                ZRun z{};
                if (rs.get(z) != 0) return res.status = UnpackStatus::run_read_failed, res;
                --runs_left;
                int32_t lr = 0, lc = 0;
                run_end(n, z, lr, lc);
                first = static_cast<int64_t>(z.row - 1) * n + (z.col - 1);
                last = static_cast<int64_t>(lr - 1) * n + (lc - 1);
            }
            double& dst = a[static_cast<size_t>(j - 1) * lda + (i - 1)];
            if (p >= first && p <= last) {
                dst = 0.0;
                ++res.zeros;
            } else {
                double v;
                if (vs.get(v) != 0) return res.status = UnpackStatus::value_read_failed, res;
                dst = v;
                ++res.values;
            }
        }
    return res;
}

struct OneByOne {  // a source without blocks
    MemValueSource s;
    int get(double& v) { return s.get(v); }
};

TEST(PackFuzz, UnpackMatchesPlainReadingOneByOneInBlocksAndFromFiles) {
    std::mt19937_64 rng(424242);
    kav::test::TempDataDir dir;
    const std::string path = dir.file("VALUES.BIN");
    for (int t = 0; t < 3000; ++t) {
        const int32_t m = static_cast<int32_t>(rng() % (t % 50 == 0 ? 60 : 9));
        const int32_t n = static_cast<int32_t>(rng() % (t % 50 == 0 ? 40 : 9));
        const int32_t pad = static_cast<int32_t>(rng() % 3);
        std::vector<int16_t> words(rng() % 40);
        for (int16_t& w : words) w = hostile_word(rng, m, n);
        if (rng() % 2) words.clear();  // no runs: long stretches of values
        std::vector<double> vals(rng() % (static_cast<size_t>(m) * n + 20) + 1);
        for (size_t k = 0; k < vals.size(); ++k) vals[k] = static_cast<double>(k) + 0.5;
        const int32_t nixb = rng() % 4 == 0 ? static_cast<int32_t>(rng() % 90) - 10 : static_cast<int32_t>(2 * words.size());
        const int32_t nv = static_cast<int32_t>(vals.size());
        const auto check = [&](const char* what, auto&& run_one) {
            Guarded want(m, n, pad), got(m, n, pad);
            MemValueSource ov{vals.data(), nv};
            MemRunSource orr{words.data(), static_cast<int32_t>(words.size())};
            const UnpackResult w = unpack_oracle(want.a.data(), want.ld, m, n, ov, orr, nixb);
            int32_t taken = 0, run_words = 0;
            const UnpackResult r = run_one(got, taken, run_words);
            ASSERT_EQ(static_cast<int>(w.status), static_cast<int>(r.status)) << what << " " << t;
            ASSERT_EQ(w.values, r.values) << what << " " << t;
            ASSERT_EQ(w.zeros, r.zeros) << what << " " << t;
            ASSERT_EQ(ov.n, taken) << what << " " << t;
            ASSERT_EQ(orr.n_words, run_words) << what << " " << t;
            ASSERT_TRUE(want.a.empty() || std::memcmp(want.a.data(), got.a.data(), want.a.size() * sizeof(double)) == 0) << what << " " << t;
        };
        check("blocks", [&](Guarded& g, int32_t& taken, int32_t& rw) {
            MemValueSource vs{vals.data(), nv};
            MemRunSource rs{words.data(), static_cast<int32_t>(words.size())};
            const UnpackResult r = unpack(g.a.data(), g.ld, m, n, vs, rs, nixb);
            taken = vs.n;
            rw = rs.n_words;
            return r;
        });
        check("one by one", [&](Guarded& g, int32_t& taken, int32_t& rw) {
            OneByOne vs{{vals.data(), nv}};
            MemRunSource rs{words.data(), static_cast<int32_t>(words.size())};
            const UnpackResult r = unpack(g.a.data(), g.ld, m, n, vs, rs, nixb);
            taken = vs.s.n;
            rw = rs.n_words;
            return r;
        });
        // The file ends inside its last value now and then: that value is
        // not taken, as a short read of it is not.
        const bool cut = rng() % 3 == 0;
        {
            kav::BinUnit out;
            ASSERT_EQ(out.open(path), 0);
            ASSERT_EQ(out.put_n(vals.data(), vals.size()), 0);
            if (cut) {
                ASSERT_EQ(out.write("\1\2\3", 3), 0);
            }
            ASSERT_EQ(out.close(), 0);
        }
        check("file", [&](Guarded& g, int32_t& taken, int32_t& rw) {
            kav::BinUnit in;
            EXPECT_EQ(in.open(path, kav::BinUnit::Mode::sequential, kav::BinUnit::Access::read), 0);
            FileValueSource vs{in};
            MemRunSource rs{words.data(), static_cast<int32_t>(words.size())};
            const UnpackResult r = unpack(g.a.data(), g.ld, m, n, vs, rs, nixb);
            const int64_t bytes = in.tell();
            taken = static_cast<int32_t>(bytes / 8);
            if (bytes % 8 != 0) {
                EXPECT_EQ(bytes, static_cast<int64_t>(8 * vals.size() + 3)) << t;
            }
            rw = rs.n_words;
            return r;
        });
    }
}

// Checks the run list of a packed matrix against the matrix itself: runs
// in scan order, inside the matrix, none empty or longer than 32767, and
// two runs touch only where a run of 32767 was split.
void check_runs(const std::vector<int16_t>& w, int32_t m, int32_t n) {
    int64_t prev_end = -2;  // no run yet: nothing to touch
    int32_t prev_len = 0;
    for (size_t k = 0; k + 2 < w.size(); k += 3) {
        const ZRun z{w[k], w[k + 1], w[k + 2]};
        ASSERT_GE(z.row, 1);
        ASSERT_LE(z.row, m);
        ASSERT_GE(z.col, 1);
        ASSERT_LE(z.col, n);
        ASSERT_GE(z.len, 1);
        const int64_t first = static_cast<int64_t>(z.row - 1) * n + (z.col - 1);
        ASSERT_GT(first, prev_end);
        if (first == prev_end + 1) {
            ASSERT_EQ(prev_len, MAX_RUN);
        }
        prev_end = first + z.len - 1;
        prev_len = z.len;
        ASSERT_LT(prev_end, static_cast<int64_t>(m) * n);
    }
}

TEST(PackFuzz, RandomShapesSinksAndLimitsRoundTripOrFailCleanly) {
    std::mt19937_64 rng(98765);
    for (int t = 0; t < 400; ++t) {
        // Mostly small; now and then a long narrow or wide one so that runs
        // pass 32767 zeros at arbitrary columns.
        int32_t m, n;
        if (t % 10 == 0) {
            m = 1 + static_cast<int32_t>(rng() % 4);
            n = 20000 + static_cast<int32_t>(rng() % 12768);
        } else {
            m = static_cast<int32_t>(rng() % 30);
            n = static_cast<int32_t>(rng() % 30);
        }
        const int32_t pad = static_cast<int32_t>(rng() % 3);
        Guarded g(m, n, pad);
        const double density = (rng() % 3 == 0) ? 0.0005 : static_cast<double>(rng() % 100) / 100.0;
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int32_t j = 1; j <= n; ++j)
            for (int32_t i = 1; i <= m; ++i) g.at(i, j) = u(rng) < density ? u(rng) - 0.5 : 0.0;

        const int64_t cells = static_cast<int64_t>(m) * n;
        const bool small_sinks = rng() % 4 == 0;
        const int32_t vcap = small_sinks ? static_cast<int32_t>(rng() % (cells + 1)) : static_cast<int32_t>(cells);
        const int32_t rcap = small_sinks ? static_cast<int32_t>(rng() % (3 * cells + 4))
                                         : static_cast<int32_t>(3 * (cells / 2 + 1) + 6);
        const int64_t limit = rng() % 3 == 0 ? static_cast<int64_t>(rng() % (2 * n + 2)) : 0;
        std::vector<double> vbuf(static_cast<size_t>(vcap) + 4, -1.0);
        std::vector<int16_t> rbuf(static_cast<size_t>(rcap) + 4, -1);
        MemValueSink vs{vbuf.data(), vcap};
        MemRunSink rs{rbuf.data(), rcap};
        const PackResult p = pack(g.a.data(), g.ld, m, n, vs, rs, limit);
        ASSERT_EQ(vs.n, p.counts.nnz);
        ASSERT_EQ(rs.n_words * 2, p.counts.nixb);
        for (size_t k = static_cast<size_t>(vcap); k < vbuf.size(); ++k) ASSERT_EQ(vbuf[k], -1.0);
        for (size_t k = static_cast<size_t>(rcap); k < rbuf.size(); ++k) ASSERT_EQ(rbuf[k], -1);
        std::vector<int16_t> words(rbuf.begin(), rbuf.begin() + rs.n_words);
        check_runs(words, m, n);
        // The longest run of zeros in scan order decides the limit test.
        int64_t longest = 0, cur = 0;
        for (int32_t i = 1; i <= m; ++i)
            for (int32_t j = 1; j <= n; ++j) {
                cur = g.at(i, j) == 0.0 ? cur + 1 : 0;
                longest = std::max(longest, cur);
            }
        if (p.status == PackStatus::run_limit) {
            ASSERT_GE(longest, limit);
        }
        if (p.status == PackStatus::ok && limit > 0) {
            ASSERT_LT(longest, limit);
        }
        if (p.status != PackStatus::ok) {
            ASSERT_TRUE(p.status == PackStatus::value_sink_failed ||
                        p.status == PackStatus::run_sink_failed || p.status == PackStatus::run_limit);
            continue;
        }
        ASSERT_EQ(static_cast<int64_t>(p.counts.nnz) + p.counts.nzero, cells);

        Guarded back(m, n, pad);
        MemValueSource vsrc{vbuf.data(), p.counts.nnz};
        MemRunSource rsrc{words.data(), static_cast<int32_t>(words.size())};
        const UnpackResult r = unpack(back.a.data(), back.ld, m, n, vsrc, rsrc, p.counts.nixb);
        ASSERT_EQ(r.status, UnpackStatus::ok);
        ASSERT_EQ(r.values, p.counts.nnz);
        ASSERT_EQ(r.zeros, p.counts.nzero);
        ASSERT_TRUE(back.guards_intact());
        for (int32_t j = 1; j <= n; ++j)
            for (int32_t i = 1; i <= m; ++i) ASSERT_EQ(back.at(i, j), g.at(i, j)) << i << "," << j;
    }
}

}  // namespace
