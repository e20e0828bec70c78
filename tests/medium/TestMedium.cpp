// A programmable test medium: a FUSE file system holding one file, "medium", backed by
// an image file. Every read and write of it reaches this program (direct I/O) and is
// served after a set service time, or fails as told. Started with -s it takes one
// request at a time, like a device queue of depth one; without it the kernel hands it
// requests in parallel and "parallel" says how many it serves at once. "control" takes
// lines "key=value":
//   latency_us=N         fixed time per request
//   bandwidth=N          bytes per second on top of it (0 = unlimited)
//   parallel=K           requests served at once (1 by default); more wait for a free
//                        slot, so K requests of time T each take T, K+1 take 2T
//   write_cache=BYTES    the first BYTES written since mount (or reset) are served in
//                        the time above; later writes take the sustained time:
//   sustained_latency_us=N, sustained_bandwidth=N   as latency_us and bandwidth
//   fail_read=A-B        EIO for reads touching 512-byte sectors A..B (fail_write too)
//   fail_read_after=K    EIO for every read after the first K reads (fail_write_after)
//   pull=1               EIO for every request, as a medium pulled from its slot
//   vanish_after=K       after K more requests every request fails with ENODEV, as a
//                        stick pulled mid-transfer (0 = at once)
//   claim=BYTES          the size the medium reports (0 = the image's, its real size)
//   beyond=MODE          past the real size: drop (writes lost, reads answer zeros),
//                        wrap (addresses modulo the real size), error (EIO)
//   cache=BYTES          a write cache of the most recent sectors that answers reads
//   cache_beyond=BYTES   the same, fed only by writes past the real size
//   reset=1              back to no delay and no faults, counters to zero
// Reading "control" answers the settings, the counts of reads and writes served, the
// bytes written, the writes served at the sustained time ("sustained_writes"), the most
// requests it held at once ("peak": how deep a queue the kernel passed through) and the
// most it served at once ("peak_busy", at most "parallel").
//
// Usage: vorn-test-medium --image FILE MOUNTPOINT [FUSE options, e.g. -f -s]

#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "medium/Counterfeit.h"

namespace {

constexpr uint64_t kNone = UINT64_MAX;
constexpr uint64_t kSector = 512;

struct Range {
    uint64_t first = kNone;
    uint64_t last = kNone;
    bool touches(uint64_t offset, uint64_t bytes) const {
        if (first == kNone || bytes == 0) {
            return false;
        }
        return offset / kSector <= last && (offset + bytes - 1) / kSector >= first;
    }
};

struct Settings {
    uint64_t latencyNs = 0;
    uint64_t bandwidth = 0;
    Range failRead, failWrite;
    uint64_t failReadAfter = kNone, failWriteAfter = kNone;
    bool pulled = false;
    uint64_t vanishAt = kNone;    // request count (reads and writes) at which it vanishes
    uint64_t writeCache = kNone;  // bytes written at the time above; kNone: every write
    uint64_t sustainedLatencyNs = 0;
    uint64_t sustainedBandwidth = 0;
};

using vorn::medium::CounterfeitStore;

struct Medium {
    int image = -1;
    uint64_t size = 0;  // the real size: the image's
    std::mutex lock;
    Settings settings;
    CounterfeitStore lies;
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t written = 0;  // bytes, for the write cache
    // When each service slot is next free (monotonic ns); its size is "parallel".
    std::vector<uint64_t> freeAt = std::vector<uint64_t>(1, 0);
    uint64_t inFlight = 0;  // requests arrived and not yet answered
    uint64_t peak = 0;
    uint64_t peakBusy = 0;
    uint64_t sustainedWrites = 0;
};

Medium g_medium;

bool parseNumber(const std::string& text, uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parseRange(const std::string& text, Range& range) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        return parseNumber(text, range.first) && parseNumber(text, range.last);
    }
    return parseNumber(text.substr(0, dash), range.first) &&
           parseNumber(text.substr(dash + 1), range.last) && range.first <= range.last;
}

// One "key=value" line; false when it means nothing.
bool applySetting(const std::string& key, const std::string& value, Medium& m) {
    Settings& s = m.settings;
    uint64_t n = 0;
    if (key == "fail_read") {
        return parseRange(value, s.failRead);
    }
    if (key == "fail_write") {
        return parseRange(value, s.failWrite);
    }
    if (key == "beyond") {
        return vorn::medium::parseBeyond(value, m.lies.beyond);
    }
    if (!parseNumber(value, n)) {
        return false;
    }
    if (key == "latency_us") {
        s.latencyNs = n * 1000;
    } else if (key == "bandwidth") {
        s.bandwidth = n;
    } else if (key == "parallel" && n > 0 && n <= 1024) {
        m.freeAt.assign(n, 0);
    } else if (key == "write_cache") {
        s.writeCache = n;
    } else if (key == "sustained_latency_us") {
        s.sustainedLatencyNs = n * 1000;
    } else if (key == "sustained_bandwidth") {
        s.sustainedBandwidth = n;
    } else if (key == "fail_read_after") {
        s.failReadAfter = n;
    } else if (key == "fail_write_after") {
        s.failWriteAfter = n;
    } else if (key == "pull") {
        s.pulled = n != 0;
    } else if (key == "vanish_after") {
        s.vanishAt = m.reads + m.writes + n;
    } else if (key == "claim") {
        m.lies.claimed = n;
    } else if (key == "cache") {
        m.lies.setCacheBytes(n);
    } else if (key == "cache_beyond") {
        m.lies.setCacheBytes(n, true);
    } else if (key == "reset") {
        s = Settings{};
        m.lies.reset();
        m.reads = m.writes = m.written = m.sustainedWrites = 0;
        m.freeAt.assign(1, 0);
        m.peak = m.inFlight;
        m.peakBusy = 0;
    } else {
        return false;
    }
    return true;
}

bool applyControl(const std::string& text, Medium& m) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos ||
            !applySetting(line.substr(0, equals), line.substr(equals + 1), m)) {
            return false;
        }
    }
    return true;
}

std::string controlText(const Medium& m) {
    const Settings& s = m.settings;
    char text[768];
    std::snprintf(
        text, sizeof text,
        "latency_us=%" PRIu64 "\nbandwidth=%" PRIu64 "\npull=%d\nreads=%" PRIu64 "\nwrites=%" PRIu64
        "\nsize=%" PRIu64 "\nclaim=%" PRIu64 "\nbeyond=%s\ncache=%" PRIu64
        "\ncache_beyond=%d\nparallel=%zu\npeak=%" PRIu64 "\npeak_busy=%" PRIu64 "\nwritten=%" PRIu64
        "\nsustained_writes=%" PRIu64 "\nwrite_cache=%" PRId64 "\nsustained_latency_us=%" PRIu64
        "\nsustained_bandwidth=%" PRIu64 "\n",
        s.latencyNs / 1000, s.bandwidth, s.pulled ? 1 : 0, m.reads, m.writes, m.size,
        m.lies.claimed, vorn::medium::beyondName(m.lies.beyond), m.lies.cacheBytes(),
        m.lies.cacheBeyondOnly() ? 1 : 0, m.freeAt.size(), m.peak, m.peakBusy, m.written,
        m.sustainedWrites, s.writeCache == kNone ? int64_t{-1} : static_cast<int64_t>(s.writeCache),
        s.sustainedLatencyNs / 1000, s.sustainedBandwidth);
    return text;
}

uint64_t nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// Sleeps to 100 us before the deadline, then spins: a sleep alone overshoots by the
// scheduler's slack, which would make the service time longer than the one set.
void waitUntil(uint64_t deadline) {
    constexpr uint64_t kSpinNs = 100000;
    const uint64_t now = nowNs();
    if (deadline > now + kSpinNs) {
        const uint64_t sleepUntil = deadline - kSpinNs;
        timespec t{static_cast<time_t>(sleepUntil / 1000000000u),
                   static_cast<long>(sleepUntil % 1000000000u)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
        }
    }
    while (nowNs() < deadline) {
    }
}

uint64_t transferNs(uint64_t bytes, uint64_t bandwidth) {
    return bandwidth == 0 ? 0
                          : static_cast<uint64_t>(static_cast<double>(bytes) * 1e9 /
                                                  static_cast<double>(bandwidth));
}

// A write past the write cache (one that ends beyond its first writeCache bytes since
// mount) takes the sustained time.
bool pastWriteCache(const Settings& s, bool write, uint64_t bytes, uint64_t writtenBefore) {
    return write && s.writeCache != kNone && writtenBefore + bytes > s.writeCache;
}

uint64_t serviceNs(const Settings& s, bool sustained, uint64_t bytes) {
    return sustained ? s.sustainedLatencyNs + transferNs(bytes, s.sustainedBandwidth)
                     : s.latencyNs + transferNs(bytes, s.bandwidth);
}

// When a request arriving now is done: it takes the slot free soonest, and starts when
// that slot is free. The slots keep their own time rather than the moment a thread
// wakes, so a late wake-up delays one answer but never the requests queued behind it.
uint64_t schedule(Medium& m, uint64_t now, uint64_t service) {
    auto slot = std::min_element(m.freeAt.begin(), m.freeAt.end());
    *slot = std::max(now, *slot) + service;
    const uint64_t done = *slot;
    // A slot free later than now is busy from now until then.
    const auto busy = std::count_if(m.freeAt.begin(), m.freeAt.end(),
                                    [now](uint64_t freeAt) { return freeAt > now; });
    m.peakBusy = std::max(m.peakBusy, static_cast<uint64_t>(busy));
    return done;
}

int moveBytes(Medium& m, bool write, char* data, const char* source, size_t bytes, uint64_t at) {
    {
        // The lies change only between requests, so one lock covers a request.
        std::lock_guard<std::mutex> hold(m.lock);
        if (m.lies.lying()) {
            return write ? m.lies.write(m.image, m.size, source, bytes, at)
                         : m.lies.read(m.image, m.size, data, bytes, at);
        }
    }
    if (at >= m.size) {
        return 0;
    }
    const size_t inside = static_cast<size_t>(std::min<uint64_t>(bytes, m.size - at));
    const off_t offset = static_cast<off_t>(at);
    const ssize_t moved =
        write ? pwrite(m.image, source, inside, offset) : pread(m.image, data, inside, offset);
    return moved < 0 ? -errno : static_cast<int>(moved);
}

// A request as the medium serves it: counted, failed as told, served in its time. The
// bytes move first, inside the service time, so the image's own time adds none.
int serve(bool write, char* data, const char* source, size_t bytes, off_t offset) {
    const uint64_t arrived = nowNs();
    Medium& m = g_medium;
    Settings s;
    uint64_t index = 0;
    uint64_t done = 0;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        s = m.settings;
        if (m.reads + m.writes >= s.vanishAt) {
            return -ENODEV;
        }
        index = write ? m.writes++ : m.reads++;
        const bool sustained = pastWriteCache(s, write, bytes, m.written);
        done = schedule(m, arrived, serviceNs(s, sustained, bytes));
        m.written += write ? bytes : 0;
        m.sustainedWrites += sustained ? 1 : 0;
        m.peak = std::max(m.peak, ++m.inFlight);
    }
    const uint64_t at = static_cast<uint64_t>(offset);
    const bool failed = s.pulled || (write ? s.failWrite : s.failRead).touches(at, bytes) ||
                        index >= (write ? s.failWriteAfter : s.failReadAfter);
    const int result = failed ? -EIO : moveBytes(m, write, data, source, bytes, at);
    waitUntil(done);
    std::lock_guard<std::mutex> hold(m.lock);
    --m.inFlight;
    return result;
}

bool isMedium(const char* path) {
    return std::strcmp(path, "/medium") == 0;
}
bool isControl(const char* path) {
    return std::strcmp(path, "/control") == 0;
}

int doGetattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
    } else if (isMedium(path) || isControl(path)) {
        st->st_mode = S_IFREG | 0600;
        st->st_nlink = 1;
        std::lock_guard<std::mutex> hold(g_medium.lock);
        st->st_size =
            isMedium(path) ? static_cast<off_t>(g_medium.lies.reportedSize(g_medium.size)) : 4096;
    } else {
        return -ENOENT;
    }
    return 0;
}

int doReaddir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    for (const char* name : {".", "..", "medium", "control"}) {
        fill(buffer, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    }
    return 0;
}

int doOpen(const char* path, fuse_file_info* fi) {
    if (!isMedium(path) && !isControl(path)) {
        return -ENOENT;
    }
    // Every request reaches the medium: the kernel's page cache never answers.
    fi->direct_io = 1;
    return 0;
}

int doRead(const char* path, char* data, size_t bytes, off_t offset, fuse_file_info*) {
    if (isControl(path)) {
        std::string text;
        {
            std::lock_guard<std::mutex> hold(g_medium.lock);
            text = controlText(g_medium);
        }
        if (static_cast<size_t>(offset) >= text.size()) {
            return 0;
        }
        const size_t n = std::min(bytes, text.size() - static_cast<size_t>(offset));
        std::memcpy(data, text.data() + offset, n);
        return static_cast<int>(n);
    }
    return serve(false, data, nullptr, bytes, offset);
}

int doWrite(const char* path, const char* source, size_t bytes, off_t offset, fuse_file_info*) {
    if (isControl(path)) {
        std::lock_guard<std::mutex> hold(g_medium.lock);
        return applyControl(std::string(source, bytes), g_medium) ? static_cast<int>(bytes)
                                                                  : -EINVAL;
    }
    return serve(true, nullptr, source, bytes, offset);
}

int doTruncate(const char* path, off_t, fuse_file_info*) {
    return isControl(path) || isMedium(path) ? 0 : -ENOENT;
}

// fdatasync on the medium: it has no cache of its own, so a flush takes no service
// time (syncing the image file would time the host's disk); a pulled medium fails it.
int doFsync(const char* path, int, fuse_file_info*) {
    if (!isMedium(path)) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(g_medium.lock);
    if (g_medium.reads + g_medium.writes >= g_medium.settings.vanishAt) {
        return -ENODEV;
    }
    return g_medium.settings.pulled ? -EIO : 0;
}

// Queued transfers (io_uring, async direct I/O) reach a FUSE file system as background
// requests, and the kernel holds back all but max_background of them (12 by default):
// room for the deepest queue a test keeps, so the medium sees every one.
void* doInit(fuse_conn_info* conn, fuse_config*) {
    conn->max_background = 256;
    conn->congestion_threshold = 192;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[1], "--image") != 0) {
        std::fprintf(stderr, "usage: %s --image FILE MOUNTPOINT [FUSE options]\n", argv[0]);
        return 2;
    }
    g_medium.image = open(argv[2], O_RDWR | O_CLOEXEC);
    struct stat st {};
    if (g_medium.image < 0 || fstat(g_medium.image, &st) != 0) {
        std::fprintf(stderr, "%s: cannot open image %s: %s\n", argv[0], argv[2],
                     std::strerror(errno));
        return 1;
    }
    g_medium.size = static_cast<uint64_t>(st.st_size);
    // Sleeps end when asked, not up to 50 us later (the default slack): the threads
    // serving requests inherit it.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    fuse_operations ops{};
    ops.getattr = doGetattr;
    ops.readdir = doReaddir;
    ops.open = doOpen;
    ops.read = doRead;
    ops.write = doWrite;
    ops.truncate = doTruncate;
    ops.fsync = doFsync;
    ops.init = doInit;
    // A thread per queued request (libfuse starts 10 at most unless told), ahead of the
    // caller's options so those still win. An idle limit as high keeps every thread and
    // spares the warning libfuse prints for the unset one.
    std::vector<char*> args{argv[0], const_cast<char*>("-omax_threads=300,max_idle_threads=300")};
    for (int i = 3; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    return fuse_main(static_cast<int>(args.size()), args.data(), &ops, nullptr);
}
