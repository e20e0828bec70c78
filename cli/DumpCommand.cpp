// dump: every entry of a result file or of one library member, as text or JSON.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "results/VornCollection.h"
#include "results/VornLibraryCollection.h"

namespace vorn::cli {

namespace {

struct DumpOptions {
    const char* path = nullptr;
    uint32_t member = 0;
    bool json = false;
};

struct DumpedEntry {
    std::string name;
    bool hasValue = false;
    std::string value;  // without its zero byte
    std::vector<unsigned char> data;
};

bool parseArguments(int argc, char** argv, DumpOptions* options, std::string* error) {
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--json") == 0) {
            options->json = true;
        } else if (std::strcmp(argument, "--member") == 0) {
            uint64_t member = 0;
            if (i + 1 >= argc || !parseUnsigned(argv[i + 1], UINT32_MAX, &member)) {
                *error = "--member needs a member index";
                return false;
            }
            options->member = static_cast<uint32_t>(member);
            ++i;
        } else if (argument[0] == '-' && argument[1] != '\0') {
            *error = std::string("unknown option '") + argument + "'";
            return false;
        } else if (options->path == nullptr) {
            options->path = argument;
        } else {
            *error = "only one FILE can be dumped";
            return false;
        }
    }
    if (options->path == nullptr) {
        *error = "usage: qkvorn-cli dump FILE [--member N] [--json]";
        return false;
    }
    return true;
}

std::string hexOf(const unsigned char* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

// Reads each entry's own value and data, so repeated names show what each holds.
bool readEntries(I_VornCollection& collection, std::vector<DumpedEntry>* entries) {
    char name[kEntryNameBuffer];
    for (bool more = collection.firstEntry(name); more; more = collection.nextEntry(name)) {
        uint32_t valueLength = 0;
        uint32_t dataLength = 0;
        if (!collection.readCurrentEntry(&valueLength, nullptr, &dataLength, nullptr)) {
            return false;
        }
        DumpedEntry entry;
        entry.name = name;
        entry.hasValue = valueLength > 0;
        std::vector<char> value(valueLength + 1, '\0');
        entry.data.resize(dataLength);
        uint32_t valueCapacity = valueLength;
        uint32_t dataCapacity = dataLength;
        if (!collection.readCurrentEntry(&valueCapacity, value.data(), &dataCapacity,
                                         entry.data.data())) {
            return false;
        }
        if (valueLength > 0) {
            entry.value.assign(value.data(), valueLength - 1);
        }
        entries->push_back(std::move(entry));
    }
    return true;
}

void printJson(const char* kind, uint32_t members, uint32_t member,
               const std::vector<DumpedEntry>& entries) {
    std::printf("{\"kind\": \"%s\", \"members\": %u, \"member\": %u, \"entries\": [", kind, members,
                member);
    for (size_t i = 0; i < entries.size(); ++i) {
        const DumpedEntry& e = entries[i];
        const std::string value = e.hasValue ? "\"" + jsonEscaped(e.value) + "\"" : "null";
        const std::string data =
            e.data.empty() ? "null" : "\"" + hexOf(e.data.data(), e.data.size()) + "\"";
        std::printf("%s{\"name\": \"%s\", \"value\": %s, \"data_length\": %zu, \"data_hex\": %s}",
                    i == 0 ? "" : ", ", jsonEscaped(e.name).c_str(), value.c_str(), e.data.size(),
                    data.c_str());
    }
    std::printf("]}\n");
}

void printText(const DumpOptions& options, const char* kind, uint32_t members,
               const std::vector<DumpedEntry>& entries) {
    std::printf("%s file %s: %u member%s, member %u, %zu entr%s\n", kind, options.path, members,
                members == 1 ? "" : "s", options.member, entries.size(),
                entries.size() == 1 ? "y" : "ies");
    constexpr size_t kBytesPerLine = 32;
    for (const DumpedEntry& e : entries) {
        std::printf("%s\n", jsonEscaped(e.name).c_str());
        if (e.hasValue) {
            std::printf("  value: \"%s\"\n", jsonEscaped(e.value).c_str());
        } else {
            std::printf("  value: none\n");
        }
        std::printf("  data: %zu bytes\n", e.data.size());
        for (size_t at = 0; at < e.data.size(); at += kBytesPerLine) {
            const size_t count = std::min(kBytesPerLine, e.data.size() - at);
            std::printf("    %06zx  %s\n", at, hexOf(e.data.data() + at, count).c_str());
        }
    }
}

int fail(const DumpOptions& options, const std::string& message) {
    if (options.json) {
        std::printf("{\"error\": \"%s\"}\n", jsonEscaped(message).c_str());
    } else {
        std::fprintf(stderr, "qkvorn-cli: dump: %s\n", message.c_str());
    }
    return 1;
}

}  // namespace

int runDump(int argc, char** argv) {
    DumpOptions options;
    std::string error;
    if (!parseArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "qkvorn-cli: dump: %s\n", error.c_str());
        return 2;
    }
    auto collection = openCollection(options.path);
    if (!collection) {
        return fail(options, openFailure(options.path, "a result or library file"));
    }
    const bool library = dynamic_cast<VornLibraryCollection*>(collection.get()) != nullptr;
    const uint32_t members = collection->getMemberCount();
    if (options.member >= members) {
        return fail(options, "member " + std::to_string(options.member) + " is out of range (" +
                                 std::to_string(members) + " members)");
    }
    if (!collection->selectMember(options.member)) {
        return fail(options, "member " + std::to_string(options.member) + " is damaged");
    }
    std::vector<DumpedEntry> entries;
    if (!readEntries(*collection, &entries)) {
        return fail(options, "an entry could not be read");
    }
    const char* kind = library ? "library" : "result";
    if (options.json) {
        printJson(kind, members, options.member, entries);
    } else {
        printText(options, kind, members, entries);
    }
    return 0;
}

}  // namespace vorn::cli
