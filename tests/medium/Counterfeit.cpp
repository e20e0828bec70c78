#include "medium/Counterfeit.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vorn::medium {
namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kFree = UINT64_MAX;

}  // namespace

bool parseBeyond(const std::string& text, Beyond& mode) {
    if (text == "drop") {
        mode = Beyond::Drop;
    } else if (text == "wrap") {
        mode = Beyond::Wrap;
    } else if (text == "error") {
        mode = Beyond::Error;
    } else if (text == "refuse") {
        mode = Beyond::Refuse;
    } else if (text == "stale") {
        mode = Beyond::Stale;
    } else if (text == "random") {
        mode = Beyond::Random;
    } else {
        return false;
    }
    return true;
}

const char* beyondName(Beyond mode) {
    switch (mode) {
        case Beyond::Wrap:
            return "wrap";
        case Beyond::Error:
            return "error";
        case Beyond::Refuse:
            return "refuse";
        case Beyond::Stale:
            return "stale";
        case Beyond::Random:
            return "random";
        case Beyond::Drop:
            break;
    }
    return "drop";
}

void SectorCache::resize(uint64_t sectors) {
    owner_.assign(sectors, kFree);
    data_.assign(sectors * kSector, 0);
    slotOf_.clear();
    next_ = 0;
}

// A sector written again becomes the newest: its old slot is freed.
void SectorCache::put(uint64_t sector, const char* bytes) {
    if (owner_.empty()) {
        return;
    }
    if (auto it = slotOf_.find(sector); it != slotOf_.end()) {
        owner_[it->second] = kFree;
        slotOf_.erase(it);
    }
    if (owner_[next_] != kFree) {
        slotOf_.erase(owner_[next_]);
    }
    owner_[next_] = sector;
    slotOf_[sector] = next_;
    std::memcpy(&data_[next_ * kSector], bytes, kSector);
    next_ = (next_ + 1) % owner_.size();
}

bool SectorCache::get(uint64_t sector, char* bytes) const {
    const auto it = slotOf_.find(sector);
    if (it == slotOf_.end()) {
        return false;
    }
    std::memcpy(bytes, &data_[it->second * kSector], kSector);
    return true;
}

void CounterfeitStore::setCacheBytes(uint64_t bytes, bool beyondOnly) {
    cache_.resize(bytes / kSector);
    cacheBeyondOnly_ = beyondOnly;
}

uint64_t CounterfeitStore::cacheBytes() const {
    return cache_.sectors() * kSector;
}

void CounterfeitStore::reset() {
    claimed = 0;
    beyond = Beyond::Drop;
    cache_.resize(0);
    cacheBeyondOnly_ = false;
}

bool CounterfeitStore::backingSector(uint64_t real, uint64_t sector, uint64_t& at) const {
    const uint64_t realSectors = real / kSector;
    if (sector < realSectors) {
        at = sector;
        return true;
    }
    if (beyond == Beyond::Wrap && realSectors != 0) {
        at = sector % realSectors;
        return true;
    }
    return false;
}

bool CounterfeitStore::touchesMissing(uint64_t real, size_t bytes, uint64_t offset,
                                      bool write) const {
    const bool refused = beyond == Beyond::Error || (write && beyond == Beyond::Refuse);
    return refused && bytes != 0 && offset + bytes > real / kSector * kSector;
}

// What a read of a sector without storage answers.
void CounterfeitStore::missingSector(uint64_t sector, char* bytes) const {
    if (beyond == Beyond::Stale) {
        // An old file's bytes: the same every time, different in every sector.
        for (uint64_t i = 0; i < kSector; i += 8) {
            const uint64_t word = (sector * 0x100000001b3ull) ^ (i * 0x5bd1e995ull) ^ 0x4f4c44ull;
            std::memcpy(bytes + i, &word, 8);
        }
        return;
    }
    if (beyond == Beyond::Random) {
        for (uint64_t i = 0; i < kSector; i += 8) {
            noise_ ^= noise_ << 13;
            noise_ ^= noise_ >> 7;
            noise_ ^= noise_ << 17;
            std::memcpy(bytes + i, &noise_, 8);
        }
        return;
    }
    std::memset(bytes, 0, kSector);
}

bool CounterfeitStore::readSector(int image, uint64_t real, uint64_t sector, char* bytes) const {
    if (cache_.get(sector, bytes)) {
        return true;
    }
    uint64_t at = 0;
    if (!backingSector(real, sector, at)) {
        missingSector(sector, bytes);
        return true;
    }
    if (memory != nullptr) {
        std::memcpy(bytes, memory + at * kSector, kSector);
        return true;
    }
    return pread(image, bytes, kSector, static_cast<off_t>(at * kSector)) ==
           static_cast<ssize_t>(kSector);
}

bool CounterfeitStore::writeSector(int image, uint64_t real, uint64_t sector, const char* bytes) {
    if (!cacheBeyondOnly_ || sector >= real / kSector) {
        cache_.put(sector, bytes);
    }
    uint64_t at = 0;
    if (!backingSector(real, sector, at)) {
        return true;  // lost, and nobody is told
    }
    if (memory != nullptr) {
        std::memcpy(memory + at * kSector, bytes, kSector);
        return true;
    }
    return pwrite(image, bytes, kSector, static_cast<off_t>(at * kSector)) ==
           static_cast<ssize_t>(kSector);
}

int CounterfeitStore::read(int image, uint64_t real, char* data, size_t bytes, uint64_t offset) {
    const uint64_t end = std::min<uint64_t>(offset + bytes, reportedSize(real));
    if (offset >= end) {
        return 0;
    }
    if (touchesMissing(real, end - offset, offset, false)) {
        return -EIO;
    }
    char sector[kSector];
    for (uint64_t at = offset; at < end;) {
        const uint64_t inSector = at % kSector;
        const uint64_t n = std::min(kSector - inSector, end - at);
        if (!readSector(image, real, at / kSector, sector)) {
            return -EIO;
        }
        std::memcpy(data + (at - offset), sector + inSector, n);
        at += n;
    }
    return static_cast<int>(end - offset);
}

int CounterfeitStore::write(int image, uint64_t real, const char* source, size_t bytes,
                            uint64_t offset) {
    const uint64_t end = std::min<uint64_t>(offset + bytes, reportedSize(real));
    if (offset >= end) {
        return 0;
    }
    if (touchesMissing(real, end - offset, offset, true)) {
        return -EIO;
    }
    char sector[kSector];
    for (uint64_t at = offset; at < end;) {
        const uint64_t inSector = at % kSector;
        const uint64_t n = std::min(kSector - inSector, end - at);
        // A part of a sector keeps the rest of it as the medium would answer it.
        if (n != kSector && !readSector(image, real, at / kSector, sector)) {
            return -EIO;
        }
        std::memcpy(sector + inSector, source + (at - offset), n);
        if (!writeSector(image, real, at / kSector, sector)) {
            return -EIO;
        }
        at += n;
    }
    return static_cast<int>(end - offset);
}

}  // namespace vorn::medium
