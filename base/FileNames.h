#pragma once

namespace vorn {

// The files the program reads and writes by name, in its working folder.
inline constexpr const char* kRunResultFile = "temp.qkt";  // the last run's result
inline constexpr const char* kEventLogFile = "event.log";  // the last run's transfers
inline constexpr const char* kDemoImage = "demo.img";      // run --demo's medium

// The diagnostic logs, one per user function.
inline constexpr const char* kStartLog = "vorninit.log";
inline constexpr const char* kRefreshLog = "vornrefresh.log";
inline constexpr const char* kTestLog = "vorntest.log";
inline constexpr const char* kSaveLog = "vornsave.log";
inline constexpr const char* kInternetLog = "vorninternet.log";

}  // namespace vorn
