#include "engine/input_win.h"

#include <cstring>

#include "engine/container.h"
#include "engine/filelayer_win.h"
#include "win/files_win.h"

void readInputFile(const char* path, InputFile& input) {
    std::memset(&input, 0, sizeof input);
    input.container = isContainerName(path);
    if (input.container) {
        ContainerHeader header;
        const FileLayer files = windowsFileLayer();
        switch (readContainerHeader(files, path, header)) {
        case HeaderRead::Ok:
            break;
        case HeaderRead::Unreadable:
            input.outcome = LoadOutcome::Unreadable;
            input.error = GetLastError();
            return;
        case HeaderRead::NotContainer:
            input.opened = true;
            input.outcome = LoadOutcome::NotContainer;
            return;
        }
        input.opened = true;
        storedFileFromHeader(header, input.stored, files.codePage);
        input.hasDescription = header.hasDescription != 0;
        input.hasKeyPath = header.hasKeyPath != 0;
        if (input.hasDescription) {
            textFromStored(header.description, files.codePage, input.description, sizeof input.description);
        }
        if (input.hasKeyPath) {
            textFromStored(header.keyPath, files.codePage, input.keyPath, sizeof input.keyPath);
        }
        input.outcome = LoadOutcome::Loaded;
        return;
    }
    HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        input.outcome = LoadOutcome::Unreadable;
        input.error = GetLastError();
        return;
    }
    input.opened = true;
    int64_t size = fileSize(file);
    CloseHandle(file);
    input.size = uint32_t(size < 0 ? 0 : uint64_t(size));
    input.outcome = size <= 0             ? LoadOutcome::Empty
                    : size > 0xFFFFFFFFll ? LoadOutcome::Unusable
                                          : LoadOutcome::Loaded;
}
