#include "net/MailText.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace vorn {
namespace {

// Room of an encoded word's text: 75 characters less "=?UTF-8?B?" and "?=", as base64
// of whole groups of three bytes.
constexpr size_t kWordBytes = 45;

bool isPlainAscii(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte > '~') {
            return false;
        }
    }
    return true;
}

// Length of the UTF-8 character at `at`, or 0 when the bytes there are none.
size_t characterLength(const std::string& text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// The text as whole UTF-8 characters, each with its length; broken bytes become "?".
std::string cleanUtf8(const std::string& text) {
    std::string clean;
    for (size_t at = 0; at < text.size();) {
        const size_t length = characterLength(text, at);
        const bool control = length == 1 && static_cast<unsigned char>(text[at]) < ' ';
        clean += length == 0 || control ? std::string("?") : text.substr(at, length);
        at += length == 0 ? 1 : length;
    }
    return clean;
}

std::string base64(const std::string& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        const size_t have = std::min<size_t>(3, bytes.size() - i);
        for (size_t k = 1; k < have; ++k) {
            group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + k]))
                     << (16 - 8 * k);
        }
        for (size_t k = 0; k < 4; ++k) {
            out += k <= have ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return out;
}

// The local address a datagram to `server` would leave from; no packet is sent.
std::string localAddressTowards(const std::string& server, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(server.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return {};
    }
    std::string literal;
    const int fd = socket(found->ai_family, SOCK_DGRAM, 0);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        char text[INET6_ADDRSTRLEN] = {};
        if (local.ss_family == AF_INET &&
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&local)->sin_addr, text,
                      sizeof text) != nullptr) {
            literal = std::string("[") + text + "]";
        } else if (local.ss_family == AF_INET6 &&
                   inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr, text,
                             sizeof text) != nullptr) {
            literal = std::string("[IPv6:") + text + "]";
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    freeaddrinfo(found);
    return literal;
}

bool isQualified(const std::string& name) {
    return name.find('.') != std::string::npos && name.rfind("localhost", 0) != 0 &&
           name.back() != '.';
}

}  // namespace

std::string encodedHeaderText(const std::string& text) {
    if (isPlainAscii(text)) {
        return text;
    }
    const std::string clean = cleanUtf8(text);
    std::string encoded;
    for (size_t at = 0; at < clean.size();) {
        size_t end = at;
        while (end < clean.size() && end - at + characterLength(clean, end) <= kWordBytes) {
            end += characterLength(clean, end);
        }
        encoded += (encoded.empty() ? "" : " ") + std::string("=?UTF-8?B?") +
                   base64(clean.substr(at, end - at)) + "?=";
        at = end;
    }
    return encoded;
}

std::string percentEncoded(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            out += c;
        } else if (c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            out += hex;
        }
    }
    return out;
}

std::string attachmentDisposition(const std::string& name) {
    if (isPlainAscii(name)) {
        return "Content-Disposition: attachment; filename=\"" + name + "\"";
    }
    return "Content-Disposition: attachment; filename*=UTF-8''" + percentEncoded(cleanUtf8(name));
}

std::string newMessageId(const std::string& domain) {
    std::random_device random;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    char id[96];
    std::snprintf(id, sizeof id, "<%llx.%08x%08x@",
                  static_cast<unsigned long long>(
                      std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
                  random(), random());
    return id + domain + ">";
}

std::string fullyQualifiedHostName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return {};
    }
    if (isQualified(host)) {
        return host;
    }
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0) {
        return {};
    }
    const std::string canonical = found->ai_canonname != nullptr ? found->ai_canonname : "";
    freeaddrinfo(found);
    return isQualified(canonical) ? canonical : std::string();
}

std::string greetingName(const std::string& server, int port) {
    const std::string name = fullyQualifiedHostName();
    if (!name.empty()) {
        return name;
    }
    const std::string literal = localAddressTowards(server, port);
    return literal.empty() ? "[127.0.0.1]" : literal;
}

}  // namespace vorn
