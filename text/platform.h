// The operating system under the text layer: file handles, the atomic rename,
// the program's own path. One implementation per platform (platform_posix.cpp,
// platform_win.cpp), picked by the build; nothing else in the core names a
// system call. Failures return -1 (or false) and leave an errno value in errno,
// so that every platform reports through the same EInOutError table.
#pragma once

#include <cstddef>
#include <filesystem>

namespace vq::platform {

// A file opened for reading, binary; -1 on failure. Only regular files open: a
// directory fails with EISDIR, anything else (pipe, device) with ENODEV, at once.
int openForReading(const std::filesystem::path& path);
// A new file for writing, binary; fails with EEXIST when the name is taken.
// New files get the permissions a plain create would give.
int createNew(const std::filesystem::path& path);
// A file for writing at its end, created when missing; with `truncate` it is
// emptied first. Binary.
int openForAppending(const std::filesystem::path& path, bool truncate);
// Up to `size` bytes; 0 at the end of the file. Interrupted calls are retried.
long long readSome(int fd, char* data, size_t size);
long long writeSome(int fd, const char* data, size_t size);
// The size of an open file; -1 when unknown.
long long fileSize(int fd);
// Cuts the open file to `size` bytes.
int truncateFile(int fd, long long size);
// Everything written so far on disk.
int syncFile(int fd);
int closeFile(int fd);
// Renames `from` over `to` in one step and makes the rename itself durable.
// Fails when the rename fails (then `to` is untouched) or cannot be made durable.
int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
int removeFile(const std::filesystem::path& path);

// The first occurrence of the needle (not empty) in the haystack; nullptr when
// there is none. glibc's memmem where there is one.
const char* findMemory(const char* haystack, size_t haystackSize, const char* needle, size_t needleSize);

// True when the directory exists and new files can be made in it.
bool directoryWritable(const std::filesystem::path& dir);
// The full path of the running executable; empty when the system does not say.
std::filesystem::path executablePath();
// Differs between processes running at the same time.
unsigned long processId();
// An errno value that means "disk quota exceeded" on this platform.
bool quotaExceeded(int errnoValue);

} // namespace vq::platform
