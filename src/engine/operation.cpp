#include "engine/operation.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/paths.h"
#include "engine/xorpass.h"

namespace {

// Tries this many names before it gives up on a temporary output.
constexpr uint32_t kTemporaryNameTries = 16;

struct OpenFiles {
    const FileLayer& layer;
    FileRef input = kNoFile;
    FileRef key = kNoFile;
    FileRef output = kNoFile;
    char partial[kPartialPathCapacity] = "";
};

// The files as the XOR pass sees them. The pass reads the input and the key on its own thread
// and hands each XORed chunk over. Overlapped, a thread of its own writes that chunk while the
// pass reads and XORs the next one into the other data buffer; the pass alone reads and the
// writer alone writes, so no file is ever used by two threads at once. Otherwise a chunk is
// written as it is handed over and the pass goes on in the same buffer.
struct PassFiles {
    OpenFiles& files;
    uint8_t* buffers[2];
    bool overlapped;
    std::mutex lock{};
    std::condition_variable changed{};
    uint32_t counts[2] = {};
    uint32_t handed = 0;  // chunks handed over
    uint32_t written = 0; // chunks written, the failed one included
    bool ended = false;   // no chunk follows
    bool failed = false;
    std::thread writer{};
    const JobTap* tap = nullptr;
};

// A read of the pass, shown to whoever taps it.
int64_t readTapped(PassFiles& p, FileRef file, void (*JobTap::*tapped)(void*, const uint8_t*, size_t),
                   uint8_t* buffer, uint32_t count) {
    int64_t got = p.files.layer.read(p.files.layer.context, file, buffer, count);
    if (got > 0 && p.tap && p.tap->*tapped) {
        (p.tap->*tapped)(p.tap->context, buffer, size_t(got));
    }
    return got;
}

int64_t readData(void* context, uint8_t* buffer, uint32_t count) {
    auto* p = static_cast<PassFiles*>(context);
    return readTapped(*p, p->files.input, &JobTap::dataRead, buffer, count);
}

int64_t readKey(void* context, uint8_t* buffer, uint32_t count) {
    auto* p = static_cast<PassFiles*>(context);
    return readTapped(*p, p->files.key, &JobTap::keyRead, buffer, count);
}

bool writeChunk(PassFiles& p, const uint8_t* buffer, uint32_t count) {
    // On the writer's thread when there is one: whoever taps the output does so beside the pass.
    if (p.tap && p.tap->outputWritten) {
        p.tap->outputWritten(p.tap->context, buffer, count);
    }
    return p.files.layer.write(p.files.layer.context, p.files.output, buffer, count);
}

// Chunk n is in buffers[n % 2]. A failed write ends the writing: the pass learns of it when it
// next asks for a buffer, and nothing after it is written.
void writeChunks(PassFiles* p) {
    std::unique_lock<std::mutex> hold(p->lock);
    for (;;) {
        p->changed.wait(hold, [p] { return p->written != p->handed || p->ended; });
        if (p->written == p->handed) {
            return;
        }
        uint32_t slot = p->written % 2;
        hold.unlock();
        bool ok = writeChunk(*p, p->buffers[slot], p->counts[slot]);
        hold.lock();
        ++p->written;
        p->failed = !ok;
        p->changed.notify_all();
        if (!ok) {
            return;
        }
    }
}

bool writeOutput(void* context, const uint8_t* buffer, uint32_t count) {
    auto* p = static_cast<PassFiles*>(context);
    if (!p->overlapped) {
        p->failed = !writeChunk(*p, buffer, count);
        return !p->failed;
    }
    std::lock_guard<std::mutex> hold(p->lock);
    p->counts[p->handed % 2] = count;
    ++p->handed;
    p->changed.notify_all();
    return !p->failed;
}

// The other buffer is free once the chunk before the one just handed over is written.
uint8_t* nextChunkBuffer(void* context) {
    auto* p = static_cast<PassFiles*>(context);
    std::unique_lock<std::mutex> hold(p->lock);
    p->changed.wait(hold, [p] { return p->handed - p->written < 2 || p->failed; });
    return p->failed ? nullptr : p->buffers[p->handed % 2];
}

void startWriting(PassFiles& p) {
    if (!p.overlapped) {
        return;
    }
    // A thread the system cannot make is reported only by throwing; the job then writes on the
    // pass's own thread.
    try {
        p.writer = std::thread(writeChunks, &p);
    } catch (const std::system_error&) {
        p.overlapped = false;
    }
}

// Waits until every chunk handed over is written; false when one of them failed.
bool finishWriting(PassFiles& p) {
    if (p.overlapped) {
        {
            std::lock_guard<std::mutex> hold(p.lock);
            p.ended = true;
        }
        p.changed.notify_all();
        p.writer.join();
    }
    return !p.failed;
}

void reportProgress(void* context, uint32_t progress) {
    const FileLayer& layer = static_cast<PassFiles*>(context)->files.layer;
    if (layer.progress) {
        layer.progress(layer.reportContext, progress);
    }
}

void closeFile(const FileLayer& layer, FileRef& file) {
    if (file != kNoFile) {
        layer.close(layer.context, file);
        file = kNoFile;
    }
}

// The first key chunk into `key`. A job never runs with a key of zeros: a key file must give
// every byte it was measured with.
JobStep loadKey(const JobRequest& request, OpenFiles& files, uint8_t* key, uint32_t chunkSize,
                XorPassSetup& setup, const JobTap* tap) {
    const FileLayer& layer = files.layer;
    if (request.keyKind == KeyKind::Text) {
        setup.keyIsFile = 0;
        setup.keyBytes = expandKeyString(request.keyText, key, chunkSize);
        setup.keyChunkLength = setup.keyBytes;
        setup.keyChunkCount = 0;
        return setup.keyBytes != 0 ? JobStep::None : JobStep::KeyTooLong;
    }
    setup.keyIsFile = 1;
    if (request.keyBytes == 0) {
        return JobStep::KeyNotReady;
    }
    files.key = layer.openRead(layer.context, request.keyPath);
    if (files.key == kNoFile) {
        return JobStep::KeyUnreadable;
    }
    if (layer.size(layer.context, files.key) < int64_t(request.keyBytes)) {
        return JobStep::KeyShort;
    }
    firstKeyChunk(request.keyBytes, chunkSize, setup.keyChunkLength, setup.keyChunkCount);
    setup.keyBytes = request.keyBytes;
    int64_t got = layer.read(layer.context, files.key, key, setup.keyChunkLength);
    if (got < 0) {
        return JobStep::KeyUnreadable;
    }
    if (got > 0 && tap && tap->keyRead) {
        tap->keyRead(tap->context, key, size_t(got));
    }
    return got == int64_t(setup.keyChunkLength) ? JobStep::None : JobStep::KeyShort;
}

} // namespace

namespace {

// The temporary output, named here: every folder that takes the final name takes this one.
bool createPartialOutput(const char* folder, const char* finalName, OpenFiles& files) {
    const FileLayer& layer = files.layer;
    uint32_t pick = layer.uniqueNumber(layer.context);
    for (uint32_t i = 0; i < kTemporaryNameTries; ++i, pick = pick * 1664525u + 1013904223u) {
        if (!partialFilePath(folder, "nbr", finalName, pick, files.partial, sizeof files.partial,
                             layer.separator)) {
            return false;
        }
        files.output = layer.createNew(layer.context, files.partial);
        if (files.output != kNoFile) {
            return true;
        }
    }
    files.partial[0] = '\0';
    return false;
}

// The times are the new file's own, taken once its name fields are written.
bool writeHeader(OpenFiles& files, const JobRequest& request, const char* plainName) {
    const FileLayer& layer = files.layer;
    ContainerHeader header;
    headerForRequest(request, plainName, layer.attributes(layer.context, request.inputPath), header,
                     layer.codePage);
    uint8_t bytes[kMaxHeaderLength];
    uint32_t length = encodeHeader(header, bytes);
    uint32_t timesAt = headerTimesOffset(header);
    if (!layer.write(layer.context, files.output, bytes, timesAt)) {
        return false;
    }
    FileTimes times;
    if (!layer.getTimes(layer.context, files.output, times)) {
        return false;
    }
    header.creationTime = times.creation;
    header.lastAccessTime = times.lastAccess;
    header.lastWriteTime = times.lastWrite;
    encodeHeader(header, bytes);
    return layer.write(layer.context, files.output, bytes + timesAt, length - timesAt);
}

uint32_t resultOf(JobStep step) {
    switch (step) {
    case JobStep::None:
        return ResultOk;
    case JobStep::NoMemory:
        return ResultNoMemory;
    case JobStep::KeyNotReady:
    case JobStep::KeyTooLong:
    case JobStep::KeyUnreadable:
    case JobStep::KeyShort:
    case JobStep::KeyIsInput:
        return ResultNoKey;
    case JobStep::InputUnreadable:
    case JobStep::InputTooLarge:
    case JobStep::InputTruncated:
        return ResultReadError;
    case JobStep::NameUnusable:
    case JobStep::OutputIsInput:
    case JobStep::OutputIsKey:
    case JobStep::OutputExists:
    case JobStep::OutputNotCreated:
    case JobStep::WriteFailed:
    case JobStep::MoveFailed:
        return ResultWriteError;
    case JobStep::Declined:
        return ResultDeclined;
    }
    return ResultWriteError;
}

// The job's memory: the data buffer, the key buffer and, overlapped, a second data buffer.
struct WorkBuffers {
    uint8_t* data[2];
    uint8_t* key;
};

uint8_t* takeBuffer(const FileLayer& layer, size_t bytes) {
    return static_cast<uint8_t*>(layer.takeMemory(layer.context, bytes));
}

JobStep runWithBuffers(const JobRequest& request, OpenFiles& files, const JobOptions& options,
                       WorkBuffers& buffers, JobOutcome& outcome) {
    const FileLayer& layer = files.layer;
    uint8_t* key = buffers.key;
    XorPassSetup setup{};
    setup.data = buffers.data[0];
    setup.key = key;
    setup.chunkSize = options.chunkSize;

    char folder[kTextCapacity];
    if (!copyText(request.outputFolder, folder) ||
        !withTrailingSeparator(folder, sizeof folder, layer.separator)) {
        return JobStep::NameUnusable;
    }
    JobStep step = loadKey(request, files, key, options.chunkSize, setup, options.tap);
    if (step != JobStep::None) {
        return step;
    }

    OutputNames names;
    nameOutput(request, names, layer.separator);
    if (layer.caption) {
        layer.caption(layer.reportContext, names.caption);
    }
    copyText(names.outputName, outcome.outputName);
    const bool classicDecrypt = request.direction == Decrypt && request.mode == ModeClassic;
    const bool classicEncrypt = request.direction == Encrypt && request.mode == ModeClassic;

    if (names.outputName[0] == '\0' || !joinText(folder, names.outputName, outcome.outputPath)) {
        outcome.outputPath[0] = '\0';
        return JobStep::NameUnusable;
    }
    const char* output = outcome.outputPath;
    // Asked before the input is opened: a system that opens files without sharing would refuse
    // the second opening and call the input unreadable.
    if (request.keyKind == KeyKind::File &&
        layer.sameFile(layer.context, request.inputPath, files.key, request.keyPath)) {
        return JobStep::KeyIsInput;
    }
    files.input = layer.openRead(layer.context, request.inputPath);
    if (files.input == kNoFile) {
        return JobStep::InputUnreadable;
    }
    // The output must never overwrite the file it is made from.
    if (layer.sameFile(layer.context, output, files.input, request.inputPath)) {
        return JobStep::OutputIsInput;
    }
    if (request.keyKind == KeyKind::File &&
        layer.sameFile(layer.context, output, files.key, request.keyPath)) {
        return JobStep::OutputIsKey;
    }
    int64_t size = layer.size(layer.context, files.input);
    uint64_t skip = classicDecrypt ? request.stored.headerLength : 0;
    if (size < 0) {
        return JobStep::InputUnreadable;
    }
    if (uint64_t(size) < skip) {
        return JobStep::InputTruncated;
    }
    if (uint64_t(size) - skip > 0xFFFFFFFFull) {
        return JobStep::InputTooLarge;
    }
    if (!layer.seek(layer.context, files.input, skip)) {
        return JobStep::InputUnreadable;
    }
    uint64_t payload = uint64_t(size) - skip;
    if (!options.replaceOutput && layer.exists(layer.context, output)) {
        return JobStep::OutputExists;
    }

    layer.makeFolder(layer.context, folder);
    if (!createPartialOutput(folder, names.outputName, files)) {
        return JobStep::OutputNotCreated;
    }
    if (classicEncrypt && !writeHeader(files, request, names.plainName)) {
        return JobStep::WriteFailed;
    }
    setup.payloadLength = uint32_t(payload);
    // A job of one chunk has nothing to overlap. Without a second data buffer the job runs as it
    // does on one processor.
    if (options.overlapped && payload > options.chunkSize) {
        buffers.data[1] = takeBuffer(layer, options.bufferBytes);
    }
    PassFiles pass{files, {buffers.data[0], buffers.data[1]}, buffers.data[1] != nullptr};
    pass.tap = options.tap;
    startWriting(pass);
    XorStreams io{&pass, readData, readKey, writeOutput, reportProgress};
    if (pass.overlapped) {
        io.nextChunkBuffer = nextChunkBuffer;
    }
    XorOutcome passed = runXorPass(setup, io);
    // A write the writer still had to do comes before whatever stopped the pass.
    if (!finishWriting(pass)) {
        return JobStep::WriteFailed;
    }
    switch (passed) {
    case XorOutcome::Done:
        break;
    case XorOutcome::DataReadFailed:
        return JobStep::InputUnreadable;
    case XorOutcome::KeyReadFailed:
        return JobStep::KeyUnreadable;
    case XorOutcome::WriteFailed:
        return JobStep::WriteFailed;
    }
    if (classicDecrypt) {
        // The decrypted bytes matter more than their times: a file system that keeps no times
        // still gets its file.
        const StoredFile& stored = request.stored;
        FileTimes times{stored.creationTime, stored.lastAccessTime, stored.lastWriteTime};
        outcome.timesSet = layer.setTimes(layer.context, files.output, times);
    }
    return JobStep::None;
}

} // namespace

JobOptions defaultJobOptions() {
    return JobOptions{kChunkSize, kWorkBufferSize, false, std::thread::hardware_concurrency() > 1};
}

JobOutcome runJobOperation(const JobRequest& request, const FileLayer& layer, const JobOptions& options) {
    JobOutcome outcome{};
    OpenFiles files{layer};
    WorkBuffers buffers{};
    buffers.data[0] = takeBuffer(layer, options.bufferBytes);
    buffers.key = takeBuffer(layer, options.bufferBytes);
    JobStep step = JobStep::NoMemory;
    if (buffers.data[0] && buffers.key) {
        step = runWithBuffers(request, files, options, buffers, outcome);
    }
    const JobTap* tap = options.tap;

    if (files.output != kNoFile) {
        FileRef output = files.output;
        files.output = kNoFile;
        if (!layer.close(layer.context, output) && step == JobStep::None) {
            step = JobStep::WriteFailed;
        }
        if (step == JobStep::None && tap && tap->beforePlacing && !tap->beforePlacing(tap->context)) {
            step = JobStep::Declined;
        }
        const bool placing = step == JobStep::None;
        if (placing &&
            !layer.rename(layer.context, files.partial, outcome.outputPath, options.replaceOutput)) {
            step = !options.replaceOutput && layer.exists(layer.context, outcome.outputPath)
                       ? JobStep::OutputExists
                       : JobStep::MoveFailed;
        }
        if (placing && tap && tap->afterPlacing) {
            tap->afterPlacing(tap->context, step == JobStep::None);
        }
        if (step != JobStep::None) {
            layer.remove(layer.context, files.partial);
        }
    }
    closeFile(layer, files.input);
    closeFile(layer, files.key);
    for (uint8_t* buffer : {buffers.data[0], buffers.key, buffers.data[1]}) {
        if (buffer) {
            layer.releaseMemory(layer.context, buffer);
        }
    }
    outcome.failedAt = step;
    outcome.result = resultOf(step);
    if (step != JobStep::None) {
        outcome.timesSet = false;
    }
    return outcome;
}

HeaderRead readContainerHeader(const FileLayer& layer, const char* path, ContainerHeader& header) {
    std::memset(&header, 0, sizeof header);
    FileRef file = layer.openRead(layer.context, path);
    if (file == kNoFile) {
        return HeaderRead::Unreadable;
    }
    uint8_t bytes[kMaxHeaderLength];
    int64_t got = layer.read(layer.context, file, bytes, sizeof bytes);
    layer.close(layer.context, file);
    if (got < 0) {
        return HeaderRead::Unreadable;
    }
    // A file that ends inside its header is no container this version can read either.
    return decodeHeader(bytes, size_t(got), header) == HeaderStatus::Ok ? HeaderRead::Ok
                                                                        : HeaderRead::NotContainer;
}
