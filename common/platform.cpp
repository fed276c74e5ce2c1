// Platform layer on POSIX: data directory, binary file units, sleeping, the
// time of day and the floating-point control registers.
#include "platform.hpp"

#include <bit>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(std::endian::native == std::endian::little,
              "the data files are little-endian byte streams written as raw memory");

namespace kav {

namespace {

// glibc's unlocked stdio calls skip the stream lock; the system starts no
// threads, and the codec does one call per value.
#if defined(__GLIBC__)
std::size_t raw_fread(void* p, std::size_t n, std::FILE* fp) { return fread_unlocked(p, 1, n, fp); }
std::size_t raw_fwrite(const void* p, std::size_t n, std::FILE* fp) {
    return fwrite_unlocked(p, 1, n, fp);
}
#else
std::size_t raw_fread(void* p, std::size_t n, std::FILE* fp) { return std::fread(p, 1, n, fp); }
std::size_t raw_fwrite(const void* p, std::size_t n, std::FILE* fp) {
    return std::fwrite(p, 1, n, fp);
}
#endif

constexpr std::size_t UNIT_BUFFER = 64 * 1024;

int errno_or(int fallback) { return errno > 0 ? errno : fallback; }

void real_sleep(int32_t ms) {
    if (ms <= 0) return;
    timespec req{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

SleepFn g_sleep = &real_sleep;

// Opens `path` without ever blocking (a pipe with no writer would block a
// plain open for reading) and keeps it only when it is a regular file.
// Returns the descriptor, or -1 with the status in `status`.
int open_regular(const std::string& path, int flags, int& status) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        status = errno_or(EIO);
        return -1;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        status = errno_or(EIO);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        status = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    status = 0;
    return fd;
}

}  // namespace

int open_regular_file(const std::string& path, bool for_update, int& status) {
    return open_regular(path, for_update ? O_RDWR : O_RDONLY, status);
}


// ---- data directory ---------------------------------------------------------

std::string data_dir() {
    if (const char* env = std::getenv("KAV_DATA_DIR"); env != nullptr && *env != '\0') return env;
    return "./KAV";
}

bool data_dir_exists() {
    struct stat st{};
    return ::stat(data_dir().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string describe_failure(std::string_view verb, const std::string& path, int status) {
    std::string head = "cannot " + std::string(verb) + " " + path + ": ";
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0) return head + "the data directory " + dir + " does not exist";
    if (!S_ISDIR(st.st_mode)) return head + "the data directory " + dir + " is not a folder";
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return head + "not a regular file";
    if (status == IO_EOF) return head + "end of file";
    return head + std::strerror(status > 0 ? status : EIO);
}

void file_size_limit_as_status() { std::signal(SIGXFSZ, SIG_IGN); }

std::string data_path(std::string_view name) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);

    // The fixed folder of the system, "C:\KAV\", in any case.
    auto is_sep = [](char c) { return c == '\\' || c == '/'; };
    if (name.size() >= 7 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        name[1] == ':' && is_sep(name[2]) &&
        std::toupper(static_cast<unsigned char>(name[3])) == 'K' &&
        std::toupper(static_cast<unsigned char>(name[4])) == 'A' &&
        std::toupper(static_cast<unsigned char>(name[5])) == 'V' && is_sep(name[6])) {
        name.remove_prefix(7);
    }

    std::string dir = data_dir();
    if (dir.back() != '/') dir += '/';
    return dir + std::string(name);
}

// ---- time and sleeping --------------------------------------------------------

SleepFn set_sleep_function(SleepFn f) {
    SleepFn old = g_sleep;
    g_sleep = f != nullptr ? f : &real_sleep;
    return old;
}

void sleep_ms(int32_t ms) {
    if (ms <= 0) return;
    g_sleep(ms);
}

std::string time_of_day() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    char buf[16];
    if (localtime_r(&now, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%H:%M:%S", &tm) != 8)
        return "00:00:00";
    return std::string(buf, 8);
}

// ---- floating-point control ---------------------------------------------------

uint16_t fpu_control_word() {
#if defined(__i386__) || defined(__x86_64__)
    uint16_t cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
#else
    return 0;
#endif
}

void set_fpu_control_word(uint16_t cw) {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
#else
    (void)cw;
#endif
}

void fpu_full_precision() {
#if defined(__i386__) || defined(__x86_64__)
    set_fpu_control_word(static_cast<uint16_t>(fpu_control_word() | 0x300u));
#endif
}

void sse_flush_denormals() {
#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE__))
    uint32_t csr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    csr |= 0x8040u;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
#endif
}

// ---- binary file units ----------------------------------------------------------

BinUnit::~BinUnit() { close(); }

int BinUnit::open(const std::string& path, Mode mode, Access access) {
    close();
    // Create a missing file, open an existing one at its start; never truncate here.
    int status = 0;
    const int fd = open_regular(path, access == Access::update ? O_RDWR : O_RDONLY, status);
    if (fd < 0) return status;
    std::FILE* fp = ::fdopen(fd, access == Access::update ? "r+b" : "rb");
    if (fp == nullptr) {
        int e = errno_or(EIO);
        ::close(fd);
        return e;
    }
    std::setvbuf(fp, nullptr, _IOFBF, UNIT_BUFFER);
    fp_ = fp;
    mode_ = mode;
    pos_ = 0;
    writing_ = false;
    last_read_ = false;
    failed_ = 0;
    return IO_OK;
}

int BinUnit::flush() {
    if (fp_ == nullptr) return failed_;
    if (writing_ && std::fflush(fp_) != 0 && failed_ == 0) failed_ = errno_or(EIO);
    return failed_;
}

int BinUnit::close() {
    int status = failed_;
    if (fp_ != nullptr && std::fclose(fp_) != 0 && status == 0 && writing_) status = errno_or(EIO);
    fp_ = nullptr;
    pos_ = 0;
    writing_ = false;
    last_read_ = false;
    failed_ = 0;
    return status;
}

int BinUnit::write_end(int64_t offset, const void* p, std::size_t n) {
    if (fp_ == nullptr) return EBADF;
    if (offset < 0) return EINVAL;
    if (const int st = flush(); st != IO_OK) return st;
    // Straight to the descriptor, so that nothing of the record is left in
    // a stdio buffer when it cannot all be written.
    const int fd = ::fileno(fp_);
    const char* q = static_cast<const char*>(p);
    std::size_t done = 0;
    int status = ::ftruncate(fd, static_cast<off_t>(offset)) == 0 ? IO_OK : errno_or(EIO);
    while (status == IO_OK && done < n) {
        const ssize_t w = ::pwrite(fd, q + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (w > 0) done += static_cast<std::size_t>(w);
        else if (w < 0 && errno == EINTR) continue;
        else status = w < 0 ? errno_or(EIO) : EIO;
    }
    if (status != IO_OK) {
        if (::ftruncate(fd, static_cast<off_t>(offset)) != 0) { /* the status says it already */ }
        done = 0;
    }
    const int64_t end = offset + static_cast<int64_t>(done);
    if (::fseeko(fp_, static_cast<off_t>(end), SEEK_SET) != 0 && status == IO_OK) status = errno_or(EIO);
    pos_ = end;
    writing_ = false;
    last_read_ = false;
    return status;
}

int BinUnit::seek(int64_t offset) {
    if (fp_ == nullptr) return EBADF;
    if (offset < 0) return EINVAL;
    if (::fseeko(fp_, static_cast<off_t>(offset), SEEK_SET) != 0) return errno_or(EIO);
    pos_ = offset;
    writing_ = false;
    last_read_ = false;
    return IO_OK;
}

int BinUnit::read(void* p, std::size_t n) {
    if (fp_ == nullptr) return EBADF;
    if (writing_) {
        // stdio needs a positioning call between a write and a read.
        if (::fseeko(fp_, static_cast<off_t>(pos_), SEEK_SET) != 0) return errno_or(EIO);
        writing_ = false;
    }
    last_read_ = true;
    if (n == 0) return IO_OK;
    errno = 0;
    std::size_t got = raw_fread(p, n, fp_);
    pos_ += static_cast<int64_t>(got);
    if (got == n) return IO_OK;
    int status = std::ferror(fp_) ? errno_or(EIO) : IO_EOF;
    std::clearerr(fp_);
    return status;
}

int BinUnit::write(const void* p, std::size_t n) {
    if (fp_ == nullptr) return EBADF;
    if (!writing_) {
        // First write after an open, a seek or a read: stdio needs a
        // positioning call after a read, and a sequential unit ends the file
        // here (what follows the written data is dropped) -- also for an
        // empty record, as every write statement ends a sequential file.
        if (last_read_ && ::fseeko(fp_, static_cast<off_t>(pos_), SEEK_SET) != 0)
            return errno_or(EIO);
        if (mode_ == Mode::sequential && ::ftruncate(::fileno(fp_), static_cast<off_t>(pos_)) != 0)
            return errno_or(EIO);
        writing_ = true;
        last_read_ = false;
    }
    if (n == 0) return IO_OK;
    errno = 0;
    std::size_t put = raw_fwrite(p, n, fp_);
    pos_ += static_cast<int64_t>(put);
    if (put == n) return IO_OK;
    int status = errno_or(EIO);
    std::clearerr(fp_);
    if (failed_ == 0) failed_ = status;
    return status;
}

}  // namespace kav
