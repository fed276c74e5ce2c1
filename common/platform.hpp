// Platform layer: the file, time and floating-point services the solvers use.
//
// Everything that depends on the operating system lives behind this header:
// the data directory, binary file units, sleeping, the time of day and the
// floating-point control words.  The solvers name their files by the fixed
// path "C:\KAV\NAME"; data_path() maps that to $KAV_DATA_DIR/NAME (default
// ./KAV/NAME).  The folder itself is never created here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace kav {

// Path of a file of the data directory.  `name` is either a bare file name
// ("PAR1.DAT") or a full fixed path of the system ("C:\KAV\PAR1.DAT", any case
// of the drive and folder, trailing blanks ignored); both resolve to
// $KAV_DATA_DIR/NAME, or ./KAV/NAME when the variable is unset or empty.
std::string data_path(std::string_view name);

// The data directory itself, as data_path() uses it ("./KAV" by default).
std::string data_dir();
// True when the data directory is there and is a folder.
bool data_dir_exists();

// One line for a person on why `path` could not be used: `verb` is what was
// tried ("open", "write"), `status` the unit's status.  Names the data
// directory when the folder of `path` is missing or not a folder, and says
// "not a regular file" for a pipe, device or folder in place of the file.
std::string describe_failure(std::string_view verb, const std::string& path, int status);

// A write beyond the process's file-size limit then fails with a status
// (EFBIG) instead of ending the process by a signal.  The programs call it
// at start; the libraries leave the host's signal handling as it is.
void file_size_limit_as_status();

// Sleep for the given number of milliseconds (no-op for values <= 0).
void sleep_ms(int32_t ms);

// Test seam: replace what sleep_ms() does (for example with a function that
// returns at once, so tests skip the solver's waits).  Returns the previous
// function; nullptr restores the real sleep.
using SleepFn = void (*)(int32_t);
SleepFn set_sleep_function(SleepFn f);

// The time of day as 8 characters "HH:MM:SS" (local time).
std::string time_of_day();

// x87 control word: read, and write back.  On processors without an x87
// unit the reader returns 0 and the writer does nothing.
uint16_t fpu_control_word();
void set_fpu_control_word(uint16_t cw);
// What every library entry does first: OR 0x300 (64-bit mantissa precision)
// into the x87 control word.
void fpu_full_precision();
// What the programs do at start: set flush-to-zero and denormals-are-zero
// (0x8040) in the SSE control/status register; no-op without SSE.
void sse_flush_denormals();

// Runs a program and waits for it without time limit.  The program is
// searched in the current folder first, then in each folder of PATH, under
// its name as given and with the suffixes ".com", ".exe", ".bat", ".cmd"; a
// name with a '/' is taken as a path (with the same suffixes).  It is started
// without a shell: a nonempty `args` reaches it unchanged as its one
// argument (quotes, blanks, ';' and '$' included); an empty `args` gives it
// none.  Returns its exit status, 128 + the signal number when a signal
// ended it, or -1 when no such program can be started.
int run_and_wait(std::string_view program, std::string_view args);

// Opens a regular file for a unit, creating a missing one, without ever
// blocking.  Returns the descriptor (close-on-exec), or -1 with the status:
// EISDIR for a folder, EINVAL for a pipe, device or socket, else errno.
int open_regular_file(const std::string& path, bool for_update, int& status);

// I/O status of a unit operation: 0 = done, -1 = end of file (a read passed
// the end of the file), any positive value = an error (the errno value).
// No unit operation throws.
enum : int { IO_OK = 0, IO_EOF = -1 };

// A binary file unit: raw little-endian bytes without record markers.
//
// Open semantics of the system: a missing file is created, an existing one is
// opened at its start (nothing is discarded by the open itself).
//
// Sequential units end the file behind what was written: the first write
// after an open, a seek or a read cuts the file at the current position, and
// the writes that follow extend it.  So rewriting a file from its start drops
// its old tail, and writing behind a record just read replaces the rest.
// Positioned units (seek to a byte offset) overwrite in place and never cut.
//
// A unit is opened for update (reading and writing) or for reading only; a
// file that is only read is opened for reading, so read-only inputs (mode
// 444, a read-only share) can be used.  Only regular files are taken: a
// folder gives EISDIR, a pipe, device or socket EINVAL (never a block).
//
// Writes are buffered.  The first failed write (a full disk, a file-size
// limit) is kept: flush() and close() return it, so a writer can tell that
// its data is not all in the file.
class BinUnit {
public:
    enum class Mode { sequential, positioned };
    enum class Access { update, read };

    BinUnit() = default;
    ~BinUnit();
    BinUnit(const BinUnit&) = delete;
    BinUnit& operator=(const BinUnit&) = delete;

    // Open (closing whatever the unit had open).  Returns 0 or the nonzero
    // status of the failed open (the unit then stays closed).
    int open(const std::string& path, Mode mode = Mode::sequential, Access access = Access::update);
    // 0, or the status of the first write since the open that failed.
    int close();
    int flush();
    bool is_open() const { return fp_ != nullptr; }

    // Position at a byte offset from the start of the file: 0 or nonzero.
    int seek(int64_t offset);
    int64_t tell() const { return pos_; }

    // Raw transfers; 0, IO_EOF or an error status.  A short read is IO_EOF
    // (the bytes that were there are in `p`).  On a closed unit both give a
    // positive error status.
    int read(void* p, std::size_t n);
    int write(const void* p, std::size_t n);

    template <class T>
    int get(T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        return read(&v, sizeof v);
    }
    template <class T>
    int put(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        return write(&v, sizeof v);
    }
    // Writes n bytes at byte `offset` as the new end of a sequential file
    // and pushes them to the file.  When they cannot all be written, the
    // file is cut back to `offset`, so it never ends in a part of them.
    // Returns 0 or the status of the failure.
    int write_end(int64_t offset, const void* p, std::size_t n);

    // Blocks of n items.
    template <class T>
    int get_n(T* v, std::size_t n) { return read(v, sizeof(T) * n); }
    template <class T>
    int put_n(const T* v, std::size_t n) { return write(v, sizeof(T) * n); }

private:
    std::FILE* fp_ = nullptr;
    Mode mode_ = Mode::sequential;
    int64_t pos_ = 0;
    bool writing_ = false;  // last transfer was a write (the file was cut already)
    bool last_read_ = false;  // stdio needs a seek between a read and a write
    int failed_ = 0;          // status of the first failed write since the open
};

}  // namespace kav
