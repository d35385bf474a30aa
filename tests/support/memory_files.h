// Files in memory under the job operation's file layer, a fault in any one call on demand, and
// the small jobs the native tests run over them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/operation.h"
#include "engine/xorpass.h"
#include "support/literal_xor.h"

namespace memory_files {

using Bytes = std::vector<uint8_t>;

enum Call {
    OpenRead,
    CreateNew,
    Read,
    Write,
    Size,
    Seek,
    GetTimes,
    SetTimes,
    Close,
    Rename,
    Memory,
    CallKinds
};

// Files in memory; a fault makes every call of one kind on one file fail from its n-th on.
struct MemoryFiles {
    struct Entry {
        Bytes bytes;
        FileTimes times{};
    };
    struct Open {
        std::string path;
        size_t pos = 0;
    };
    std::map<std::string, Entry> files;
    std::vector<Open> open;
    std::string inputPath, keyPath;
    Call faultCall = CallKinds;
    std::string faultRole; // "input", "key", "output" (a temporary file) or "" for any
    int faultFrom = 1;
    int seen = 0;
    uint32_t unique = 7;
    uint64_t clock = 0x01D0000000000000ull;
    std::vector<uint32_t> progress;
    std::function<void(uint32_t)> onProgressHook; // called on the pass's thread at each report

    std::string roleOf(const std::string& path) const {
        return path == inputPath ? "input" : path == keyPath ? "key" : "output";
    }
    bool fails(Call call, const std::string& path) {
        if (call != faultCall || (!faultRole.empty() && roleOf(path) != faultRole)) {
            return false;
        }
        return ++seen >= faultFrom;
    }
    static MemoryFiles& of(void* c) { return *static_cast<MemoryFiles*>(c); }
    Open* handle(FileRef f) { return f >= 0 && size_t(f) < open.size() ? &open[size_t(f)] : nullptr; }

    static FileRef openRead(void* c, const char* path) {
        MemoryFiles& m = of(c);
        if (!m.files.count(path) || m.fails(OpenRead, path)) {
            return kNoFile;
        }
        m.open.push_back({path, 0});
        return FileRef(m.open.size() - 1);
    }
    static FileRef createNew(void* c, const char* path) {
        MemoryFiles& m = of(c);
        if (m.files.count(path) || m.fails(CreateNew, path)) {
            return kNoFile;
        }
        m.files[path].times = FileTimes{m.clock, m.clock + 1, m.clock + 2};
        m.open.push_back({path, 0});
        return FileRef(m.open.size() - 1);
    }
    static int64_t read(void* c, FileRef f, uint8_t* buffer, uint32_t count) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(Read, o->path)) {
            return -1;
        }
        const Bytes& b = m.files[o->path].bytes;
        size_t n = std::min<size_t>(count, b.size() - std::min(o->pos, b.size()));
        std::copy(b.begin() + long(o->pos), b.begin() + long(o->pos + n), buffer);
        o->pos += n;
        return int64_t(n);
    }
    static bool write(void* c, FileRef f, const uint8_t* buffer, uint32_t count) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(Write, o->path)) {
            return false;
        }
        Bytes& b = m.files[o->path].bytes;
        b.resize(std::max(b.size(), o->pos + count));
        std::copy(buffer, buffer + count, b.begin() + long(o->pos));
        o->pos += count;
        return true;
    }
    static int64_t size(void* c, FileRef f) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        return !o || m.fails(Size, o->path) ? -1 : int64_t(m.files[o->path].bytes.size());
    }
    static bool seek(void* c, FileRef f, uint64_t to) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(Seek, o->path)) {
            return false;
        }
        o->pos = size_t(to);
        return true;
    }
    static bool getTimes(void* c, FileRef f, FileTimes& t) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(GetTimes, o->path)) {
            return false;
        }
        t = m.files[o->path].times;
        return true;
    }
    static bool setTimes(void* c, FileRef f, const FileTimes& t) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || m.fails(SetTimes, o->path)) {
            return false;
        }
        m.files[o->path].times = t;
        return true;
    }
    static bool close(void* c, FileRef f) {
        MemoryFiles& m = of(c);
        Open* o = m.handle(f);
        if (!o || o->path.empty()) {
            ADD_FAILURE() << "closed twice or never opened";
            return false;
        }
        bool ok = !m.fails(Close, o->path);
        o->path.clear();
        return ok;
    }
    static bool sameFile(void*, const char* path, FileRef, const char* openPath) {
        return std::string(path) == openPath;
    }
    static bool exists(void* c, const char* path) { return of(c).files.count(path) != 0; }
    static uint32_t attributes(void*, const char*) { return 0x20; }
    static void makeFolder(void*, const char*) {}
    static bool rename(void* c, const char* from, const char* to, bool replace) {
        MemoryFiles& m = of(c);
        if (!m.files.count(from) || (!replace && m.files.count(to)) || m.fails(Rename, from)) {
            return false;
        }
        m.files[to] = m.files[from];
        m.files.erase(from);
        return true;
    }
    static bool remove(void* c, const char* path) { return of(c).files.erase(path) != 0; }
    static uint32_t uniqueNumber(void* c) { return of(c).unique; }
    static void* takeMemory(void* c, size_t bytes) {
        return of(c).fails(Memory, "") ? nullptr : std::calloc(bytes, 1);
    }
    static void releaseMemory(void*, void* p) { std::free(p); }
    static void onProgress(void* c, uint32_t p) {
        of(c).progress.push_back(p);
        if (of(c).onProgressHook) {
            of(c).onProgressHook(p);
        }
    }

    FileLayer layer() {
        // By member name: a reordered layer cannot wire the wrong function.
        FileLayer l{};
        l.context = this;
        l.separator = '/';
        l.openRead = openRead;
        l.createNew = createNew;
        l.read = read;
        l.write = write;
        l.size = size;
        l.seek = seek;
        l.getTimes = getTimes;
        l.setTimes = setTimes;
        l.close = close;
        l.sameFile = sameFile;
        l.exists = exists;
        l.attributes = attributes;
        l.makeFolder = makeFolder;
        l.rename = rename;
        l.remove = remove;
        l.uniqueNumber = uniqueNumber;
        l.takeMemory = takeMemory;
        l.releaseMemory = releaseMemory;
        l.progress = onProgress;
        l.reportContext = this;
        return l;
    }
};

constexpr uint32_t kQ = 64; // a small chunk, so that 300 bytes cross four boundaries

inline Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = uint8_t(seed + 29 * i + (i >> 3));
    }
    return b;
}

struct Job {
    JobRequest request;
    JobOptions options{kQ, kQ + 50, false};
    JobOutcome outcome{};

    Job() { resetJobRequest(request); }
    JobOutcome run(MemoryFiles& m) {
        outcome = runJobOperation(request, m.layer(), options);
        return outcome;
    }
};

// Sets up a job over /in/a.txt into /out with a key string or a key file of keyBytes used bytes.
inline void describe(Job& j, MemoryFiles& m, CipherMode mode, const std::string& keyText,
                     const Bytes* keyFile, uint32_t keyBytes) {
    copyText("/in/a.txt", j.request.inputPath);
    copyText("/out", j.request.outputFolder);
    j.request.mode = mode;
    j.request.direction = Encrypt;
    m.inputPath = "/in/a.txt";
    if (keyFile) {
        m.keyPath = "/keys/k.bin";
        m.files[m.keyPath].bytes = *keyFile;
        copyText(m.keyPath.c_str(), j.request.keyPath);
        j.request.keyKind = KeyKind::File;
        j.request.keyBytes = keyBytes;
    } else {
        j.request.keyKind = KeyKind::Text;
        copyText(keyText.c_str(), j.request.keyText);
    }
}

inline Bytes expected(const Bytes& plain, const std::string& keyText, const Bytes* keyFile,
                      uint32_t keyBytes) {
    if (keyFile) {
        return literalXorPass(plain, *keyFile, true, keyBytes, kQ);
    }
    uint8_t key[1024];
    uint32_t n = expandKeyString(keyText.c_str(), key, sizeof key);
    return literalXorPass(plain, Bytes(key, key + n), false, n, kQ);
}

} // namespace memory_files
