// Runs a handler of the dialog so that an error it raises goes to the toolkit's standard error report
// instead of through the event loop; the program goes on.
#pragma once

#include "platform/ui/Application.h"

#include <exception>
#include <utility>

namespace app {

template <class F>
void GuardedCall(F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        if (auto* application = platform::ui::TApplication::Instance())
            application->HandleException(std::current_exception());
    }
}

} // namespace app
