#pragma once

namespace vorn::cli {

// Each command takes the arguments after its own name and returns the exit code.
int runDump(int argc, char** argv);
int runList(int argc, char** argv);
int runWatch(int argc, char** argv);
int runInfo(int argc, char** argv);
int runSysinfo(int argc, char** argv);
int runBench(int argc, char** argv);
int runAccess(int argc, char** argv);
int runShow(int argc, char** argv);
int runRun(int argc, char** argv);
int runCapacity(int argc, char** argv);
int runUpdate(int argc, char** argv);
int runUpload(int argc, char** argv);
int runLibrary(int argc, char** argv);
int runIngest(int argc, char** argv);
int runPublish(int argc, char** argv);
int runReport(int argc, char** argv);
int runTimeline(int argc, char** argv);

}  // namespace vorn::cli
