// Print-file formatter for the edit-descriptor notation, and the print unit.
//
// A format string such as "(/7HPROBLEM,I4,11H ERROR CODE,I3,/)" is parsed
// once into a Format; a record group is then written from a list of typed
// items (integers, 64-bit reals, character strings).  Descriptors: nH
// literals, Iw, Fw.d, Dw.d, Aw, nX, "/", repeat counts and groups with
// reversion to the last outermost group.  Overflowing fields are filled with
// asterisks.  Output stops at the first data descriptor without an item.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kav::fmt {

// One item of an output list.
struct Item {
    enum class Kind : uint8_t { integer, real, text };
    Kind kind;
    int64_t i = 0;
    double r = 0.0;
    std::string_view s;

    Item(int16_t v) : kind(Kind::integer), i(v) {}
    Item(int32_t v) : kind(Kind::integer), i(v) {}
    Item(int64_t v) : kind(Kind::integer), i(v) {}
    Item(double v) : kind(Kind::real), r(v) {}
    Item(std::string_view v) : kind(Kind::text), s(v) {}
    Item(const char* v) : kind(Kind::text), s(v) {}
    Item(const std::string& v) : kind(Kind::text), s(v) {}
};

// A parsed format string.  Construction never fails: an unparsable tail is
// dropped (the system's own formats are all well formed).  Anything after the
// final ")" (the blank padding of a format buffer) is ignored.
//
// Items are matched with the I, F, D and A fields in order; literals, blanks
// and "/" are written as they are met, so output stops only at a field
// without an item (or at the final ")" when the items end exactly there).
// Ten values under "(10D13.3/(1H , 10D13.3))" therefore give a second line
// holding the one blank.  When the part that output resumes at holds no
// field, surplus items are ignored.  An item of the wrong kind for its field
// (text under I/F/D, a real under I or A) fills the field with asterisks; an
// integer under F or D prints as its real value.
class Format {
public:
    explicit Format(std::string_view text);
    ~Format();
    Format(Format&&) noexcept;
    Format& operator=(Format&&) noexcept;
    Format(const Format&) = delete;
    Format& operator=(const Format&) = delete;

    // The lines one record group writes, each ended by '\n'.
    std::string render(std::span<const Item> items) const;
    std::string render(std::initializer_list<Item> items) const {
        return render(std::span<const Item>(items.begin(), items.size()));
    }
    // The same lines appended to `out`.
    void render_to(std::string& out, std::span<const Item> items) const;
    // The lines of a list of reals only (as items of kind real), appended.
    void render_reals_to(std::string& out, std::span<const double> values) const;

    struct Program;  // parsed descriptors, groups expanded (internal)
private:
    std::unique_ptr<Program> prog_;
};

// Single-field helpers (the same code the formatter uses).
//
// Rounding: F and D print the correctly rounded decimal of the binary value
// (as printf does); a binary value exactly halfway between two decimals goes
// to the even last digit.  A value that prints with all digits zero carries
// no minus sign (-0.0 and -0.00001 under F6.3 both print " 0.000"; -0.0
// under D10.3 prints " 0.000D+00").  Infinities and NaNs print as
// "Infinity"/"Inf"/"NaN" (with "-" when negative) when the field is wide
// enough, else asterisks.  A field wider than 255 or with more than 255
// digits is clamped to 255.
std::string edit_I(int64_t v, int w);
std::string edit_F(double v, int w, int d);
std::string edit_D(double v, int w, int d);
std::string edit_A(std::string_view s, int w);
namespace detail {
// The D edit without the fast path of the echo fields (tests hold the fast
// path to it).
std::string edit_D_general(double v, int w, int d);
}  // namespace detail

// The print unit (unit 8): one formatted text file at a time.  Opening
// another file closes the one open.  A missing file is created; an existing
// file is written again from its start (its old lines disappear with the
// first record written).  Only a regular file is taken: a pipe, device or
// folder in its place fails the open (a pipe would block the program once
// its buffer is full, the program being its only reader).  Every record
// group is written to the file at once, so a reader sees every finished
// line.
//
// Printing never fails a call.  When no file is open (or the open failed)
// lines are dropped.  When a write fails (a full disk, a file-size limit)
// the file is cut back to the end of the last whole record group and every
// later line is dropped, so the file holds whole lines without gaps;
// status() tells the program that its print file is incomplete.
class PrintUnit {
public:
    PrintUnit() = default;
    ~PrintUnit();
    PrintUnit(const PrintUnit&) = delete;
    PrintUnit& operator=(const PrintUnit&) = delete;

    // Opens `path` as given (callers map the system's fixed names through
    // kav::data_path).  Returns 0 or the nonzero status of the failed open
    // (errno; EISDIR for a folder, EINVAL for a pipe, device or socket); the
    // unit is then closed.
    int open(const std::string& path);
    // Writes into the file of `other` (the two units share the file, its
    // position and its status), so several writers of one program keep
    // line order.  Call after `other` has written its first line.
    int share(const PrintUnit& other);
    void close();
    bool is_open() const;
    // The path of the last open, also when it failed.
    const std::string& path() const { return path_; }
    // 0, the status of the failed open, or that of the first failed write.
    int status() const;

    void write(const Format& f, std::span<const Item> items);
    void write(const Format& f, std::initializer_list<Item> items) {
        write(f, std::span<const Item>(items.begin(), items.size()));
    }
    // Raw text (already formatted lines, each ended by '\n').
    void write_text(std::string_view text);
    // The text of several record groups in one write; `ends` holds the end
    // of each group in `text`, ascending, the last at text.size().  A
    // failed write keeps the groups the file holds whole, as single writes
    // of the groups would.
    void write_groups(std::string_view text, std::span<const size_t> ends);

    struct File;  // the open file, shared by the units that share it (internal)
private:
    std::shared_ptr<File> file_;
    int open_status_ = 0;
    std::string path_;
};

// Record groups gathered for a few large writes instead of one write per
// group (a matrix echo writes one group per row).  The file gets the same
// bytes, and a failed write leaves the same whole groups, as the single
// writes would.  The groups reach the file at flush(), when the gathered
// text passes a bound, and at the end of the writer's life; nothing else
// may write to the unit in between.
class GroupWriter {
public:
    explicit GroupWriter(PrintUnit& u) : u_(u) { text_.reserve(kFlushBytes + kFlushBytes / 4); }
    ~GroupWriter() { flush(); }
    GroupWriter(const GroupWriter&) = delete;
    GroupWriter& operator=(const GroupWriter&) = delete;

    // One record group of reals under `f`.
    void reals(const Format& f, std::span<const double> values);
    void flush();

private:
    // Gathered text that starts a write; small enough for the allocator to
    // reuse the buffer from call to call instead of mapping fresh pages.
    static constexpr size_t kFlushBytes = size_t{1} << 16;
    PrintUnit& u_;
    std::string text_;
    std::vector<size_t> ends_;
};

// Rows 1..nrow of a column-major matrix (element (1,1) at `a`, leading
// dimension ld), columns 1..ncol, one record group under `f` per row,
// through a GroupWriter (a matrix echo).
void write_matrix_rows(PrintUnit& u, const Format& f, const double* a, int64_t ld, int32_t nrow,
                       int32_t ncol);

}  // namespace kav::fmt
