#pragma once

#include "BuildInfo.h"

namespace vorn {

// The maker's servers. Placeholders under a reserved domain until the maker has real
// ones; the network code takes its endpoints as arguments with these defaults so tests
// can point it at servers of their own.
inline constexpr const char* kMakerWebSite = "http://www.velto.example";
inline constexpr const char* kUpdatePath = "/qkvorn/%s";
inline constexpr const char* kHelpPath = "/Public/index.php?request=QkVornHelp";
inline constexpr const char* kMailServer = "mail.velto.example";
// Port 25 unless the build names another (587 for a submission server), and whether
// results may only travel encrypted: both build options (VORN_MAIL_PORT,
// VORN_MAIL_REQUIRE_TLS).
inline constexpr int kMailPort = VORN_MAIL_PORT;
inline constexpr bool kMailRequireTls = VORN_MAIL_REQUIRE_TLS != 0;
inline constexpr const char* kResultsMailbox = "results@velto.example";

}  // namespace vorn
