#pragma once
// Reads whole files, and writes to files that must reach the disk whole: a write that stops
// short (a full disk) leaves no error code behind, so it is named here as the full disk it is.
#include <windows.h>
#include <cstddef>
#include <string>

// Reads the whole file; false with the system's error code when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, DWORD& error);

// Writes every byte of data; false with `error` set when any part could not be written.
bool WriteAll(HANDLE file, const void* data, size_t size, DWORD& error);
// Forces what was written to the disk; false with `error` set when the system refuses.
bool FlushToDisk(HANDLE file, DWORD& error);

// Tests replace the two system calls behind the functions above; nullptr brings back the real one.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using FlushFileFn = BOOL(WINAPI*)(HANDLE);
void SetWriteFileHook(WriteFileFn write);
void SetFlushFileHook(FlushFileFn flush);
