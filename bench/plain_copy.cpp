// The floor of the 1 GiB job benchmarks: a copy through the console tool's file layer (on Windows
// the program's own), in the job's chunks, into a temporary output moved into place as a job's
// is, without the XOR. A job slower than this pays for its own work, not for the system's.
//   plain_copy INPUT OUTPUT
#include <cstdio>
#include <string>

#include "engine/operation.h"
#include "engine/xorpass.h"
#include "platform.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: plain_copy INPUT OUTPUT\n");
        return 64;
    }
    const FileLayer files = platformFiles();
    void* c = files.context;
    const std::string partial = std::string(argv[2]) + ".part";
    auto* buffer = static_cast<uint8_t*>(files.takeMemory(c, kWorkBufferSize));
    FileRef input = files.openRead(c, argv[1]);
    FileRef output = input != kNoFile ? files.createNew(c, partial.c_str()) : kNoFile;
    bool ok = buffer && output != kNoFile;
    for (int64_t got = kChunkSize; ok && got == kChunkSize;) {
        got = files.read(c, input, buffer, kChunkSize);
        ok = got >= 0 && files.write(c, output, buffer, uint32_t(got));
    }
    if (output != kNoFile) {
        ok = files.close(c, output) && ok;
        ok = ok && files.rename(c, partial.c_str(), argv[2], true);
        if (!ok) {
            files.remove(c, partial.c_str());
        }
    }
    if (input != kNoFile) {
        files.close(c, input);
    }
    if (buffer) {
        files.releaseMemory(c, buffer);
    }
    if (!ok) {
        std::fprintf(stderr, "plain_copy: cannot copy %s to %s\n", argv[1], argv[2]);
    }
    return ok ? 0 : 1;
}
