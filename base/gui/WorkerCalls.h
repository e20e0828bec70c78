#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "base/Dialogs.h"

namespace vorn {

// Runs calls on the interface thread (the thread of `context`) for a worker and waits
// until each is done. Once abandoned, a waiting worker goes on at once.
class InterfaceCalls {
public:
    explicit InterfaceCalls(QObject& context) : context_(context) {}
    // Runs `call` there and waits; false when it was abandoned instead. Called on the
    // interface thread itself it just runs.
    bool wait(const std::function<void()>& call);
    // Queues `call` there without waiting (it is dropped when `receiver` goes first).
    static void post(QObject& receiver, std::function<void()> call);
    void abandon();

private:
    QObject& context_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool abandoned_ = false;
};

// The interface thread's boxes, asked from a worker. An abandoned question answers No.
class WorkerDialogs final : public I_Dialogs {
public:
    WorkerDialogs(InterfaceCalls& calls, I_Dialogs& dialogs) : calls_(calls), dialogs_(dialogs) {}
    void error(const std::string& text) override;
    void warning(const std::string& text) override;
    void information(const std::string& text) override;
    bool question(const std::string& text) override;
    bool destructiveQuestion(const std::string& text, const std::string& drive) override;
    void plain(const std::string& caption, const std::string& text) override;
    std::string saveFileName(const std::string& proposed) override;

private:
    InterfaceCalls& calls_;
    I_Dialogs& dialogs_;
};

}  // namespace vorn
