// The console tool's system layer on POSIX systems (Linux, macOS, the BSDs).
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#if defined(__linux__)
#include <sys/random.h>
#endif

#include "platform.h"

namespace {

// Windows file time counts 100 ns steps from 1601; the POSIX clock seconds from 1970.
constexpr uint64_t kEpochDifference = 116444736000000000ull;

// The temporary file being written, for a signal handler to remove: fixed storage, no locks.
// An unnamed one (Linux's O_TMPFILE) needs no removing: it never had a name.
char gPartial[PATH_MAX];
volatile sig_atomic_t gHavePartial = 0;

// The one output being written. Its partial path is the name the job knows it by; an unnamed file
// keeps its descriptor open after the job's close, until it is linked under its final name or
// dropped.
struct Output {
    int fd = -1;
    bool unnamed = false;
    bool closed = false;      // the job has closed it; its descriptor stays open here until it is named
    bool keepPrivate = false; // a key file: readable by its owner only
    char path[PATH_MAX] = "";
};
Output gOutput;
// The permission bits no output may go beyond: a decryption's, those of its key file.
mode_t gModeLimit = 07777;
// Why the last folder could not be made, for the file that then cannot be made in it.
int gFolderError = 0;

// Why the last file operation failed: an errno value, or a text of the tool's own. A job's
// writes may run on a thread of their own while its reads fail on another.
std::atomic<int> gReasonErrno{0};
std::atomic<const char*> gReasonText{nullptr};

void noteFailure(int error) {
    gReasonErrno = error;
    gReasonText = nullptr;
}

void noteFailure(const char* text) {
    gReasonErrno = 0;
    gReasonText = text;
}

// The folder part of a path, for opening the folder itself.
std::string folderOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (!slash) {
        return ".";
    }
    return slash == path ? "/" : std::string(path, size_t(slash - path));
}

// A new name, or a replaced one, lasts a power cut only once its folder is on disk too.
void flushFolderOf(const char* path) {
    int dir = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

// The mode a new file gets from this process: 0666 less the umask.
mode_t publicMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

uint64_t toFileTime(const struct timespec& t) {
    if (t.tv_sec < 0) {
        return 0;
    }
    return uint64_t(t.tv_sec) * 10000000ull + uint64_t(t.tv_nsec) / 100 + kEpochDifference;
}

struct timespec fromFileTime(uint64_t t) {
    struct timespec s {};
    if (t < kEpochDifference) {
        s.tv_nsec = UTIME_OMIT; // before 1970 (or none): left as the new file has it
        return s;
    }
    t -= kEpochDifference;
    s.tv_sec = time_t(t / 10000000ull);
    s.tv_nsec = long(t % 10000000ull) * 100;
    return s;
}

int fdOf(FileRef f) {
    return int(f);
}

// Only regular files: a folder is no file to encrypt, and a FIFO or a device would make a read
// wait for ever. Opened without waiting for a FIFO's writer, then made blocking again.
FileRef openRead(void*, const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        noteFailure(errno);
        return kNoFile;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        noteFailure(S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file");
        close(fd);
        return kNoFile;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        noteFailure(errno);
        close(fd);
        return kNoFile;
    }
    return fd;
}

// Private (0600) from the first moment to its naming: a partial decryption is plaintext. It gets
// the usual mode once it is whole, flushed and named, unless it is a key file. On Linux the file
// has no name at all until it is complete, so a process killed mid-job leaves nothing behind;
// elsewhere (or with NIMBREL_NO_TMPFILE set, which tests use to take that road on Linux) it is a
// temporary name, readable by its owner alone.
FileRef createNew(void*, const char* path) {
    if (gOutput.fd >= 0 || std::strlen(path) >= sizeof gOutput.path) {
        noteFailure(ENAMETOOLONG);
        return kNoFile;
    }
    int fd = -1;
    bool unnamed = false;
#if defined(O_TMPFILE)
    struct stat st;
    // The final name is given through /proc; without it the file could never be named.
    if (!std::getenv("NIMBREL_NO_TMPFILE") && lstat(path, &st) != 0 && errno == ENOENT &&
        access("/proc/self/fd", X_OK) == 0) {
        fd = open(folderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        unnamed = fd >= 0;
    }
#endif
    if (fd < 0) {
        fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            // A folder that could not be made is the reason, not the file missing in it.
            noteFailure(errno == ENOENT && gFolderError != 0 ? gFolderError : errno);
            return kNoFile;
        }
        gHavePartial = 0;
        std::memcpy(gPartial, path, std::strlen(path) + 1);
        gHavePartial = 1;
    }
    gOutput = Output{};
    gOutput.fd = fd;
    gOutput.unnamed = unnamed;
    std::memcpy(gOutput.path, path, std::strlen(path) + 1);
    return fd;
}

bool isOutput(const char* path) {
    return gOutput.fd >= 0 && std::strcmp(path, gOutput.path) == 0;
}

// An unnamed file goes with its last descriptor.
void forgetOutput() {
    if (gOutput.fd >= 0) {
        close(gOutput.fd);
    }
    gOutput = Output{};
}

// The output's own mode, given only once it has its name: until then nobody else can read it.
void giveOutputMode() {
    if (!gOutput.keepPrivate) {
        fchmod(gOutput.fd, publicMode() & gModeLimit); // a failure leaves it private: safe
    }
}

int64_t readFile(void*, FileRef f, uint8_t* buffer, uint32_t count) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t got = read(fdOf(f), buffer + total, count - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            noteFailure(errno);
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += uint32_t(got);
    }
    return total;
}

bool writeFile(void*, FileRef f, const uint8_t* buffer, uint32_t count) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t put = write(fdOf(f), buffer + total, count - total);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            noteFailure(put < 0 ? errno : ENOSPC);
            return false;
        }
        total += uint32_t(put);
    }
    return true;
}

int64_t sizeOf(void*, FileRef f) {
    struct stat st;
    return fstat(fdOf(f), &st) == 0 ? int64_t(st.st_size) : -1;
}

bool seekTo(void*, FileRef f, uint64_t position) {
    return lseek(fdOf(f), off_t(position), SEEK_SET) == off_t(position);
}

bool getTimes(void*, FileRef f, FileTimes& times) {
    struct stat st;
    if (fstat(fdOf(f), &st) != 0) {
        return false;
    }
#if defined(__APPLE__)
    times.creation = toFileTime(st.st_birthtimespec);
    times.lastAccess = toFileTime(st.st_atimespec);
    times.lastWrite = toFileTime(st.st_mtimespec);
#else
    // No portable birth time: a new file's creation is its last change.
    times.creation = toFileTime(st.st_ctim);
    times.lastAccess = toFileTime(st.st_atim);
    times.lastWrite = toFileTime(st.st_mtim);
#endif
    return true;
}

// The system keeps no settable creation time; access and write times are restored.
bool setTimes(void*, FileRef f, const FileTimes& times) {
    struct timespec t[2] = {fromFileTime(times.lastAccess), fromFileTime(times.lastWrite)};
    return futimens(fdOf(f), t) == 0;
}

// The output is flushed before it is closed: once the job says "wrote", a power cut must not
// leave an empty file where the user may already have deleted the original.
bool closeFile(void*, FileRef f) {
    if (gOutput.fd < 0 || fdOf(f) != gOutput.fd) {
        return close(fdOf(f)) == 0;
    }
    bool ok = fsync(gOutput.fd) == 0;
    if (!ok) {
        noteFailure(errno);
    }
    gOutput.closed = true;
    return ok;
}

bool sameFile(void*, const char* path, FileRef open, const char* openPath) {
    struct stat a, b;
    if (std::strcmp(path, openPath) == 0) {
        return true;
    }
    return stat(path, &a) == 0 && fstat(fdOf(open), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool exists(void*, const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

// The Windows attribute word of a plain file: archive, and read-only when nobody may write.
uint32_t attributes(void*, const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) {
        return 0xFFFFFFFFu;
    }
    return 0x20u | ((st.st_mode & 0222) == 0 ? 0x1u : 0u);
}

void makeFolder(void*, const char* path) {
    gFolderError = mkdir(path, 0777) == 0 || errno == EEXIST ? 0 : errno;
}

// Names the unnamed output `to`: linked directly when nothing may be replaced, else linked under
// a temporary name that then replaces `to` in one step.
bool linkOutput(const char* to, bool replace) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", gOutput.fd);
    if (!replace) {
        if (linkat(AT_FDCWD, self, AT_FDCWD, to, AT_SYMLINK_FOLLOW) != 0) {
            noteFailure(errno);
            return false;
        }
        return true;
    }
    std::string temporary = folderOf(to) + "/.nimbrel-" + std::to_string(getpid()) + ".tmp";
    if (linkat(AT_FDCWD, self, AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        noteFailure(errno);
        return false;
    }
    if (rename(temporary.c_str(), to) != 0) {
        noteFailure(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool renameFile(void*, const char* from, const char* to, bool replace) {
    if (isOutput(from) && gOutput.unnamed) {
        bool linked = linkOutput(to, replace);
        if (linked) {
            giveOutputMode();
            flushFolderOf(to);
            forgetOutput();
        }
        return linked;
    }
    bool moved;
    if (replace) {
        moved = rename(from, to) == 0;
    } else if (link(from, to) == 0) {
        // A new name that fails if one exists, then the old one goes: nothing is ever replaced.
        unlink(from);
        moved = true;
    } else if (errno == EEXIST) {
        moved = false;
    } else {
        // File systems without hard links: the check and the move are two steps there.
        struct stat st;
        moved = lstat(to, &st) != 0 && errno == ENOENT && rename(from, to) == 0;
    }
    if (moved) {
        gHavePartial = 0;
        if (isOutput(from)) {
            giveOutputMode();
        }
        flushFolderOf(to);
        if (isOutput(from)) {
            forgetOutput();
        }
    } else {
        noteFailure(errno);
    }
    return moved;
}

bool removeFile(void*, const char* path) {
    if (isOutput(path)) {
        bool unnamed = gOutput.unnamed;
        forgetOutput();
        if (unnamed) {
            return true;
        }
    }
    gHavePartial = 0;
    return unlink(path) == 0;
}

uint32_t uniqueNumber(void*) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return uint32_t(getpid()) * 2654435761u ^ uint32_t(now.tv_nsec) ^ uint32_t(now.tv_sec);
}

// Work buffers of many megabytes are read into, XORed and written from once per chunk: on
// large pages the processor walks far fewer page tables for them. Where the system has no such
// advice the buffer is ordinary memory.
constexpr size_t kLargePage = size_t(2) << 20;

void* takeMemory(void*, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    if (bytes >= kLargePage) {
        void* memory = nullptr;
        size_t rounded = (bytes + kLargePage - 1) & ~(kLargePage - 1);
        if (posix_memalign(&memory, kLargePage, rounded) != 0) {
            return nullptr;
        }
        madvise(memory, rounded, MADV_HUGEPAGE);
        std::memset(memory, 0, bytes);
        return memory;
    }
#endif
    return std::calloc(bytes, 1);
}

void releaseMemory(void*, void* memory) {
    std::free(memory);
}

void onInterrupt(int signal) {
    if (gHavePartial) {
        unlink(gPartial);
    }
    _exit(128 + signal);
}

// The terminal's echo, put back on every way out.
struct termios gSavedTerminal;
int gTerminal = -1;

void restoreEcho(int signal) {
    if (gTerminal >= 0) {
        tcsetattr(gTerminal, TCSAFLUSH, &gSavedTerminal);
    }
    onInterrupt(signal);
}

// Earlier versions of this tool stored names as UTF-8 unmarked; the window's code page otherwise.
bool fromWestern(const char* bytes, char* out, size_t capacity) {
    return isUtf8(bytes) ? copyText(bytes, out, capacity) : windows1252ToUtf8(bytes, out, capacity);
}

} // namespace

std::vector<std::string> platformArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool keyStringInCodePage(const std::string& typed, std::string& bytes) {
    std::vector<char> western(typed.size() + 1);
    if (!utf8ToWindows1252(typed.c_str(), western.data(), western.size())) {
        return false;
    }
    bytes = western.data();
    return true;
}

FileLayer platformFiles() {
    // By member name: a reordered layer cannot wire the wrong function.
    FileLayer layer{};
    layer.separator = '/';
    layer.openRead = openRead;
    layer.createNew = createNew;
    layer.read = readFile;
    layer.write = writeFile;
    layer.size = sizeOf;
    layer.seek = seekTo;
    layer.getTimes = getTimes;
    layer.setTimes = setTimes;
    layer.close = closeFile;
    layer.sameFile = sameFile;
    layer.exists = exists;
    layer.attributes = attributes;
    layer.makeFolder = makeFolder;
    layer.rename = renameFile;
    layer.remove = removeFile;
    layer.uniqueNumber = uniqueNumber;
    layer.takeMemory = takeMemory;
    layer.releaseMemory = releaseMemory;
    layer.codePage = LegacyCodePage{utf8ToWindows1252, fromWestern};
    return layer;
}

std::string nativePath(const std::string& path) {
    return path;
}

std::string absolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) {
        return resolved;
    }
    return path;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t fileSizeAt(const std::string& path) {
    FileRef f = openRead(nullptr, path.c_str());
    if (f == kNoFile) {
        return -1;
    }
    int64_t size = sizeOf(nullptr, f);
    close(fdOf(f));
    return size;
}

bool randomBytes(uint8_t* buffer, size_t count) {
#if defined(__APPLE__) || defined(__OpenBSD__) || defined(__FreeBSD__) || defined(__NetBSD__)
    arc4random_buf(buffer, count);
    return true;
#else
    size_t done = 0;
#if defined(__linux__)
    while (done < count) {
        ssize_t got = getrandom(buffer + done, count - done, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // an old kernel: the device below
        }
        done += size_t(got);
    }
#endif
    if (done < count) {
        int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        int64_t got = readFile(nullptr, fd, buffer + done, uint32_t(count - done));
        close(fd);
        if (got < 0 || size_t(got) != count - done) {
            return false;
        }
    }
    return true;
#endif
}

bool nameFits(const std::string& folder, const std::string& name) {
    // A folder still to be made has the limit of the one it is made in.
    std::string at = folder.empty() ? "." : folder;
    long limit = -1;
    for (int up = 0; up < 2 && limit < 0; ++up, at = folderOf(at.c_str())) {
        limit = pathconf(at.c_str(), _PC_NAME_MAX);
    }
    return name.size() <= size_t(limit > 0 ? limit : NAME_MAX);
}

void limitOutputMode(const std::string& keyPath) {
    struct stat st;
    gModeLimit = stat(keyPath.c_str(), &st) == 0 ? st.st_mode & 0777 : 0600;
}

void keepToOwner(FileRef file) {
    if (gOutput.fd >= 0 && fdOf(file) == gOutput.fd) {
        gOutput.keepPrivate = true;
    }
}

std::string systemReason() {
    const char* text = gReasonText;
    int error = gReasonErrno;
    std::string reason = text ? text : error ? std::strerror(error) : "";
    gReasonErrno = 0;
    gReasonText = nullptr;
    return reason;
}

bool readSecret(const char* prompt, std::string& secret) {
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        return false;
    }
    struct termios quiet;
    if (tcgetattr(tty, &gSavedTerminal) != 0) {
        close(tty);
        return false;
    }
    quiet = gSavedTerminal;
    quiet.c_lflag &= tcflag_t(~(ECHO | ECHONL));
    quiet.c_lflag |= ICANON;
    gTerminal = tty;
    signal(SIGINT, restoreEcho);
    signal(SIGTERM, restoreEcho);
    signal(SIGHUP, restoreEcho);
    // Echo goes off before the prompt shows, so that nothing typed after it is ever shown.
    if (tcsetattr(tty, TCSAFLUSH, &quiet) != 0 || write(tty, prompt, std::strlen(prompt)) < 0) {
        tcsetattr(tty, TCSAFLUSH, &gSavedTerminal);
        gTerminal = -1;
        close(tty);
        return false;
    }
    secret.clear();
    bool ok = true;
    for (;;) {
        char c;
        ssize_t got = read(tty, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = false;
            break;
        }
        if (c == '\n' || c == '\r') {
            break;
        }
        secret.push_back(c);
    }
    tcsetattr(tty, TCSAFLUSH, &gSavedTerminal);
    gTerminal = -1;
    if (write(tty, "\n", 1) < 0) {
        ok = false;
    }
    close(tty);
    removePartialOnInterrupt();
    return ok;
}

namespace {
bool gClosed[3] = {false, false, false};
} // namespace

void guardStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            gClosed[fd] = true;
            // The lowest free descriptor is this one: /dev/null holds its place.
            int held = open("/dev/null", O_RDWR | O_CLOEXEC);
            if (held >= 0 && held != fd) {
                dup2(held, fd);
                close(held);
            }
        }
    }
}

bool standardStreamClosed(int stream) {
    return stream >= 0 && stream <= 2 && gClosed[stream];
}

bool errorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void removePartialOnInterrupt() {
    signal(SIGINT, onInterrupt);
    signal(SIGTERM, onInterrupt);
    signal(SIGHUP, onInterrupt);
    signal(SIGPIPE, SIG_IGN);
}

namespace {

// The ledger's names in the user's data folder, and those of the file they lead to: a ledger that
// is a symbolic link is read, locked and replaced where its target is, so that every data
// folder that shares it keeps one ledger.
struct PosixLedger {
    std::string dataFolder, dataPath;
    std::string folder, path, lockPath, newPath;
    char asidePath[PATH_MAX] = ""; // named anew at each opening; messages hold on to it
    int lock = -1, reading = -1, writing = -1, aside = -1;
    struct Hold {
        uint64_t id = 0;
        int fd = -1;
    } holds[4];
};
PosixLedger gLedger;

// How long a run waits for another to finish with the ledger: its work there takes moments, so
// a lock held longer is another program's, which is waited for before the use goes unchecked.
constexpr int kLedgerLockTries = 600;

void closeFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

void pause50ms() {
    struct timespec pause {
        0, 50 * 1000 * 1000
    };
    nanosleep(&pause, nullptr);
}

// An advisory lock the system lets go of however the process ends. False when another holds it
// for the whole wait; a lock file that cannot be made leaves `lock` closed.
bool takeLedgerLock(PosixLedger& l) {
    l.lock = open(l.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (l.lock < 0) {
        return true;
    }
    for (int i = 0; i < kLedgerLockTries; ++i) {
        if (flock(l.lock, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            closeFd(l.lock);
            return true;
        }
        pause50ms();
    }
    closeFd(l.lock);
    return false;
}

bool absent(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// Where the ledger's files are: beside the file the ledger's name leads to.
void resolveLedger(PosixLedger& l) {
    l.folder = l.dataFolder;
    l.path = l.dataPath;
    char target[PATH_MAX];
    struct stat st;
    if (lstat(l.dataPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(l.dataPath.c_str(), target)) {
        l.path = target;
        l.folder = folderOf(target);
    }
    l.lockPath = l.folder + "/KeyLedger.lck";
    l.newPath = l.folder + "/KeyLedger.new";
}

LedgerOpen openLedger(void* context) {
    auto& l = *static_cast<PosixLedger*>(context);
    if (l.dataPath.empty()) {
        return LedgerOpen::NoPlace;
    }
    // Only a job with a pad gets here. The folder is made first, each missing level for the
    // user alone, so that even the first two runs are kept apart by the lock.
    const std::string& folder = l.dataFolder;
    for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1)) {
        mkdir(folder.substr(0, at).c_str(), 0700);
    }
    mkdir(folder.c_str(), 0700);
    resolveLedger(l);
    if (!takeLedgerLock(l)) {
        return LedgerOpen::Busy;
    }
    l.asidePath[0] = '\0';
    for (int n = 1; n < 100 && l.asidePath[0] == '\0'; ++n) {
        std::string name = l.folder + (n == 1 ? "/KeyLedger.damaged.txt"
                                              : "/KeyLedger.damaged-" + std::to_string(n) + ".txt");
        if (absent(name) && name.size() < sizeof l.asidePath) {
            std::memcpy(l.asidePath, name.c_str(), name.size() + 1);
        }
    }
    errno = 0; // a folder in the ledger's place is refused without one
    l.reading = int(openRead(nullptr, l.path.c_str()));
    if (l.reading >= 0) {
        return LedgerOpen::Opened;
    }
    if (errno != ENOENT) {
        return LedgerOpen::Unreadable;
    }
    // Where the lock cannot be made (a folder that cannot be written), no ledger can be kept.
    return l.lock >= 0 ? LedgerOpen::Absent : LedgerOpen::NoPlace;
}

int64_t readLedger(void* context, uint8_t* buffer, uint32_t count) {
    return readFile(nullptr, FileRef(static_cast<PosixLedger*>(context)->reading), buffer, count);
}

// One fixed name: only the run holding the lock writes it, and a crash's leftover is replaced.
bool beginLedger(void* context) {
    auto& l = *static_cast<PosixLedger*>(context);
    if (l.lock < 0) {
        return false;
    }
    l.writing = open(l.newPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // The new ledger takes the old one's mode: a ledger the user made read-only stays so.
    struct stat st;
    if (l.writing >= 0 && stat(l.path.c_str(), &st) == 0) {
        fchmod(l.writing, st.st_mode & 07777);
    }
    return l.writing >= 0;
}

bool writeLedger(void* context, const uint8_t* buffer, uint32_t count) {
    return writeFile(nullptr, FileRef(static_cast<PosixLedger*>(context)->writing), buffer, count);
}

bool beginAside(void* context) {
    auto& l = *static_cast<PosixLedger*>(context);
    if (l.lock < 0 || l.asidePath[0] == '\0') {
        return false;
    }
    l.aside = open(l.asidePath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    return l.aside >= 0;
}

bool writeAside(void* context, const uint8_t* buffer, uint32_t count) {
    return writeFile(nullptr, FileRef(static_cast<PosixLedger*>(context)->aside), buffer, count);
}

bool flushAndClose(int& fd) {
    bool ok = fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    fd = -1;
    return ok;
}

// On disk before it takes the old ledger's place: a power cut leaves one or the other whole, and
// a copy kept aside is whole before the ledger it keeps is replaced.
bool commitLedger(void* context) {
    auto& l = *static_cast<PosixLedger*>(context);
    if (l.aside >= 0 && !flushAndClose(l.aside)) {
        return false;
    }
    bool ok = flushAndClose(l.writing) && rename(l.newPath.c_str(), l.path.c_str()) == 0;
    if (ok) {
        flushFolderOf(l.path.c_str());
    }
    return ok;
}

void closeLedger(void* context) {
    auto& l = *static_cast<PosixLedger*>(context);
    if (l.writing >= 0) {
        closeFd(l.writing);
        unlink(l.newPath.c_str());
    }
    if (l.aside >= 0) {
        closeFd(l.aside);
        unlink(l.asidePath);
    }
    closeFd(l.reading);
    closeFd(l.lock);
}

bool ledgerRandom(void*, uint8_t* buffer, size_t count) {
    return randomBytes(buffer, count);
}

std::string holdPath(const PosixLedger& l, uint64_t id) {
    char name[48];
    std::snprintf(name, sizeof name, "/KeyLedger.%016llx.job", static_cast<unsigned long long>(id));
    return l.folder + name;
}

// A file locked for as long as the job runs: the system lets go of the lock however the process
// ends, and whoever finds the file unlocked removes it.
bool holdJob(void* context, uint64_t id) {
    auto& l = *static_cast<PosixLedger*>(context);
    for (PosixLedger::Hold& hold : l.holds) {
        if (hold.fd < 0) {
            hold.fd = open(holdPath(l, id).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (hold.fd >= 0 && flock(hold.fd, LOCK_EX | LOCK_NB) != 0) {
                closeFd(hold.fd);
                unlink(holdPath(l, id).c_str());
            }
            hold.id = id;
            return hold.fd >= 0;
        }
    }
    return false;
}

void releaseJob(void* context, uint64_t id) {
    auto& l = *static_cast<PosixLedger*>(context);
    for (PosixLedger::Hold& hold : l.holds) {
        if (hold.fd >= 0 && hold.id == id) {
            unlink(holdPath(l, id).c_str());
            closeFd(hold.fd);
        }
    }
}

bool jobHeld(void* context, uint64_t id) {
    const std::string path = holdPath(*static_cast<PosixLedger*>(context), id);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!held) {
        unlink(path.c_str());
    }
    close(fd);
    return held;
}

} // namespace

void platformLedger(LedgerFiles& ledger) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // Without HOME the password database still knows the home folder.
    const passwd* user = home && home[0] == '/' ? nullptr : getpwuid(getuid());
    if (user && user->pw_dir && user->pw_dir[0] == '/') {
        home = user->pw_dir;
    }
    std::string base;
    // The base directory rules: a relative XDG_DATA_HOME is to be ignored.
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else if (home && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    }
    if (!base.empty()) {
        gLedger.dataFolder = base + "/nimbrel";
        gLedger.dataPath = gLedger.dataFolder + "/" + kLedgerFileName;
        resolveLedger(gLedger);
    }
    ledger = LedgerFiles{};
    ledger.context = &gLedger;
    ledger.open = openLedger;
    ledger.read = readLedger;
    ledger.begin = beginLedger;
    ledger.write = writeLedger;
    ledger.beginAside = beginAside;
    ledger.writeAside = writeAside;
    ledger.commit = commitLedger;
    ledger.close = closeLedger;
    ledger.random = ledgerRandom;
    ledger.hold = holdJob;
    ledger.release = releaseJob;
    ledger.held = jobHeld;
    ledger.path = gLedger.dataPath.c_str(); // the name the user knows it by
    ledger.asidePath = gLedger.asidePath;
}
