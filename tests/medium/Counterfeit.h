#pragma once

// How the test medium lies about its size, as counterfeit media do: it claims more
// sectors than its image holds, and what happens past the real end depends on the
// mode. A write cache of recent sectors may answer reads before the storage does, so
// a read-back straight after a write proves nothing.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace vorn::medium {

enum class Beyond {
    Drop,    // writes past the real end are lost, reads there answer zeros
    Wrap,    // addresses are taken modulo the real size
    Error,   // every request touching the part past the real end fails with EIO
    Refuse,  // writes touching the part past the real end fail with EIO, reads answer zeros
    Stale,   // writes there are lost, reads answer what an earlier user left there
    Random,  // writes there are lost, reads answer new noise each time
};

bool parseBeyond(const std::string& text, Beyond& mode);
const char* beyondName(Beyond mode);

// The most recently written sectors, oldest dropped first.
class SectorCache {
public:
    void resize(uint64_t sectors);
    uint64_t sectors() const { return owner_.size(); }
    void put(uint64_t sector, const char* bytes);
    bool get(uint64_t sector, char* bytes) const;

private:
    std::vector<uint64_t> owner_;  // sector held by each slot, or kFree
    std::vector<char> data_;
    std::unordered_map<uint64_t, size_t> slotOf_;
    size_t next_ = 0;
};

// The storage behind the medium's file while a lie is set: claimed size, mode past
// the real end, and the cache. Requests are served sector by sector.
class CounterfeitStore {
public:
    uint64_t claimed = 0;  // 0: the real size
    Beyond beyond = Beyond::Drop;
    // When set, the real storage is this memory rather than the image file.
    char* memory = nullptr;

    // True when the store changes anything: without a lie the medium serves the
    // image directly, as it always has.
    bool lying() const { return claimed != 0 || cache_.sectors() != 0; }
    uint64_t reportedSize(uint64_t real) const { return claimed != 0 ? claimed : real; }
    // A cache of every write, or (beyondOnly) only of writes past the real end: a
    // controller that keeps what it has no storage for until newer such writes come.
    void setCacheBytes(uint64_t bytes, bool beyondOnly = false);
    uint64_t cacheBytes() const;
    bool cacheBeyondOnly() const { return cacheBeyondOnly_; }
    void reset();

    // Bytes moved (short at the claimed end), or -errno.
    int read(int image, uint64_t real, char* data, size_t bytes, uint64_t offset);
    int write(int image, uint64_t real, const char* source, size_t bytes, uint64_t offset);

private:
    bool readSector(int image, uint64_t real, uint64_t sector, char* bytes) const;
    bool writeSector(int image, uint64_t real, uint64_t sector, const char* bytes);
    // Where a sector past the real end lives; false when it lives nowhere.
    bool backingSector(uint64_t real, uint64_t sector, uint64_t& at) const;
    bool touchesMissing(uint64_t real, size_t bytes, uint64_t offset, bool write) const;
    void missingSector(uint64_t sector, char* bytes) const;

    SectorCache cache_;
    bool cacheBeyondOnly_ = false;
    mutable uint64_t noise_ = 0x9e3779b97f4a7c15ull;
};

}  // namespace vorn::medium
