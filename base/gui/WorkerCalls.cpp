#include "base/gui/WorkerCalls.h"

#include <QMetaObject>
#include <QThread>
#include <memory>
#include <utility>

namespace vorn {

// InterfaceCalls ----------------------------------------------------------------

bool InterfaceCalls::wait(const std::function<void()>& call) {
    if (QThread::currentThread() == context_.thread()) {
        call();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    // The queued call runs only while the context lives, and the context's owner
    // abandons (waking the worker) before it goes: `call` is still on the worker's stack.
    QMetaObject::invokeMethod(
        &context_,
        [this, done, &call] {
            call();
            const std::lock_guard lock(mutex_);
            *done = true;
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return *done || abandoned_; });
    return *done;
}

void InterfaceCalls::post(QObject& receiver, std::function<void()> call) {
    QMetaObject::invokeMethod(&receiver, std::move(call), Qt::QueuedConnection);
}

void InterfaceCalls::abandon() {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    answered_.notify_all();
}

// WorkerDialogs -----------------------------------------------------------------

void WorkerDialogs::error(const std::string& text) {
    calls_.wait([&] { dialogs_.error(text); });
}

void WorkerDialogs::warning(const std::string& text) {
    calls_.wait([&] { dialogs_.warning(text); });
}

void WorkerDialogs::information(const std::string& text) {
    calls_.wait([&] { dialogs_.information(text); });
}

bool WorkerDialogs::destructiveQuestion(const std::string& text, const std::string& drive) {
    bool yes = false;
    calls_.wait([&] { yes = dialogs_.destructiveQuestion(text, drive); });
    return yes;
}

bool WorkerDialogs::question(const std::string& text) {
    bool yes = false;
    calls_.wait([&] { yes = dialogs_.question(text); });
    return yes;
}

void WorkerDialogs::plain(const std::string& caption, const std::string& text) {
    calls_.wait([&] { dialogs_.plain(caption, text); });
}

std::string WorkerDialogs::saveFileName(const std::string& proposed) {
    std::string chosen;
    calls_.wait([&] { chosen = dialogs_.saveFileName(proposed); });
    return chosen;
}

}  // namespace vorn
