#pragma once

#include <string>

namespace vorn {

// The parts of an e-mail that must be plain ASCII on the wire, and the names the
// client gives itself and its message.

// A header value as it may stand in a header: as given when it is printable ASCII,
// otherwise as RFC 2047 encoded words (UTF-8, base64) of at most 75 characters each,
// never splitting a character. Bytes that are not UTF-8 become "?".
std::string encodedHeaderText(const std::string& text);

// The Content-Disposition header of an attachment: filename="NAME" for a printable
// ASCII name, otherwise the RFC 2231 form filename*=UTF-8''percent-encoded.
std::string attachmentDisposition(const std::string& name);

// A new Message-ID, "<time.random@domain>".
std::string newMessageId(const std::string& domain);

// The machine's fully qualified domain name, or nothing when it has none (a name
// without a dot, or only "localhost").
std::string fullyQualifiedHostName();

// The name the client greets a mail server with: the machine's fully qualified name,
// or else the address literal ("[192.0.2.7]", "[IPv6:2001:db8::7]") of the local
// address that reaches `server`.
std::string greetingName(const std::string& server, int port);

// `text` with every byte outside the URL's unreserved characters as %XX.
std::string percentEncoded(const std::string& text);

}  // namespace vorn
