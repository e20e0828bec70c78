// timeline: the picture of an "event.log": every transfer's rate against time, coloured
// by step, zones and failures marked, and the distribution of access times, as SVG.

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
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
    ArgParser args(argc, argv);
    std::string out;
    uint64_t width = 1200, height = 700;
    const bool hasOut = args.takeValue("--out", &out);
    args.takeUnsigned("--width", &width, 20000);
    args.takeUnsigned("--height", &height, 20000);
    const std::vector<std::string> rest = args.positionals();
    if (!args.ok() || rest.size() != 1 || !hasOut) {
        return failWith(kCommand, args.ok() ? kUsage : args.error(), 2);
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
