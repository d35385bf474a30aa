// A handle that closes itself on every way out of whatever holds it: one owner, moved, never
// copied. Both of the system's "no handle" values (null and INVALID_HANDLE_VALUE) count as none.
#pragma once

#include <windows.h>

struct Handle {
    HANDLE value = INVALID_HANDLE_VALUE;

    Handle() = default;
    explicit Handle(HANDLE h) : value(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : value(other.release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            close();
            value = other.release();
        }
        return *this;
    }
    ~Handle() { close(); }

    bool valid() const { return value != INVALID_HANDLE_VALUE && value != nullptr; }
    operator HANDLE() const { return value; }
    HANDLE release() {
        HANDLE h = value;
        value = INVALID_HANDLE_VALUE;
        return h;
    }
    // Closes it now, where the order matters (a file renamed or removed after it); false when
    // the system reports a failure, as when written data may not have reached the file.
    bool close() {
        bool closed = !valid() || CloseHandle(value) != 0;
        value = INVALID_HANDLE_VALUE;
        return closed;
    }
};
