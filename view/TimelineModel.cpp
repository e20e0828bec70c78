#include "view/TimelineModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace vorn {
namespace {

constexpr std::string_view kNotePrefix = ",,,,,,,";
constexpr size_t kMaxLineBytes = 4096;
constexpr uint64_t kLargestSector = 65536;

// The block sizes of the zoned tests, smallest and largest, and how many doublings
// lie between them.
constexpr uint32_t kSmallestBlock = readTests.front().blockSize;
constexpr uint32_t kLargestBlock = readTests.back().blockSize;
constexpr int doublings(uint32_t from, uint32_t to) {
    int n = 0;
    for (uint32_t b = to; b > from; b /= 2) {
        ++n;
    }
    return n;
}
constexpr int kShades = doublings(kSmallestBlock, kLargestBlock);
static_assert(kShades > 0, "the zoned tests have more than one block size");

// Read tests in blues, write tests in reds, lighter for smaller blocks: the smallest
// block gets the lightest shade, the largest the base colour.
uint32_t shade(uint32_t base, uint32_t blockSize) {
    int step = 0;
    for (uint32_t b = blockSize; b > kSmallestBlock && step < kShades; b /= 2) {
        ++step;
    }
    const uint32_t lift = static_cast<uint32_t>((kShades - step) * 110 / kShades);
    auto channel = [&](int shift) {
        const uint32_t value = ((base >> shift) & 0xFF) + lift;
        return std::min<uint32_t>(value, 0xFF) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (out.size() < 9) {
        const size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return out;
}

double number(std::string_view text) {
    return std::strtod(std::string(text).c_str(), nullptr);
}

// A row names sectors, not bytes: the sector size is the power of two nearest to what
// its rate, duration and count make of one sector (512 when they make nothing).
uint64_t sectorBytes(double rate, double durationMs, uint64_t count) {
    const double perSector = count == 0 ? 0 : rate * durationMs / 1000 / count;
    uint64_t size = 512;
    while (size < kLargestSector && perSector > static_cast<double>(size) * 1.41) {
        size *= 2;
    }
    return size;
}

bool isSummed(std::string_view event) {
    return event == "WIPE" || event == "READS" || event == "WRITES";
}

// Reads rows into the model; notes open and close steps.
class Reader {
public:
    explicit Reader(TimelineModel& model) : model_(model) {
        model_.steps.push_back({"", StepKind::Other, stepColor(StepKind::Other, 0)});
    }

    void note(const std::string& text) {
        if (text == "START -" || text == "END -") {
            pending_ = text == "START -" ? Pending::Start : Pending::End;
            return;
        }
        if (pending_ == Pending::Start) {
            const RunStep* known = stepNamed(text);
            const StepKind kind = known != nullptr ? known->kind : StepKind::Other;
            const uint32_t blockSize = known != nullptr ? known->blockSize : 0;
            model_.steps.push_back({text, kind, stepColor(kind, blockSize)});
            current_ = static_cast<uint32_t>(model_.steps.size() - 1);
            nextSector_ = UINT64_MAX;
        } else if (pending_ == Pending::End) {
            current_ = 0;
            wipeDone_ = !wipeSpans_.empty();  // only the first wipe
        }
        pending_ = Pending::None;
    }

    void transfer(const std::vector<std::string_view>& f) {
        TimelinePoint point;
        point.timeSec = number(f[3]);
        point.durationMs = number(f[4]);
        point.failed = f[2] == "NO";
        point.rate = point.failed ? 0 : number(f[7]);
        point.step = current_;
        point.summed = isSummed(f[0]);
        point.write = f[0] == "WRITE" || f[0] == "WIPE" || f[0] == "WRITES";
        const uint64_t sector = std::strtoull(std::string(f[5]).c_str(), nullptr, 10);
        const uint64_t count = std::strtoull(std::string(f[6]).c_str(), nullptr, 10);
        if (f[0] == "WIPE" && !point.failed) {
            noteWipe(point, sector, count);
        }
        // A flush moves no sector: the zone goes on after it.
        if (f[0] != "FLUSH") {
            markZone(point, sector);
            nextSector_ = sector + count;
        }
        model_.points.push_back(point);
        model_.endSec = std::max(model_.endSec, point.timeSec + point.durationMs / 1000);
        model_.maxRate = std::max(model_.maxRate, point.rate);
    }

    // The first wipe's curve, and when its cache was full: the end of its last row.
    void finish() {
        model_.wipeCurve = analyseWriteCurve(wipeSpans_);
        if (!model_.wipeCurve || model_.wipeCurve->cacheBytes == 0) {
            return;
        }
        uint64_t written = 0;
        for (size_t i = 0; i < wipeSpans_.size(); ++i) {
            written += wipeSpans_[i].bytes;
            if (written >= model_.wipeCurve->cacheBytes) {
                model_.cacheEndSec = wipeStarts_[i] + wipeSpans_[i].seconds;
                return;
            }
        }
    }

private:
    enum class Pending { None, Start, End };

    void noteWipe(const TimelinePoint& point, uint64_t sector, uint64_t count) {
        if (wipeDone_) {
            return;
        }
        const uint64_t size = sectorBytes(point.rate, point.durationMs, count);
        wipeSpans_.push_back({sector * size, count * size, point.durationMs / 1000});
        wipeStarts_.push_back(point.timeSec);
    }

    // A zoned test moves on to its next zone where the sectors stop following on.
    void markZone(const TimelinePoint& point, uint64_t sector) {
        if (isZoned(model_.steps[current_].kind) && nextSector_ != UINT64_MAX &&
            sector != nextSector_) {
            model_.zoneStarts.push_back(point.timeSec);
        }
    }

    TimelineModel& model_;
    Pending pending_ = Pending::None;
    uint32_t current_ = 0;
    uint64_t nextSector_ = UINT64_MAX;
    std::vector<WriteSpan> wipeSpans_;
    std::vector<double> wipeStarts_;
    bool wipeDone_ = false;
};

bool isTransfer(std::string_view event) {
    return event == "READ" || event == "WRITE" || event == "FLUSH" || isSummed(event);
}

}  // namespace

uint32_t stepColor(StepKind kind, uint32_t blockSize) {
    switch (kind) {
        case StepKind::FlashCheck:
            return 0x8E44AD;
        case StepKind::Capacity:
            return 0x16A085;
        case StepKind::Wipe:
            return 0x7F8C8D;
        case StepKind::Read:
            return shade(0x1F4E9A, blockSize);
        case StepKind::Write:
            return shade(0xA61B1B, blockSize);
        case StepKind::RandomAccess:
            return 0x2E8B57;
        case StepKind::SequentialAccess:
            return 0xC88A00;
        case StepKind::ExtendedRead:
            return 0x2980B9;
        case StepKind::ExtendedWrite:
            return 0xD35400;
        case StepKind::Other:
            break;
    }
    return 0x404040;
}

const char* stepCaption(StepKind kind) {
    switch (kind) {
        case StepKind::FlashCheck:
        case StepKind::Capacity:
        case StepKind::Wipe:
        case StepKind::RandomAccess:
        case StepKind::SequentialAccess:
            return stepOf(kind).rowLabel;
        case StepKind::Read:
            return "Read Test";
        case StepKind::Write:
            return "Write Test";
        case StepKind::ExtendedRead:
            return "Extended Read";
        case StepKind::ExtendedWrite:
            return "Extended Write";
        case StepKind::Other:
            break;
    }
    return "other";
}

TimelineModel buildTimeline(std::istream& csv, size_t rowLimit) {
    TimelineModel model;
    Reader reader(model);
    std::string line;
    while (std::getline(csv, line)) {
        if (line.size() > kMaxLineBytes) {
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(kNotePrefix, 0) == 0) {
            model.endedEarly = model.endedEarly || line.rfind(",,,,,,,TEST ERROR", 0) == 0;
            reader.note(line.substr(kNotePrefix.size()));
            continue;
        }
        if (line.rfind("** Log has been truncated", 0) == 0) {
            model.logTruncated = true;
            continue;
        }
        const std::vector<std::string_view> f = fields(line);
        if (f.size() < 8 || !isTransfer(f[0])) {
            continue;
        }
        if (model.points.size() >= rowLimit) {
            model.rowLimitReached = true;
            break;
        }
        reader.transfer(f);
    }
    reader.finish();
    std::vector<double> rates;
    rates.reserve(model.points.size());
    for (const TimelinePoint& p : model.points) {
        if (!p.failed) {
            rates.push_back(p.rate);
        }
    }
    if (!rates.empty()) {
        const size_t at = std::min(rates.size() - 1, rates.size() * 995 / 1000);
        std::nth_element(rates.begin(), rates.begin() + static_cast<long>(at), rates.end());
        model.scaleRate = rates[at];
    }
    return model;
}

namespace {

// A summed row's duration is that of many accesses: no access time.
bool isAccessTime(const TimelineModel& model, const TimelinePoint& p) {
    return !p.failed && !p.summed && isAccess(model.steps[p.step].kind);
}

}  // namespace

double slowestAccessMs(const TimelineModel& model) {
    double slowest = 0;
    for (const TimelinePoint& p : model.points) {
        if (isAccessTime(model, p)) {
            slowest = std::max(slowest, p.durationMs);
        }
    }
    return slowest;
}

double accessPercentileMs(const TimelineModel& model, double share) {
    std::vector<double> times;
    for (const TimelinePoint& p : model.points) {
        if (isAccessTime(model, p)) {
            times.push_back(p.durationMs);
        }
    }
    if (times.empty()) {
        return 0;
    }
    const double at = std::clamp(share, 0.0, 1.0) * static_cast<double>(times.size() - 1);
    const auto nth = times.begin() + static_cast<long>(std::ceil(at));
    std::nth_element(times.begin(), nth, times.end());
    return *nth;
}

std::string stepDisplayName(const std::string& logName) {
    const RunStep* step = stepNamed(logName);
    return step != nullptr ? step->rowLabel : logName;
}

AccessHistogram accessHistogram(const TimelineModel& model, size_t bins, double topMs) {
    AccessHistogram histogram;
    const double slowest = slowestAccessMs(model);
    if (slowest <= 0 || bins == 0) {
        return histogram;
    }
    histogram.binMs = (topMs > 0 ? topMs : slowest) / static_cast<double>(bins);
    histogram.random.assign(bins, 0);
    histogram.sequential.assign(bins, 0);
    for (const TimelinePoint& p : model.points) {
        const StepKind kind = model.steps[p.step].kind;
        if (!isAccessTime(model, p)) {
            continue;
        }
        const double at = p.durationMs / histogram.binMs;
        histogram.beyond += at > static_cast<double>(bins) ? 1 : 0;
        const size_t bin = std::min(bins - 1, static_cast<size_t>(at));
        ++(kind == StepKind::RandomAccess ? histogram.random : histogram.sequential)[bin];
    }
    return histogram;
}

}  // namespace vorn
