#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace vorn::test {

inline sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// A socket listening on a free 127.0.0.1 port that never accepts: a client connects
// and hears nothing (a stalled server). Once closed, its port is a closed port.
struct LoopbackListener {
    LoopbackListener() {
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd, 4);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LoopbackListener() { ::close(fd); }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
};

inline bool acceptsOn(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A server program on a free loopback port, its output silenced, stopped (SIGTERM,
// then reaped) with the object. ready() is false when it did not accept within 10 s.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> argv) : port_(LoopbackListener().port) {
        argv.push_back(std::to_string(port_));
        std::vector<char*> args;
        for (std::string& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, args[0], &quiet, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&quiet);
        for (int tries = 0; pid_ > 0 && !ready_ && tries < 200; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ready_ = acceptsOn(port_);
        }
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    bool ready() const { return ready_; }
    int port() const { return port_; }

private:
    int port_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Python's servers end with the test process even when it dies without its
// destructors (SIGTERM once the parent is gone).
#define VORN_DIE_WITH_PARENT "import ctypes, signal; ctypes.CDLL(None).prctl(1, signal.SIGTERM)\n"

// Python's file server ("python3 -m http.server --directory DIR --bind 127.0.0.1 PORT"):
// "/qkvorn/NAME" is folder/qkvorn/NAME.
struct HttpServer : ServerProcess {
    explicit HttpServer(const std::string& folder)
        : ServerProcess({"/usr/bin/python3", "-c",
                         VORN_DIE_WITH_PARENT
                         "import runpy, sys\nsys.argv[0] = 'http.server'\n"
                         "runpy.run_module('http.server', run_name='__main__')",
                         "--directory", folder, "--bind", "127.0.0.1"}) {}
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port()); }
};

// aiosmtpd keeping each message it takes as message-N.txt in a folder: envelope,
// From, To, Subject and one "part: TYPE FILENAME" line per part in order (decoded as
// a mail reader shows them), each part's decoded bytes beside it as message-N.part-K,
// the bytes as received as message-N.eml, and "ehlo: NAME" and "tls: yes|no" in
// message-N.session. Modes: "store"; "refuse" answers 550 to the message;
// "unknown-user" refuses the recipient with 550 5.1.1; "tls-required" wants STARTTLS
// (530 to MAIL) but offers none; "starttls" offers STARTTLS with a self-signed certificate for
// 127.0.0.1, kept as cert.pem in the folder for the client to trust.
struct SmtpServer : ServerProcess {
    SmtpServer(const TempDir& folder, bool refuse)
        : SmtpServer(folder, std::string(refuse ? "refuse" : "store")) {}
    // A mode given as a literal must not be taken for the flag above.
    SmtpServer(const TempDir& folder, const char* mode) : SmtpServer(folder, std::string(mode)) {}
    SmtpServer(const TempDir& folder, const std::string& mode)
        : ServerProcess({"/usr/bin/python3", folder.write("smtp_store.py", kScript),
                         folder.path().string(), mode}) {}
    static constexpr const char* kScript =
        VORN_DIE_WITH_PARENT R"(import email, email.policy, os, ssl, subprocess, sys, time
from aiosmtpd.controller import Controller
folder, mode, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
class Store:
    count = 0
    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if mode == 'tls-required':
            return '530 5.7.0 Must issue a STARTTLS command first'
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return '250 OK'
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if mode == 'unknown-user':
            return '550 5.1.1 <%s>: Recipient address rejected: User unknown' % address
        envelope.rcpt_tos.append(address)
        return '250 OK'
    async def handle_DATA(self, server, session, envelope):
        if mode == 'refuse':
            return '550 Message refused'
        Store.count += 1
        base = os.path.join(folder, 'message-%d' % Store.count)
        with open(base + '.eml', 'wb') as out:
            out.write(envelope.original_content)
        with open(base + '.session', 'w') as out:
            out.write('ehlo: %s\ntls: %s\n' % (session.host_name, 'yes' if session.ssl else 'no'))
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        lines = ['envelope-from: ' + envelope.mail_from,
                 'envelope-to: ' + ','.join(envelope.rcpt_tos)]
        lines += ['%s: %s' % (key, message.get(key, '')) for key in ('From', 'To', 'Subject')]
        parts = [part for part in message.walk() if not part.is_multipart()]
        for index, part in enumerate(parts):
            lines.append('part: %s %s' % (part.get_content_type(), part.get_filename()))
            with open('%s.part-%d' % (base, index), 'wb') as out:
                out.write(part.get_payload(decode=True))
        with open(base + '.tmp', 'w', encoding='utf-8') as out:
            out.write('\n'.join(lines) + '\n')
        os.rename(base + '.tmp', base + '.txt')
        return '250 OK'
options = {}
if mode == 'starttls':
    cert, key = os.path.join(folder, 'cert.pem'), os.path.join(folder, 'key.pem')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '2',
                    '-subj', '/CN=127.0.0.1', '-addext', 'subjectAltName=IP:127.0.0.1',
                    '-keyout', key, '-out', cert], check=True, capture_output=True)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    options['tls_context'] = context
Controller(Store(), hostname='127.0.0.1', port=port, **options).start()
while True:
    time.sleep(3600)
)";
};

// A web server (Python) with the answers a real one gives that Python's file server
// does not. Files of a folder are served as /qkvorn/NAME. Otherwise, by mode:
// "portal" answers every request with a sign-in page (200, HTML); in the other modes
// a missing file is a "not found" page sent with 200 (a soft 404), a name beginning
// "GZ" is sent gzip-compressed with Content-Encoding, a name "R<n>_..." is reached
// through n redirections, and "DOWN.QKL" is redirected to an ftp address. Each
// request is noted in requests.log as "PATH<TAB>User-Agent<TAB>Accept-Encoding".
struct TrickyHttpServer : ServerProcess {
    TrickyHttpServer(const TempDir& folder, const std::string& mode)
        : ServerProcess({"/usr/bin/python3", folder.write("tricky_http.py", kScript),
                         folder.path().string(), mode}) {}
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port()); }
    static constexpr const char* kScript = VORN_DIE_WITH_PARENT R"(import gzip, http.server, os, sys
folder, mode, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
PAGE = b'<!DOCTYPE html>\n<html><body><form>Please sign in</form></body></html>\n'
class Tricky(http.server.BaseHTTPRequestHandler):
    def answer(self, status, body, headers=()):
        self.send_response(status)
        for key, value in headers:
            self.send_header(key, value)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def do_GET(self):
        with open(os.path.join(folder, 'requests.log'), 'a') as log:
            log.write('%s\t%s\t%s\n' % (self.path, self.headers.get('User-Agent'),
                                         self.headers.get('Accept-Encoding')))
        name = self.path.rsplit('/', 1)[-1]
        hops = int(name[1]) if name[:1] == 'R' and name[1:2].isdigit() else 0
        done = int(self.path.split('/')[2]) if self.path.startswith('/hop/') else 0
        if mode == 'portal':
            return self.answer(200, PAGE, [('Content-Type', 'text/html')])
        if name == 'DOWN.QKL':
            return self.answer(302, b'', [('Location', 'ftp://127.0.0.1/DOWN.QKL')])
        if done < hops:
            return self.answer(302, b'', [('Location', '/hop/%d/qkvorn/%s' % (done + 1, name))])
        path = os.path.join(folder, 'qkvorn', name)
        if not os.path.isfile(path):
            return self.answer(200, PAGE, [('Content-Type', 'text/html')])
        body = open(path, 'rb').read()
        if name.startswith('GZ'):
            return self.answer(200, gzip.compress(body), [('Content-Encoding', 'gzip')])
        self.answer(200, body, [('Content-Type', 'application/octet-stream')])
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(('127.0.0.1', port), Tricky).serve_forever()
)";
};

// A hostile web server (Python) answering every file with 200 and then, by mode:
// "endless" bytes without a length, "huge" an announced length of a terabyte,
// "drip" one byte every 0.2 s. With a mode ending in "-list" the update list is
// answered that way; otherwise the list ("updates..." files) is a sound one naming
// BIG.QKL, and the library files get the hostile answer.
struct HostileHttpServer : ServerProcess {
    HostileHttpServer(const TempDir& folder, const std::string& mode)
        : ServerProcess({"/usr/bin/python3", folder.write("hostile_http.py", kScript), mode}) {}
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port()); }
    static constexpr const char* kScript = VORN_DIE_WITH_PARENT R"(import http.server, sys, time
mode, port = sys.argv[1], int(sys.argv[2])
class Hostile(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        is_list = '/updates' in self.path
        how = mode.replace('-list', '') if is_list == mode.endswith('-list') else 'list'
        self.send_response(200)
        if how == 'list':
            body = b'1.0.0.1\nBIG.QKL\n'
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if how == 'huge':
            self.send_header('Content-Length', str(10 ** 12))
        self.end_headers()
        try:
            while True:
                if how == 'drip':
                    self.wfile.write(b'x')
                    self.wfile.flush()
                    time.sleep(0.2)
                else:
                    self.wfile.write(b'x' * 65536)
        except OSError:
            pass
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(('127.0.0.1', port), Hostile).serve_forever()
)";
};

}  // namespace vorn::test
