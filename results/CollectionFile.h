#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/LittleEndian.h"

// Low-level pieces shared by the result-file and library classes. Every read is
// positioned and bounded by the caller; nothing here trusts a length from the file.

namespace vorn {

inline constexpr uint32_t kResultHeaderSize = 16;
inline constexpr unsigned char kResultMagic[8] = {'V', 'O', 'R', 'N', 0x1A, 0, 0, 0};
inline constexpr unsigned char kLibraryMagic[8] = {'V', 'O', 'R', 'N', 'L', 'I', 'B', 0x1A};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// Opens a file for reading only when it is a regular file (a FIFO or device is
// refused at once, never waited on); `why` (when given) says why it did not open.
FileHandle openRegularFile(const char* path, std::string* why = nullptr);

// Opens a result or library file for reading, a regular file only. A regular file up to
// kInMemoryBytes is read whole into a stream of its own memory: a listing reads thousands of
// members in small positioned reads, and on a file each of them was a seek system call.
inline constexpr uint64_t kInMemoryBytes = 256u << 20;
FileHandle openForReading(const char* path);

// Size of the open file in bytes; false when it cannot be found.
bool fileSizeOf(FILE* file, uint64_t* size);

// Reads exactly count bytes at offset.
bool readAt(FILE* file, uint64_t offset, void* buffer, size_t count);

// Checks a result file's header at offset: the magic, a length field of at least
// 16 whose end lies within limit, and the CRC of the bytes from offset + 12 to that
// end. On success *end is the offset just past the result file.
bool checkResultHeader(FILE* file, uint64_t offset, uint64_t limit, uint64_t* end);

// A whole file opened as one complete result, checked as checkResultHeader checks it:
// the handle and in *end the length its header states; null with the reason in `why`
// ("cannot open: ..." or "not a complete result file (magic, length or CRC)").
FileHandle openCompleteResult(const char* path, uint64_t* end, std::string* why);

}  // namespace vorn
