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

// One entry as read; its buffers are reused from entry to entry, so the output
// streams with no more memory than the largest entry.
struct DumpedEntry {
    const char* name = nullptr;
    bool hasValue = false;
    std::vector<char> value;  // with its zero byte
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

void printHex(const unsigned char* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < count; ++i) {
        std::putchar(kDigits[bytes[i] >> 4]);
        std::putchar(kDigits[bytes[i] & 0x0F]);
    }
}

// Calls visit(entry) for each entry of the selected member in order; each entry's
// own value and data, so repeated names show what each holds. False when an entry
// could not be read.
template <typename Visit>
bool forEachEntry(I_VornCollection& collection, DumpedEntry& entry, Visit visit) {
    char name[kEntryNameBuffer];
    for (bool more = collection.firstEntry(name); more; more = collection.nextEntry(name)) {
        uint32_t valueLength = 0;
        uint32_t dataLength = 0;
        if (!collection.readCurrentEntry(&valueLength, nullptr, &dataLength, nullptr)) {
            return false;
        }
        entry.name = name;
        entry.hasValue = valueLength > 0;
        entry.value.assign(valueLength + 1, '\0');
        entry.data.resize(dataLength);
        uint32_t valueCapacity = valueLength;
        uint32_t dataCapacity = dataLength;
        if (!collection.readCurrentEntry(&valueCapacity, entry.value.data(), &dataCapacity,
                                         entry.data.data())) {
            return false;
        }
        visit(entry);
    }
    return true;
}

std::string valueText(const DumpedEntry& e) {
    return jsonEscaped(std::string(e.value.data(), e.value.size() > 1 ? e.value.size() - 2 : 0));
}

void printJsonEntry(const DumpedEntry& e, bool first) {
    std::printf("%s{\"name\": \"%s\", \"value\": ", first ? "" : ", ", jsonEscaped(e.name).c_str());
    if (e.hasValue) {
        std::printf("\"%s\"", valueText(e).c_str());
    } else {
        std::printf("null");
    }
    std::printf(", \"data_length\": %zu, \"data_hex\": ", e.data.size());
    if (e.data.empty()) {
        std::printf("null}");
        return;
    }
    std::putchar('"');
    printHex(e.data.data(), e.data.size());
    std::printf("\"}");
}

void printTextEntry(const DumpedEntry& e) {
    constexpr size_t kBytesPerLine = 32;
    std::printf("%s\n", jsonEscaped(e.name).c_str());
    if (e.hasValue) {
        std::printf("  value: \"%s\"\n", valueText(e).c_str());
    } else {
        std::printf("  value: none\n");
    }
    std::printf("  data: %zu bytes\n", e.data.size());
    for (size_t at = 0; at < e.data.size(); at += kBytesPerLine) {
        std::printf("    %06zx  ", at);
        printHex(e.data.data() + at, std::min(kBytesPerLine, e.data.size() - at));
        std::putchar('\n');
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
    // A first pass reads every entry, so a damaged one fails before any output.
    DumpedEntry entry;
    size_t count = 0;
    if (!forEachEntry(*collection, entry, [&](const DumpedEntry&) { ++count; })) {
        return fail(options, "an entry could not be read");
    }
    const char* kind = library ? "library" : "result";
    bool first = true;
    if (options.json) {
        std::printf("{\"kind\": \"%s\", \"members\": %u, \"member\": %u, \"entries\": [", kind,
                    members, options.member);
        forEachEntry(*collection, entry, [&](const DumpedEntry& e) {
            printJsonEntry(e, first);
            first = false;
        });
        std::printf("]}\n");
    } else {
        std::printf("%s file %s: %u member%s, member %u, %zu entr%s\n", kind, options.path, members,
                    members == 1 ? "" : "s", options.member, count, count == 1 ? "y" : "ies");
        forEachEntry(*collection, entry, printTextEntry);
    }
    return 0;
}

}  // namespace vorn::cli
