#include "results/CollectionFile.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include <cstring>

#include "platform/FileKind.h"
#include "results/VornFileCRC.h"

namespace vorn {

FileHandle openRegularFile(const char* path, std::string* why) {
    const int fd = platform::openRegularForReading(path, why);
    if (fd < 0) {
        return nullptr;
    }
    FileHandle file(fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
    }
    return file;
}

FileHandle openCompleteResult(const char* path, uint64_t* end, std::string* why) {
    std::string reason;
    FileHandle file = openRegularFile(path, &reason);
    if (!file) {
        *why = "cannot open: " + reason;
        return nullptr;
    }
    uint64_t size = 0;
    if (!fileSizeOf(file.get(), &size) || !checkResultHeader(file.get(), 0, size, end)) {
        *why = "not a complete result file (magic, length or CRC)";
        return nullptr;
    }
    return file;
}

FileHandle openForReading(const char* path) {
    FileHandle file = openRegularFile(path);
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size <= 0 || static_cast<uint64_t>(info.st_size) > kInMemoryBytes) {
        return file;
    }
    const size_t size = static_cast<size_t>(info.st_size);
    // The stream allocates and frees its own buffer (a null buffer asks for that). One
    // byte more than the file: a stream written full puts a zero over its last byte.
    FileHandle memory(fmemopen(nullptr, size + 1, "w+"));
    std::vector<char> chunk(1 << 16);
    size_t copied = 0;
    while (memory && copied < size) {
        const size_t got =
            std::fread(chunk.data(), 1, std::min(chunk.size(), size - copied), file.get());
        if (got == 0 || std::fwrite(chunk.data(), 1, got, memory.get()) != got) {
            break;
        }
        copied += got;
    }
    // A file that changed size while read is read from the file itself.
    if (!memory || copied != size || std::fflush(memory.get()) != 0 ||
        fseeko(file.get(), 0, SEEK_SET) != 0) {
        return file;
    }
    return memory;
}

bool fileSizeOf(FILE* file, uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0) {
        return false;
    }
    const off_t end = ftello(file);
    if (end < 0) {
        return false;
    }
    *size = static_cast<uint64_t>(end);
    return true;
}

bool readAt(FILE* file, uint64_t offset, void* buffer, size_t count) {
    if (offset > static_cast<uint64_t>(INT64_MAX) ||
        fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(buffer, 1, count, file) == count;
}

bool checkResultHeader(FILE* file, uint64_t offset, uint64_t limit, uint64_t* end) {
    unsigned char header[kResultHeaderSize];
    if (limit < offset || limit - offset < kResultHeaderSize ||
        !readAt(file, offset, header, sizeof header)) {
        return false;
    }
    if (std::memcmp(header, kResultMagic, sizeof kResultMagic) != 0) {
        return false;
    }
    const uint32_t storedCrc = loadLe32(header + 8);
    const uint32_t length = loadLe32(header + 12);
    // A writer that is still alive leaves the length at 0; a length running past the
    // file (or the library) would have the CRC read bytes that are not there.
    if (length < kResultHeaderSize || length > limit - offset) {
        return false;
    }
    if (fseeko(file, static_cast<off_t>(offset + 12), SEEK_SET) != 0) {
        return false;
    }
    VornFileCRC crc;
    if (crc.crcOfFile(file, length - 12) != storedCrc) {
        return false;
    }
    *end = offset + length;
    return true;
}

}  // namespace vorn
