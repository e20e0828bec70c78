#pragma once

#include <cstdint>

#include "results/CollectionFile.h"
#include "results/Collections.h"
#include "results/EntryCursor.h"

namespace vorn {

// One result file: a 16-byte header (magic, CRC, length) and its entries.
class VornDiskCollection final : public I_VornCollection {
public:
    VornDiskCollection() = default;
    VornDiskCollection(const VornDiskCollection&) = delete;
    VornDiskCollection& operator=(const VornDiskCollection&) = delete;
    ~VornDiskCollection() override;

    uint32_t getMemberCount() override { return 1; }
    bool selectMember(uint32_t index) override { return index == 0; }
    bool addEntry(const char* name, const char* value, uint32_t dataLength,
                  const void* data) override;
    bool findEntry(const char* name, uint32_t* valueCapacity, char* valueBuffer,
                   uint32_t* dataCapacity, void* dataBuffer) override;
    bool firstEntry(char* name) override;
    bool nextEntry(char* name) override;
    bool create(const char* path) override;
    // Completes a created file and closes it, answering whether every byte reached
    // the disk (otherwise the destructor completes it and can only log a failure).
    [[nodiscard]] bool finish();
    bool open(const char* path) override;
    bool readCurrentEntry(uint32_t* valueCapacity, char* valueBuffer, uint32_t* dataCapacity,
                          void* dataBuffer) override;

private:
    enum class Mode { closed, reading, writing };

    bool completeHeader();

    FileHandle file_;
    Mode mode_ = Mode::closed;
    uint64_t length_ = 0;  // bytes written so far (write mode)
    EntryCursor entries_;
};

}  // namespace vorn
