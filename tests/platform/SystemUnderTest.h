// Which system the tests run on, where a test must not be judged by an emulation's departures.
#pragma once

// True when the tests run under Wine (ntdll has wine_get_version); always false on POSIX.
bool RunningUnderWine();
