#pragma once

#include <string>

#include "net/SendBenchEmail.h"

namespace vorn {

class I_Dialogs;
class I_NoticeView;

// The maker's web domain as the notice names it: the web site without its scheme.
std::string makerWebDomain();

// The notice while a result is sent: "Sending benchmark data to <server>!", naming
// the maker's web domain for the maker's own mail server and otherwise the server
// the mail goes to.
std::string uploadNoticeText(const MailSettings& settings);

// The sender of an upload: the address the user typed (at most 1023 characters) with
// every blank removed, or the results mailbox when nothing is left.
std::string uploadSender(const std::string& typed, const std::string& mailbox);

// Sends a result file written for the upload, with the two diagnostic logs, to the
// results mailbox while the notice window says so, and reports the outcome in an
// information box; after a failure the box adds a line with what the server answered
// when it answered. With `deleteAfter` the file is deleted afterwards, sent or not.
// A sender holding a line break or angle brackets is refused with a box of its own
// before anything is sent. True when the mail server took the message.
bool uploadResultFile(const std::string& fileName, const std::string& typedAddress,
                      I_Dialogs& dialogs, I_NoticeView& notice, const MailSettings& settings,
                      bool deleteAfter);

}  // namespace vorn
