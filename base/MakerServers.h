#pragma once

#include "BuildInfo.h"

namespace vorn {

// The maker's servers, as the build names them (CMake cache variables VORN_WEB_SITE,
// VORN_UPDATE_PATH, VORN_MAIL_SERVER, VORN_MAIL_PORT, VORN_MAIL_REQUIRE_TLS and
// VORN_RESULTS_MAILBOX). The defaults are placeholders under a reserved domain; the
// network code takes its endpoints as arguments with these defaults so tests can point
// it at servers of their own.
inline constexpr const char* kMakerWebSite = VORN_WEB_SITE;
inline constexpr const char* kUpdatePath = VORN_UPDATE_PATH;
inline constexpr const char* kHelpPath = "/Public/index.php?request=QkVornHelp";
inline constexpr const char* kMailServer = VORN_MAIL_SERVER;
inline constexpr int kMailPort = VORN_MAIL_PORT;
inline constexpr bool kMailRequireTls = VORN_MAIL_REQUIRE_TLS != 0;
inline constexpr const char* kResultsMailbox = VORN_RESULTS_MAILBOX;

}  // namespace vorn
