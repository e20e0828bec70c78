// libFuzzer target over what the maker reads from a mail server: the MIME reader and
// the verdict on an upload, on arbitrary bytes. An accepted verdict must hold a result
// that passes the result checks on its own; anything else is a finding.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "maker/MailMessage.h"
#include "maker/UploadVerdict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const vorn::MailMessage mail = vorn::parseMailMessage(bytes);
    if (mail.parts.size() > vorn::kMaxMailParts) {
        std::abort();
    }
    const vorn::UploadVerdict verdict = vorn::judgeUpload(bytes);
    if (verdict.accepted &&
        (!vorn::resultProblem(verdict.result).empty() || !verdict.reason.empty())) {
        std::abort();
    }
    if (!verdict.accepted && (verdict.reason.empty() || !verdict.result.empty())) {
        std::abort();
    }
    return 0;
}
