// The application's standard exception report for errors that must not stop a worker or an Open:
// exceptions from handlers of port events and from OnOpen. The UI installs its message box here;
// by default the message goes to standard error.
#pragma once

#include <exception>
#include <functional>

namespace serial {

using TSerExceptionHandler = std::function<void(const std::exception& E)>;

// Installs the report (an empty function restores the default). Thread-safe.
void SetExceptionHandler(TSerExceptionHandler Handler);

// Reports E through the installed handler; never throws.
void HandleException(const std::exception& E);

} // namespace serial
