// Atomic replacement of a file: the data goes to a temporary file in the same
// directory, which is flushed to disk and then renamed over the target. At any
// moment the target is either the old complete file or the new complete file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace vq {

class AtomicFile {
public:
    // Creates the temporary file. Throws EInOutError on failure.
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile(); // without commit(): the temporary file is removed, the target untouched

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes); // buffered; throws EInOutError
    // Flush, sync to disk, rename over the target (a durable rename); throws EInOutError. After a
    // failed write() the file cannot be committed (commit() throws that error again).
    void commit();

    const std::filesystem::path& target() const { return target_; }

private:
    void create();
    void writeBytes(std::string_view bytes);
    void commitFile();
    void flushBuffer();

    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;
    std::string buffer_;
    int error_ = 0;          // errno of the first failed write; the file is then never committed
    bool committed_ = false;
};

// Appends `bytes` to the file at `path` when it is there and holds exactly
// `expectedSize` bytes (the file the caller wrote last), then syncs it to disk:
// the new size. -1, with nothing written, when the file is missing or has
// another size. A failed write cuts the file back to `expectedSize`, so that it
// never holds part of an append; throws EInOutError naming the file.
long long appendChecked(const std::filesystem::path& path, long long expectedSize, std::string_view bytes);

namespace testing {
// Makes every AtomicFile write fail with "Disk full" once `bytes` bytes in total
// have been written since the call; a negative value switches the fault off.
void failWritesAfter(long long bytes);
} // namespace testing

} // namespace vq
