#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/WorkerThread.h"

namespace vorn {

// Looks at a complete download before it is kept: the file's path and the type the
// server named. Answers why it is refused, or nothing when the file is what it claims
// to be.
using DownloadCheck =
    std::function<std::string(const std::string& path, const std::string& contentType)>;

// Bounds of one download, so no server can fill the disk or hold the program.
struct HttpGetSettings {
    // Slower than lowSpeedBytes per second for stallSeconds in a row: given up (a
    // stalled or dripping server).
    long stallSeconds = 60;
    long lowSpeedBytes = 1024;
    // The whole transfer, connection included, ends after this long.
    long totalSeconds = 3600;
    // A file of more bytes is refused and dropped; 0 means no limit.
    uint64_t maxBytes = 0;
    // Non-zero stops the transfer at its next piece (a cancelling signal's number).
    const std::atomic<int>* cancel = nullptr;
    // Redirections followed at most, each to the same scheme or from http to https.
    long maxRedirects = 3;
    // A refused file is dropped; none given, every complete file is kept.
    DownloadCheck check;
};

// One HTTP download into a local file, run on a worker thread while the caller polls.
class I_VornHttpGet {
public:
    // Waits for a transfer still running.
    virtual ~I_VornHttpGet() = default;
    // Fetches `url` into `fileName`. False when no thread could be started; the
    // download then counts as done and failed.
    virtual bool start(const std::string& url, const std::string& fileName) = 0;
    // True once the worker has ended, successfully or not.
    virtual bool isDone() = 0;
    // True when the whole file arrived; read it once isDone answers true.
    virtual bool succeeded() = 0;
    // Bytes received so far and the size the server announced (0 when unknown).
    virtual uint64_t bytesReceived() { return 0; }
    virtual uint64_t bytesExpected() { return 0; }
    // Why a finished download failed, in a few words; read once isDone answers true.
    virtual std::string failure() { return {}; }
};

class VornHttpGet : public I_VornHttpGet {
public:
    explicit VornHttpGet(const HttpGetSettings& settings = {}) : settings_(settings) {}
    ~VornHttpGet() override { worker_.join(); }
    VornHttpGet(const VornHttpGet&) = delete;
    VornHttpGet& operator=(const VornHttpGet&) = delete;

    bool start(const std::string& url, const std::string& fileName) override;
    bool isDone() override { return worker_.isDone(); }
    bool succeeded() override { return worker_.succeeded(); }
    uint64_t bytesReceived() override { return received_.load(std::memory_order_relaxed); }
    uint64_t bytesExpected() override { return expected_.load(std::memory_order_relaxed); }
    // Written by the worker before it finishes, so it is complete once isDone is true.
    std::string failure() override { return isDone() ? failure_ : std::string(); }

    const std::string& url() const { return url_; }
    const std::string& fileName() const { return fileName_; }
    const HttpGetSettings& settings() const { return settings_; }

    // The worker's side of the progress and the failure.
    void noteProgress(uint64_t received, uint64_t expected) {
        received_.store(received, std::memory_order_relaxed);
        expected_.store(expected, std::memory_order_relaxed);
    }
    void noteFailure(const std::string& why) {
        if (failure_.empty()) {
            failure_ = why;
        }
    }

private:
    // Copies of the caller's texts: the worker reads them while the caller waits.
    std::string url_;
    std::string fileName_;
    HttpGetSettings settings_;
    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> expected_{0};
    std::string failure_;
    WorkerThread worker_{"HttpGetStartThread"};  // last: joined before the rest goes
};

// A download object, or nullptr when the HTTP library cannot be set up.
std::unique_ptr<I_VornHttpGet> newVornHttpGet(const HttpGetSettings& settings = {});

// The worker thread's job: the transfer, answering its success. Whatever escapes it
// is logged under "HttpGetStartThread" and counts as a failure.
bool HttpGetStartThread(VornHttpGet& get);

// The transfer itself: GET the URL into a file beside the target, renamed over it
// once complete and checked. An error status (404, 500, ...), a connection failure, a
// stall, a file over the size limit, the time limit, a cancel, a body sent with a
// Content-Encoding (only identity is asked for) and a refusal of the check all fail,
// and a failed download leaves no file behind.
bool doGet(VornHttpGet& get);

}  // namespace vorn
