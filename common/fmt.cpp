// Print-file formatter and print unit.
//
// A format string is parsed once into a flat program: literals, blank runs,
// line ends and data fields.  Repeat counts and groups are expanded at parse
// time ("24I3" becomes 24 fields, "6(I2,D10.3)" twelve), so rendering is a
// single forward walk with one jump back (the reversion) when items remain at
// the final ")".  The reversion target is the first copy of the last group of
// the outermost level, so the group's repeat count applies again.
#include "fmt.hpp"

#include "platform.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kav::fmt {

namespace {

constexpr int kMaxField = 255;        // widest field / most digits honoured
constexpr size_t kMaxOps = 1u << 16;  // bound on the expanded program
constexpr int kMaxDepth = 64;         // deepest group nesting parsed (bounds the recursion)

enum class OpKind : uint8_t { literal, blanks, slash, int_field, fix_field, exp_field, chr_field };

struct Op {
    OpKind kind;
    uint16_t w = 0;  // field width, or blank count
    uint16_t d = 0;  // digits (F, D)
    uint32_t off = 0;  // literal: offset in the literal pool
    uint32_t len = 0;  // literal: length
};

bool is_data(OpKind k) {
    return k == OpKind::int_field || k == OpKind::fix_field || k == OpKind::exp_field ||
           k == OpKind::chr_field;
}

void put_stars(std::string& out, int w) { out.append(static_cast<size_t>(std::max(w, 0)), '*'); }

// Right-justify `s` (already known to fit) in w columns.
void put_right(std::string& out, std::string_view s, int w) {
    if (static_cast<int>(s.size()) < w) out.append(static_cast<size_t>(w) - s.size(), ' ');
    out.append(s);
}

int clamp_field(int v) { return std::clamp(v, 0, kMaxField); }

// Infinities and NaNs: the longest spelling that fits, else asterisks.
void put_special(std::string& out, double v, int w) {
    const char* cand[2];
    if (std::isnan(v)) {
        cand[0] = cand[1] = "NaN";
    } else if (v < 0) {
        cand[0] = "-Infinity";
        cand[1] = "-Inf";
    } else {
        cand[0] = "Infinity";
        cand[1] = "Inf";
    }
    for (const char* c : cand) {
        if (static_cast<int>(std::strlen(c)) <= w) {
            put_right(out, c, w);
            return;
        }
    }
    put_stars(out, w);
}

void put_I(std::string& out, int64_t v, int w) {
    w = clamp_field(w);
    char buf[24];
    uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    char* p = buf;
    if (v < 0) *p++ = '-';
    p = std::to_chars(p, buf + sizeof buf, mag).ptr;
    std::string_view s(buf, static_cast<size_t>(p - buf));
    if (static_cast<int>(s.size()) > w)
        put_stars(out, w);
    else
        put_right(out, s, w);
}

bool any_nonzero_digit(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= '1' && c <= '9'; });
}

void put_F(std::string& out, double v, int w, int d) {
    w = clamp_field(w);
    d = clamp_field(d);
    if (!std::isfinite(v)) {
        put_special(out, v, w);
        return;
    }
    double a = std::fabs(v);
    // A magnitude of 10^w or more cannot fit; this also bounds the buffer.
    if (a >= 1e256) {
        put_stars(out, w);
        return;
    }
    char buf[kMaxField + 272];
    // The digits of printf's "%#.*f": the point stays when d is 0 ("3.").
    const std::to_chars_result r = std::to_chars(buf + 1, buf + sizeof buf - 1, a, std::chars_format::fixed, d);
    if (r.ec != std::errc()) {
        put_stars(out, w);
        return;
    }
    char* end = r.ptr;
    if (d == 0) *end++ = '.';
    char* s = buf + 1;
    int n = static_cast<int>(end - s);
    const bool neg = std::signbit(v) && any_nonzero_digit(std::string_view(s, static_cast<size_t>(n)));
    // The leading zero of a magnitude below 1 goes first when space is short.
    if (n + neg > w && d > 0 && s[0] == '0' && s[1] == '.') {
        ++s;
        --n;
    }
    if (neg) {
        *--s = '-';
        ++n;
    }
    if (n > w)
        put_stars(out, w);
    else
        put_right(out, std::string_view(s, static_cast<size_t>(n)), w);
}

// The d (1..19) significant digits of a > 0 rounded as printf rounds the
// exact binary value (to nearest, an exact tie to the even digit), and the
// exponent of the 0.ddd form, for the values whose decimal expansion is a
// 64-bit integer N times 10^-k: a = m 2^-k with m 5^k below 2^64 (whole
// numbers below 2^63, and binary fractions such as 12.25 or 0.375).  The
// input echo is mostly such values; false for any other.
bool exact_digits(double a, int d, char* digits, int& e) {
    if (d < 1 || d > 19) return false;
    const uint64_t bits = std::bit_cast<uint64_t>(a);
    const int be = static_cast<int>(bits >> 52) & 0x7ff;
    if (be == 0 || be == 0x7ff) return false;  // subnormal, infinite or NaN
    uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int e2 = be - 1075;  // a = m 2^e2
    uint64_t n;
    int k = 0;  // a = n 10^-k
    if (e2 >= 0) {
        if (e2 > 10) return false;
        n = m << e2;
    } else {
        const int tz = std::countr_zero(m);
        if (tz >= -e2) {
            n = m >> -e2;
        } else {
            m >>= tz;
            k = -e2 - tz;
            if (k > 27) return false;
            n = m;
            for (int q = 0; q < k; ++q)
                if (__builtin_mul_overflow(n, uint64_t{5}, &n)) return false;
        }
    }
    static constexpr uint64_t P10[20] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                         10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                         100000000000ull, 1000000000000ull, 10000000000000ull,
                                         100000000000000ull, 1000000000000000ull, 10000000000000000ull,
                                         100000000000000000ull, 1000000000000000000ull,
                                         10000000000000000000ull};
    int len = 1;  // decimal digits of n
    while (len < 20 && n >= P10[len]) ++len;
    e = len - k;
    uint64_t q = n;
    if (len > d) {
        const uint64_t p = P10[len - d];
        q = n / p;
        const uint64_t r = n % p;
        if (r > p / 2 || (r == p / 2 && (q & 1) != 0)) ++q;
        if (q == P10[d]) {
            q = P10[d - 1];
            ++e;
        }
    } else {
        q = n * P10[d - len];
    }
    for (int i = d - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + q % 10);
        q /= 10;
    }
    return true;
}

// The D fields of the matrix and value echoes (D13.3, D13.5) for zeros
// and for values exact_digits takes (most of an echo): the whole field in
// one append.  The bytes are those of put_D_general; false for any other
// value, which put_D_general then prints.
template <int W, int D>
bool put_D_fast(std::string& out, double v) {
    static_assert(D >= 1 && D <= 19 && W >= D + 7 && W <= 32);
    char dig[D];
    int e = 0;
    bool neg = false;
    if (v == 0.0) {  // -0.0 too: no sign on an all-zero field
        std::memset(dig, '0', D);
    } else if (exact_digits(std::fabs(v), D, dig, e)) {
        neg = std::signbit(v);
    } else {
        return false;
    }
    // Written in place (a field built elsewhere and copied in costs a
    // stalled reload of the bytes just stored).
    const size_t at = out.size();
    out.append(W, ' ');
    char* q = out.data() + at + (W - (D + 6));  // "0." D digits, four exponent characters
    if (neg) q[-1] = '-';
    q[0] = '0';
    q[1] = '.';
    for (int k = 0; k < D; ++k) q[2 + k] = dig[k];
    q += D + 2;
    const int ae = e < 0 ? -e : e;
    if (ae <= 99) {
        q[0] = 'D';
        q[1] = e < 0 ? '-' : '+';
        q[2] = static_cast<char>('0' + ae / 10);
        q[3] = static_cast<char>('0' + ae % 10);
    } else {
        q[0] = e < 0 ? '-' : '+';
        q[1] = static_cast<char>('0' + ae / 100);
        q[2] = static_cast<char>('0' + ae / 10 % 10);
        q[3] = static_cast<char>('0' + ae % 10);
    }
    return true;
}

void put_D_general(std::string& out, double v, int w, int d);

void put_D(std::string& out, double v, int w, int d) {
    if (w == 13 && d == 3 && put_D_fast<13, 3>(out, v)) return;
    if (w == 13 && d == 5 && put_D_fast<13, 5>(out, v)) return;
    put_D_general(out, v, w, d);
}

void put_D_general(std::string& out, double v, int w, int d) {
    w = clamp_field(w);
    d = clamp_field(d);
    if (!std::isfinite(v)) {
        put_special(out, v, w);
        return;
    }
    char buf[2 * kMaxField + 32];
    char* p = buf;
    int e = 0;  // exponent of the 0.ddd form
    if (std::signbit(v) && v != 0.0) *p++ = '-';
    *p++ = '0';
    *p++ = '.';
    if (v == 0.0) {
        std::memset(p, '0', static_cast<size_t>(d));
        p += d;
    } else if (exact_digits(std::fabs(v), d, p, e)) {
        p += d;
    } else {
        // d.ddde+XX (printf's "%.*e") gives the d correctly rounded
        // significant digits; the 0.ddd form has an exponent one higher.
        char m[kMaxField + 32];
        const std::to_chars_result r =
            std::to_chars(m, m + sizeof m, std::fabs(v), std::chars_format::scientific, std::max(d - 1, 0));
        if (r.ec != std::errc()) {
            put_stars(out, w);
            return;
        }
        const char* q = m;
        for (int k = 0; k < d; ++k) {
            if (*q == '.') ++q;
            *p++ = *q++;
        }
        // The exponent: "e", its sign, two or three digits.
        const char* ep = r.ptr;
        while (ep > m && ep[-1] != 'e') --ep;
        int x = 0;
        for (const char* c = ep + 1; c < r.ptr; ++c) x = 10 * x + (*c - '0');
        e = (*ep == '-' ? -x : x) + 1;
    }
    int ae = e < 0 ? -e : e;
    if (ae <= 99) {
        *p++ = 'D';
        *p++ = e < 0 ? '-' : '+';
        *p++ = static_cast<char>('0' + ae / 10);
        *p++ = static_cast<char>('0' + ae % 10);
    } else {
        // Three exponent digits take the place of the letter.
        *p++ = e < 0 ? '-' : '+';
        *p++ = static_cast<char>('0' + ae / 100);
        *p++ = static_cast<char>('0' + ae / 10 % 10);
        *p++ = static_cast<char>('0' + ae % 10);
    }
    std::string_view s(buf, static_cast<size_t>(p - buf));
    if (static_cast<int>(s.size()) > w)
        put_stars(out, w);
    else
        put_right(out, s, w);
}

void put_A(std::string& out, std::string_view s, int w) {
    w = clamp_field(w);
    if (static_cast<int>(s.size()) >= w)
        out.append(s.substr(0, static_cast<size_t>(w)));
    else
        put_right(out, s, w);
}

}  // namespace

struct Format::Program {
    std::vector<Op> ops;
    std::string pool;           // literal text
    size_t rev = 0;             // where output resumes when items remain at the end
    bool rev_has_data = false;  // the resumed part consumes items (else stop)
};

namespace {

// Recursive-descent parser over the format text.  Blanks are skipped
// everywhere except inside nH literals.
class Parser {
public:
    Parser(std::string_view t, Format::Program& p) : t_(t), p_(p) {}

    void run() {
        skip();
        if (pos_ < t_.size() && t_[pos_] == '(') ++pos_;
        std::vector<Op> ops;
        list(ops, true);
        p_.ops = std::move(ops);
        p_.rev = std::min(p_.rev, p_.ops.size());
        p_.rev_has_data = std::any_of(p_.ops.begin() + static_cast<std::ptrdiff_t>(p_.rev),
                                      p_.ops.end(), [](const Op& o) { return is_data(o.kind); });
    }

private:
    void skip() {
        while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\t')) ++pos_;
    }
    bool digit() {
        skip();
        return pos_ < t_.size() && t_[pos_] >= '0' && t_[pos_] <= '9';
    }
    // An unsigned number (blanks between digits ignored), capped.
    int number() {
        long v = 0;
        while (digit()) {
            v = std::min(v * 10 + (t_[pos_] - '0'), 1000000L);
            ++pos_;
        }
        return static_cast<int>(v);
    }
    static uint16_t field(int v) { return static_cast<uint16_t>(clamp_field(v)); }

    void emit(std::vector<Op>& out, const Op& op, int rep) {
        for (int k = 0; k < rep && out.size() < kMaxOps; ++k) out.push_back(op);
    }

    // Parses descriptors up to the matching ")" (or the end of the text).
    // Returns false when the text could not be parsed further: the rest of
    // the format is dropped.
    bool list(std::vector<Op>& out, bool outer) {
        for (;;) {
            skip();
            if (pos_ >= t_.size()) return false;
            char c = t_[pos_];
            if (c == ',') {
                ++pos_;
                continue;
            }
            if (c == ')') {
                ++pos_;
                return true;
            }
            bool has_rep = digit();
            int rep = has_rep ? number() : 1;
            skip();
            if (pos_ >= t_.size()) return false;
            c = static_cast<char>(t_[pos_] & ~0x20);  // upper case for letters
            if (t_[pos_] == '(') {
                // Nesting deeper than any format buffer can hold: the rest
                // is dropped like any other unparsable tail.
                if (depth_ >= kMaxDepth) return false;
                ++pos_;
                std::vector<Op> inner;
                ++depth_;
                bool closed = list(inner, false);
                --depth_;
                if (outer) {
                    p_.rev = out.size();
                }
                for (int k = 0; !inner.empty() && k < rep && out.size() < kMaxOps; ++k) {
                    size_t room = kMaxOps - out.size();
                    out.insert(out.end(), inner.begin(),
                               inner.begin() + static_cast<std::ptrdiff_t>(std::min(room, inner.size())));
                }
                if (!closed) return false;
                continue;
            }
            if (t_[pos_] == '/') {
                ++pos_;
                emit(out, Op{OpKind::slash}, rep);
                continue;
            }
            ++pos_;
            Op op{OpKind::literal};
            switch (c) {
            case 'H': {
                if (!has_rep) return false;
                size_t n = std::min(static_cast<size_t>(rep), t_.size() - pos_);
                op.off = static_cast<uint32_t>(p_.pool.size());
                op.len = static_cast<uint32_t>(n);
                p_.pool.append(t_.substr(pos_, n));
                pos_ += n;
                emit(out, op, 1);
                continue;
            }
            case 'X':
                op.kind = OpKind::blanks;
                op.w = field(rep);
                emit(out, op, 1);
                continue;
            case 'I':
                op.kind = OpKind::int_field;
                break;
            case 'A':
                op.kind = OpKind::chr_field;
                break;
            case 'F':
                op.kind = OpKind::fix_field;
                break;
            case 'D':
                op.kind = OpKind::exp_field;
                break;
            default:
                return false;
            }
            if (!digit()) return false;
            op.w = field(number());
            if (op.kind == OpKind::fix_field || op.kind == OpKind::exp_field) {
                skip();
                if (pos_ >= t_.size() || t_[pos_] != '.') return false;
                ++pos_;
                if (!digit()) return false;
                op.d = field(number());
            }
            emit(out, op, rep);
        }
    }

    std::string_view t_;
    Format::Program& p_;
    size_t pos_ = 0;
    int depth_ = 0;  // groups open around the list being parsed
};

// One data field: the item edited under the descriptor.  An item whose kind
// does not suit the descriptor (text under I, a real under A, ...) fills the
// field with asterisks; an integer under F or D is printed as its real value.
inline void put_field(std::string& out, const Op& op, const Item& it) {
    switch (op.kind) {
    case OpKind::int_field:
        if (it.kind == Item::Kind::integer)
            put_I(out, it.i, op.w);
        else
            put_stars(out, op.w);
        break;
    case OpKind::fix_field:
    case OpKind::exp_field: {
        double v;
        if (it.kind == Item::Kind::real)
            v = it.r;
        else if (it.kind == Item::Kind::integer)
            v = static_cast<double>(it.i);
        else {
            put_stars(out, op.w);
            break;
        }
        if (op.kind == OpKind::fix_field)
            put_F(out, v, op.w, op.d);
        else
            put_D(out, v, op.w, op.d);
        break;
    }
    case OpKind::chr_field:
        if (it.kind == Item::Kind::text)
            put_A(out, it.s, op.w);
        else
            put_stars(out, op.w);
        break;
    default:
        break;
    }
}

}  // namespace

Format::Format(std::string_view text) : prog_(std::make_unique<Program>()) {
    Parser(text, *prog_).run();
}
Format::~Format() = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;

namespace {

// The record group of items item(0) .. item(n-1), appended to `out`.
template <class ItemAt>
__attribute__((always_inline)) inline void render_items(const Format::Program& p, std::string& out, size_t n,
                                                        ItemAt item) {
    const size_t nops = p.ops.size();
    size_t k = 0;
    size_t pc = 0;
    for (;;) {
        if (pc == nops) {
            // Final ")": stop when the items are used up, else start a new
            // line at the reversion point.
            if (k >= n || !p.rev_has_data) break;
            out.push_back('\n');
            pc = p.rev;
            continue;
        }
        const Op& op = p.ops[pc];
        switch (op.kind) {
        case OpKind::literal:
            out.append(p.pool, op.off, op.len);
            break;
        case OpKind::blanks:
            out.append(op.w, ' ');
            break;
        case OpKind::slash:
            out.push_back('\n');
            break;
        default:
            if (k >= n) {
                out.push_back('\n');
                return;
            }
            put_field(out, op, item(k++));
            break;
        }
        ++pc;
    }
    out.push_back('\n');
}

}  // namespace

std::string Format::render(std::span<const Item> items) const {
    std::string out;
    render_to(out, items);
    return out;
}

void Format::render_to(std::string& out, std::span<const Item> items) const {
    if (!prog_) return;
    render_items(*prog_, out, items.size(), [&](size_t k) -> const Item& { return items[k]; });
}

void Format::render_reals_to(std::string& out, std::span<const double> values) const {
    if (!prog_) return;
    render_items(*prog_, out, values.size(), [&](size_t k) { return Item(values[k]); });
}

std::string edit_I(int64_t v, int w) {
    std::string s;
    put_I(s, v, w);
    return s;
}
std::string edit_F(double v, int w, int d) {
    std::string s;
    put_F(s, v, w, d);
    return s;
}
std::string edit_D(double v, int w, int d) {
    std::string s;
    put_D(s, v, w, d);
    return s;
}
std::string detail::edit_D_general(double v, int w, int d) {
    std::string s;
    put_D_general(s, v, w, d);
    return s;
}
std::string edit_A(std::string_view s, int w) {
    std::string r;
    put_A(r, s, w);
    return r;
}

// ---------------------------------------------------------------- print unit

struct PrintUnit::File {
    int fd = -1;
    bool cut = false;   // the old content has been dropped
    int64_t end = 0;    // end of the last whole record group written
    int failed = 0;     // status of the first failed write
    ~File() {
        if (fd >= 0) ::close(fd);
    }
};

PrintUnit::~PrintUnit() { close(); }

int PrintUnit::open(const std::string& path) {
    close();
    path_ = path;
    const int fd = open_regular_file(path, true, open_status_);
    if (fd < 0) return open_status_;
    file_ = std::make_shared<File>();
    file_->fd = fd;
    return 0;
}

int PrintUnit::share(const PrintUnit& other) {
    close();
    if (!other.is_open()) return EBADF;
    file_ = other.file_;
    path_ = other.path_;
    return 0;
}

void PrintUnit::close() {
    file_.reset();
    open_status_ = 0;
    path_.clear();
}

bool PrintUnit::is_open() const { return file_ != nullptr; }

int PrintUnit::status() const { return file_ ? file_->failed : open_status_; }

void PrintUnit::write(const Format& f, std::span<const Item> items) {
    if (!file_ || file_->failed != 0) return;
    write_text(f.render(items));
}

void PrintUnit::write_text(std::string_view text) {
    const size_t end = text.size();
    write_groups(text, std::span<const size_t>(&end, 1));
}

void PrintUnit::write_groups(std::string_view text, std::span<const size_t> ends) {
    if (!file_ || file_->failed != 0) return;
    File& f = *file_;
    if (!f.cut) {
        // The file is written again from its start: its old lines go with
        // the first record.
        if (::ftruncate(f.fd, 0) != 0) { /* the write below tells */ }
        ::lseek(f.fd, 0, SEEK_SET);
        f.cut = true;
        f.end = 0;
    }
    // Unbuffered writes: every finished line is in the file at once.
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(f.fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The file keeps its whole record groups; nothing more is written.
            f.failed = n < 0 && errno != 0 ? errno : EIO;
            const size_t done = text.size() - left;
            size_t whole = 0;
            for (const size_t e : ends) {
                if (e > done) break;
                whole = e;
            }
            f.end += static_cast<int64_t>(whole);
            if (::ftruncate(f.fd, static_cast<off_t>(f.end)) != 0) { /* as full as it gets */ }
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    f.end += static_cast<int64_t>(text.size());
}

// ---------------------------------------------------------------- group writer

void GroupWriter::reals(const Format& f, std::span<const double> values) {
    // A unit that drops its lines needs no text.
    if (u_.status() != 0 || !u_.is_open()) return;
    f.render_reals_to(text_, values);
    ends_.push_back(text_.size());
    if (text_.size() >= kFlushBytes) flush();
}

void GroupWriter::flush() {
    if (!ends_.empty()) u_.write_groups(text_, ends_);
    text_.clear();
    ends_.clear();
}

void write_matrix_rows(PrintUnit& u, const Format& f, const double* a, int64_t ld, int32_t nrow,
                       int32_t ncol) {
    GroupWriter out(u);
    std::vector<double> row(static_cast<size_t>(ncol > 0 ? ncol : 0));
    for (int32_t i = 0; i < nrow; ++i) {
        for (int32_t j = 0; j < ncol; ++j) row[static_cast<size_t>(j)] = a[j * ld + i];
        out.reals(f, row);
    }
}

}  // namespace kav::fmt
