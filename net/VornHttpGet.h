#pragma once

#include <memory>
#include <string>

#include "net/WorkerThread.h"

namespace vorn {

struct HttpGetSettings {
    // A transfer that receives no byte for this many seconds is given up, so a
    // stalled server cannot keep the notice window up for ever.
    long stallSeconds = 60;
};

// One HTTP download into a local file, run on a worker thread while the caller polls.
class I_VornHttpGet {
public:
    // Waits for a transfer still running.
    virtual ~I_VornHttpGet() = default;
    // Fetches `url` into `fileName` (created or emptied). False when no thread could
    // be started; the download then counts as done and failed.
    virtual bool start(const std::string& url, const std::string& fileName) = 0;
    // True once the worker has ended, successfully or not.
    virtual bool isDone() = 0;
    // True when the whole file arrived; read it once isDone answers true.
    virtual bool succeeded() = 0;
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

    const std::string& url() const { return url_; }
    const std::string& fileName() const { return fileName_; }
    const HttpGetSettings& settings() const { return settings_; }

private:
    // Copies of the caller's texts: the worker reads them while the caller waits.
    std::string url_;
    std::string fileName_;
    HttpGetSettings settings_;
    WorkerThread worker_{"HttpGetStartThread"};  // last: joined before the rest goes
};

// A download object, or nullptr when the HTTP library cannot be set up.
std::unique_ptr<I_VornHttpGet> newVornHttpGet(const HttpGetSettings& settings = {});

// The worker thread's job: the transfer, answering its success. Whatever escapes it
// is logged under "HttpGetStartThread" and counts as a failure.
bool HttpGetStartThread(VornHttpGet& get);

// The transfer itself: GET the URL into the file. An error status (404, 500, ...),
// a connection failure and a stall all fail, and a failed download deletes the
// file, so nothing partial is left behind.
bool doGet(VornHttpGet& get);

}  // namespace vorn
