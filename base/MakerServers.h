#pragma once

namespace vorn {

// The maker's servers. Placeholders under a reserved domain until the maker has real
// ones; the network code takes its endpoints as arguments with these defaults so tests
// can point it at servers of their own.
inline constexpr const char* kMakerWebSite = "http://www.velto.example";
inline constexpr const char* kUpdatePath = "/qkvorn/%s";
inline constexpr const char* kHelpPath = "/Public/index.php?request=QkVornHelp";
inline constexpr const char* kMailServer = "mail.velto.example";
inline constexpr int kMailPort = 25;
inline constexpr const char* kResultsMailbox = "results@velto.example";

}  // namespace vorn
