#pragma once

#include <exception>

namespace vorn {

// The process-wide diagnostic log. At most one log file is open at a time; each
// user operation opens its own by name and closes it when done. Lines written
// while no log is open are dropped.

// Opens (emptying) the named file as the current log, unless one is open already.
void openLog(const char* fileName);

// Closes the current log, if any.
void closeLog();
// True once a log could not be created (or was not a regular file) or a write to
// it failed, so a command can end with an error instead of a lost log.
bool logWriteFailed();

// printf-style; the formatted text (at most 1023 characters) becomes one line.
void logMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "EXCEPTION: <place> <exception class> <message>"
void logException(const char* place, const std::exception& exception);

// "SEH EXCEPTION: <place> <code>" for failures that carry no exception object.
void logUnknownException(const char* place, int code);

}  // namespace vorn
