// keygen: a key file of random bytes, named only once it is whole.
#include <string>

#include "engine/paths.h"
#include "keys/keyfile.h"
#include "keys/keylength.h"
#include "platform.h"
#include "tool.h"

namespace {

struct KeySink {
    const FileLayer* files;
    FileRef file;
};

bool fillRandom(void*, uint8_t* buffer, uint32_t count) {
    return randomBytes(buffer, count);
}

bool writeToSink(void* context, const uint8_t* buffer, uint32_t count) {
    auto* sink = static_cast<KeySink*>(context);
    return sink->files->write(sink->files->context, sink->file, buffer, count);
}

} // namespace

int runKeygen(const Arguments& a) {
    uint32_t length = uint32_t(a.size);
    if (a.forGiven) {
        int64_t size = fileSizeAt(nativePath(a.forFile));
        if (size < 0) {
            return fail(ResultReadError, because("cannot read " + a.forFile));
        }
        length = keyLengthFor(size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size));
    }
    FileLayer files = platformFiles();
    std::string path = a.outputGiven ? nativePath(a.output) : "KeyFile.txt";
    if (isFolder(path)) {
        char joined[kTextCapacity];
        if (!joinOutputPath(path.c_str(), "KeyFile.txt", joined, sizeof joined, files.separator)) {
            return fail(ResultWriteError, "the path is too long: " + path);
        }
        path = joined;
    }
    if (!a.force && files.exists(files.context, path.c_str())) {
        return fail(ResultWriteError, path + " exists; --force replaces it");
    }
    // The key is written under the program's own temporary name beside it, and named when whole.
    std::string folder = path.substr(0, path.find_last_of(files.separator) + 1);
    char partial[kPartialPathCapacity];
    if (!keyDraftPath(folder.empty() ? "." : folder.c_str(), path.c_str() + folder.size(),
                      files.uniqueNumber(files.context), partial, sizeof partial, files.separator)) {
        return fail(ResultWriteError, "the path is too long: " + path);
    }
    auto* buffer = static_cast<uint8_t*>(files.takeMemory(files.context, kKeyPortion));
    if (!buffer) {
        return fail(ResultNoMemory, "not enough memory");
    }
    removePartialOnInterrupt();
    FileRef f = files.createNew(files.context, partial);
    DraftResult result = DraftWriteFailed;
    if (f != kNoFile) {
        keepToOwner(f);
        KeySink sink{&files, f};
        result = fillKeyDraft(length, buffer, fillRandom, nullptr, writeToSink, &sink);
    }
    files.releaseMemory(files.context, buffer);
    bool written = f != kNoFile && files.close(files.context, f) && result == DraftWritten &&
                   files.rename(files.context, partial, path.c_str(), a.force);
    if (!written) {
        if (f != kNoFile) {
            files.remove(files.context, partial);
        }
        if (result == DraftFillFailed) {
            return fail(ResultNoKey, "Cannot create Keyfile. This is generally caused by a failure in "
                                     "initialising the Crypto routine.");
        }
        return fail(ResultWriteError, because("cannot write " + path) + "; nothing was left behind");
    }
    say(a, "wrote " + path + " (" + withUnit(length, "random byte") + ")");
    return 0;
}
