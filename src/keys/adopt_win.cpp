#include "keys/adopt_win.h"

#include "win/files_win.h"

bool measureKeyFile(const char* path, uint32_t& bytes) {
    bytes = 0;
    HANDLE file = path[0] ? openForReading(path) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bytes = fileSize32(file);
    CloseHandle(file);
    return true;
}
