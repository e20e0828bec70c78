// timeline: the picture of an "event.log": every transfer's rate against time, coloured
// by step, zones and failures marked, and the distribution of access times, as SVG.

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "results/ReplacementFile.h"
#include "view/TimelineScene.h"
#if VORN_TIMELINE_PNG
#include "view/render/TimelinePainter.h"
#endif

namespace vorn::cli {
namespace {

constexpr const char* kCommand = "timeline";
constexpr const char* kUsage =
    "usage: qkvorn-cli timeline EVENTLOG --out FILE.svg|FILE.png [--width PIXELS] "
    "[--height PIXELS]";

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int runTimeline(int argc, char** argv) {
    CommandLine line(kCommand, "The picture of an event.log, as SVG or PNG.");
    std::string out;
    uint64_t width = 1200, height = 700;
    std::vector<std::string> rest;
    line.positionals("EVENTLOG", &rest, "the event.log of a run");
    line.text("--out", &out, "the picture to write", "FILE.svg|FILE.png");
    line.number("--width", &width, 20000, "pixels across (default 1200)");
    line.number("--height", &height, 20000, "pixels down (default 700)");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (rest.size() != 1 || !line.given("--out")) {
        return line.usageError(kUsage);
    }
    const bool png = endsWith(out, ".png");
    if (!png && !endsWith(out, ".svg")) {
        return failWith(kCommand, "name the picture FILE.svg or FILE.png", 2);
    }
    if (width < 300 || height < 200) {
        return failWith(kCommand, "a picture needs at least 300 x 200 pixels", 2);
    }
    // A FIFO or device as input would block or never end.
    if (!isRegularFile(rest[0])) {
        return failWith(kCommand, rest[0] + " is not a regular file");
    }
    std::ifstream log(rest[0], std::ios::binary);
    if (!log) {
        return failWith(kCommand, "cannot read " + rest[0]);
    }
    const TimelineModel model = buildTimeline(log);
    if (model.points.empty()) {
        return failWith(kCommand, rest[0] + " holds no transfers");
    }
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (png) {
#if VORN_TIMELINE_PNG
        return writeTimelinePng(model, w, h, out) ? 0 : failWith(kCommand, "cannot write " + out);
#else
        return failWith(kCommand, "this build has no PNG renderer (built without Qt): use .svg");
#endif
    }
    const std::string svg = sceneSvg(timelineScene(model, w, h, 0, model.endSec), w, h);
    ReplacementFile file(out);
    if (!file.reserve() || !file.write(svg) || !file.commit()) {
        return failWith(kCommand, "cannot write " + out + ": " + file.problem());
    }
    return 0;
}

}  // namespace vorn::cli
