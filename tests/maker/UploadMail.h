#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/Collections.h"
#include "results/LibraryWriter.h"
#include "support/TempDir.h"

// Messages shaped as the program's upload sends them (multipart/mixed, a text part,
// then base64 file parts with their disposition), and the result files they carry.

namespace vorn::test {

inline std::string base64Lines(const std::string& bytes, size_t perLine = 76) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const auto at = [&](size_t k) {
            return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u;
        };
        const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        const size_t count = std::min<size_t>(3, bytes.size() - i);
        for (size_t k = 0; k < 4; ++k) {
            text += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
        }
        if ((column += 4) >= perLine) {
            text += "\r\n";
            column = 0;
        }
    }
    return column == 0 ? text : text + "\r\n";
}

struct FilePart {
    std::string disposition;  // the whole Content-Disposition value
    std::string bytes;
};

inline FilePart namedFile(const std::string& name, const std::string& bytes) {
    return {"attachment; filename=\"" + name + "\"", bytes};
}

// One upload message with CRLF line ends; `lf` gives LF line ends as a Maildir
// delivery agent may store it.
inline std::string uploadMessage(const std::vector<FilePart>& files, bool lf = false,
                                 const std::string& subject = "File: t.qkc Version: 1.0.0.1") {
    const std::string boundary = "------------------------864395697a70409b";
    std::string mail =
        "Return-Path: <results@velto.example>\r\n"
        "Received: from client (localhost [127.0.0.1])\r\n"
        "\tby mail.velto.example; Wed, 09 Dec 2026 07:55:26 +0000\r\n"
        "Content-Type: multipart/mixed; boundary=" +
        boundary +
        "\r\nMime-Version: 1.0\r\nFrom: results@velto.example\r\n"
        "Subject: " +
        subject + "\r\n\r\n--" + boundary +
        "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        "See attachements.\r\n\r\n";
    for (const FilePart& file : files) {
        mail += "--" + boundary +
                "\r\nContent-Type: application/octet-stream\r\n"
                "Content-Transfer-Encoding: base64\r\nContent-Disposition: " +
                file.disposition + "\r\n\r\n" + base64Lines(file.bytes);
    }
    mail += "--" + boundary + "--\r\n";
    if (lf) {
        std::string plain;
        for (const char c : mail) {
            if (c != '\r') {
                plain += c;
            }
        }
        return plain;
    }
    return mail;
}

// A sound result as a run saves it: the version, the drive identification and a
// data entry of `dataBytes` bytes.
inline std::string resultFile(const std::string& drive = "Stick 16GB", size_t dataBytes = 64) {
    TempDir scratch;
    const std::string path = scratch.file("r.qkc");
    {
        auto file = createCollection(path.c_str());
        const std::string data(dataBytes, '\x5A');
        EXPECT_TRUE(
            file && file->addEntry("VERSION", "1.0.0.1", 0, nullptr) &&
            file->addEntry("DRIVEID", drive.c_str(), 0, nullptr) &&
            file->addEntry("QKCR2", "0,1,2,2048", static_cast<uint32_t>(data.size()), data.data()));
    }
    return scratch.read("r.qkc");
}

inline std::string libraryFile() {
    TempDir scratch;
    const std::string member = scratch.write("m.qkc", resultFile());
    std::vector<std::string> problems;
    EXPECT_TRUE(writeLibrary(scratch.file("l.qkl"), {member}, &problems));
    return scratch.read("l.qkl");
}

// The whole upload of `result` with a test log.
inline std::string goodUpload(const std::string& result, bool lf = false) {
    return uploadMessage(
        {namedFile("t.qkc", result), namedFile("vorntest.log", "START -\nEND -\n")}, lf);
}

}  // namespace vorn::test
