#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace vorn::test {

// A listening socket on 127.0.0.1 and a free port; it never accepts, so a client
// connects and then hears nothing (a stalled server). Closed, its port is a closed
// port (an unreachable server).
class LoopbackListener {
public:
    LoopbackListener() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd_, 4);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() { close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

inline int freeLoopbackPort() {
    return LoopbackListener().port();
}

inline bool acceptsOn(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A server program on a free loopback port, started with its output silenced and
// stopped (SIGTERM, then reaped) with the object. ready() is false when it never
// came to accept within ten seconds.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& argv) {
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool waitReady(int port) const {
        for (int tries = 0; pid_ > 0 && tries < 200; ++tries) {
            if (acceptsOn(port)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    pid_t pid_ = -1;
};

// Python's file server on `folder`: "/qkvorn/NAME" is folder/qkvorn/NAME.
class HttpServer {
public:
    explicit HttpServer(const std::string& folder)
        : port_(freeLoopbackPort()),
          process_({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1",
                    std::to_string(port_), "--directory", folder}),
          ready_(process_.waitReady(port_)) {}
    bool ready() const { return ready_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    int port_;
    ServerProcess process_;
    bool ready_;
};

// aiosmtpd storing each message it takes as message-N.txt in a folder: the envelope,
// From, To and Subject, and one "part: TYPE FILENAME" line per part in order, each
// part's decoded bytes beside it as message-N.part-K. With `refuse` it answers the
// message with 550 and stores nothing.
class SmtpServer {
public:
    SmtpServer(const TempDir& folder, bool refuse)
        : port_(freeLoopbackPort()),
          script_(folder.write("smtp_store.py", kScript)),
          process_({"/usr/bin/python3", script_, std::to_string(port_), folder.path().string(),
                    refuse ? "refuse" : "store"}),
          ready_(process_.waitReady(port_)) {}
    bool ready() const { return ready_; }
    int port() const { return port_; }

private:
    static constexpr const char* kScript = R"(import email, email.policy, os, sys, time
from aiosmtpd.controller import Controller
port, folder, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]
class Store:
    count = 0
    async def handle_DATA(self, server, session, envelope):
        if mode == 'refuse':
            return '550 Message refused'
        Store.count += 1
        base = os.path.join(folder, 'message-%d' % Store.count)
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        lines = ['envelope-from: ' + envelope.mail_from,
                 'envelope-to: ' + ','.join(envelope.rcpt_tos)]
        lines += ['%s: %s' % (key, message.get(key, '')) for key in ('From', 'To', 'Subject')]
        parts = [part for part in message.walk() if not part.is_multipart()]
        for index, part in enumerate(parts):
            lines.append('part: %s %s' % (part.get_content_type(), part.get_filename()))
            with open('%s.part-%d' % (base, index), 'wb') as out:
                out.write(part.get_payload(decode=True))
        with open(base + '.tmp', 'w') as out:
            out.write('\n'.join(lines) + '\n')
        os.rename(base + '.tmp', base + '.txt')
        return '250 OK'
Controller(Store(), hostname='127.0.0.1', port=port).start()
while True:
    time.sleep(3600)
)";
    int port_;
    std::string script_;
    ServerProcess process_;
    bool ready_;
};

}  // namespace vorn::test
