#include "core/FileWrite.h"

namespace {
WriteFileFn g_write = WriteFile;
FlushFileFn g_flush = FlushFileBuffers;
}  // namespace

bool ReadWholeFile(const std::wstring& path, std::string& bytes, DWORD& error) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    bytes.clear();
    char buf[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(f, buf, sizeof(buf), &got, nullptr)) {
            error = GetLastError();
            ok = false;
            break;
        }
        if (got == 0) break;
        bytes.append(buf, got);
    }
    CloseHandle(f);
    return ok;
}

void SetWriteFileHook(WriteFileFn write) { g_write = write ? write : WriteFile; }
void SetFlushFileHook(FlushFileFn flush) { g_flush = flush ? flush : FlushFileBuffers; }

bool WriteAll(HANDLE file, const void* data, size_t size, DWORD& error) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size < (1u << 20) ? static_cast<DWORD>(size) : (1u << 20);
        DWORD written = 0;
        SetLastError(ERROR_SUCCESS);
        if (!g_write(file, p, chunk, &written, nullptr)) {
            error = GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
            return false;
        }
        if (written != chunk) {
            // The system says why when it knows; a short write it does not explain is a full disk.
            error = GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_DISK_FULL;
            return false;
        }
        p += chunk;
        size -= chunk;
    }
    return true;
}

bool FlushToDisk(HANDLE file, DWORD& error) {
    SetLastError(ERROR_SUCCESS);
    if (g_flush(file)) return true;
    error = GetLastError();
    if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
    return false;
}
