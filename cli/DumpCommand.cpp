// dump: every entry of a result file or of one library member, as text or JSON.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonOut.h"
#include "results/Collections.h"
#include "results/VornLibraryCollection.h"

namespace vorn::cli {

namespace {

struct DumpOptions {
    std::string path;
    uint32_t member = 0;
    bool json = false;
};

// One entry as read; its buffers are reused from entry to entry, so the output
// streams with memory in proportion to the largest entry, not to the file.
struct DumpedEntry {
    const char* name = nullptr;
    bool hasValue = false;
    std::vector<char> value;  // with its zero byte
    std::vector<unsigned char> data;
};

// Nullopt when the dump goes on; otherwise the exit code.
std::optional<int> parseArguments(int argc, char** argv, DumpOptions* options) {
    CommandLine line("dump", "Every entry of a result file or of one library member.");
    std::vector<std::string> files;
    uint64_t member = 0;
    line.positionals("FILE", &files, "a result or library file");
    line.number("--member", &member, UINT32_MAX, "the library member (default 0)",
                "--member needs a member index");
    line.flag("--json", &options->json, "print the entries as JSON");
    if (const auto code = line.parse(argc, argv)) {
        return code;
    }
    if (files.empty()) {
        return line.usageError("usage: qkvorn-cli dump FILE [--member N] [--json]");
    }
    if (files.size() > 1) {
        return line.usageError("only one FILE can be dumped");
    }
    options->path = files.front();
    options->member = static_cast<uint32_t>(member);
    return std::nullopt;
}

std::string hexText(const unsigned char* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
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

// The value without its closing zero byte and the zero the reader adds.
std::string valueOf(const DumpedEntry& e) {
    return std::string(e.value.data(), e.value.size() > 1 ? e.value.size() - 2 : 0);
}

std::string entryJson(const DumpedEntry& e) {
    return jsonText({{"name", e.name},
                     {"value", e.hasValue ? Json(valueOf(e)) : Json(nullptr)},
                     {"data_length", e.data.size()},
                     {"data_hex", e.data.empty() ? Json(nullptr)
                                                 : Json(hexText(e.data.data(), e.data.size()))}});
}

void printTextEntry(const DumpedEntry& e) {
    constexpr size_t kBytesPerLine = 32;
    std::printf("%s\n", jsonEscaped(e.name).c_str());
    if (e.hasValue) {
        std::printf("  value: \"%s\"\n", jsonEscaped(valueOf(e)).c_str());
    } else {
        std::printf("  value: none\n");
    }
    std::printf("  data: %zu bytes\n", e.data.size());
    for (size_t at = 0; at < e.data.size(); at += kBytesPerLine) {
        std::printf("    %06zx  ", at);
        std::fputs(hexText(e.data.data() + at, std::min(kBytesPerLine, e.data.size() - at)).c_str(),
                   stdout);
        std::putchar('\n');
    }
}

int fail(const DumpOptions& options, const std::string& message) {
    if (options.json) {
        printJson({{"error", message}});
    } else {
        std::fprintf(stderr, "qkvorn-cli: dump: %s\n", message.c_str());
    }
    return 1;
}

}  // namespace

int runDump(int argc, char** argv) {
    DumpOptions options;
    if (const auto code = parseArguments(argc, argv, &options)) {
        return *code;
    }
    auto collection = openCollection(options.path.c_str());
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
        const Json head = {{"kind", kind}, {"members", members}, {"member", options.member}};
        std::printf("%s", jsonOpenArray(head, "entries").c_str());
        forEachEntry(*collection, entry, [&](const DumpedEntry& e) {
            std::printf("%s%s", first ? "" : ", ", entryJson(e).c_str());
            first = false;
        });
        std::printf("]}\n");
    } else {
        std::printf("%s file %s: %u member%s, member %u, %zu entr%s\n", kind, options.path.c_str(),
                    members, members == 1 ? "" : "s", options.member, count,
                    count == 1 ? "y" : "ies");
        forEachEntry(*collection, entry, printTextEntry);
    }
    return 0;
}

}  // namespace vorn::cli
