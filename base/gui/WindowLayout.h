#pragma once

#include <span>

namespace vorn {

// A window's fixed client size and the object names of its controls in tab order
// (empty: the order the controls were created in). The windows set themselves up from
// these rows and the window tests check against them, so a size lives in one place.
struct WindowLayout {
    int width = 0;
    int height = 0;
    std::span<const char* const> tabOrder;
};

namespace layout {

inline constexpr const char* kMainTabs[] = {"cbDevice", "BtnRefresh", "BtnRunTest",
                                            "btGraph",  "btUpdates",  "btHelp",
                                            "cbWrite",  "cbCapacity", "cbExtended"};
inline constexpr const char* kSelectTabs[] = {"cbSource", "cbSort",   "cbSort2",
                                              "lvData",   "btSelect", "btCancel"};
inline constexpr const char* kDetailsTabs[] = {"btDone",   "btCancel",  "cbBus",    "edProc",
                                               "edReader", "memSystem", "memNotes", "edEmail",
                                               "btWhy",    "edDevice"};

inline constexpr WindowLayout kMain{421, 271, kMainTabs};
inline constexpr WindowLayout kProgress{340, 250, {}};
inline constexpr WindowLayout kChart{792, 556, {}};
inline constexpr WindowLayout kSelect{613, 566, kSelectTabs};
inline constexpr WindowLayout kDetails{573, 550, kDetailsTabs};
inline constexpr WindowLayout kNotice{335, 135, {}};

}  // namespace layout
}  // namespace vorn
