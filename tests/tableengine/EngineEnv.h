// An engine with one session and one open directory, released in reverse order.
#pragma once

#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataSession.h"

#include <functional>
#include <memory>
#include <string>

namespace fixture {

inline tableengine::TEngineSettings FastSettings()
{
    tableengine::TEngineSettings s;
    s.TableReadLockRetryCount = 20; // fail within tens of milliseconds in the tests that expect a refusal
    s.TableWriteLockRetryCount = 20;
    return s;
}

struct EngineEnv {
    explicit EngineEnv(const std::string& path, const tableengine::TEngineSettings& settings = FastSettings())
    {
        Engine.Initialize(settings);
        Session = &Engine.StartDataSession("Default");
        Directory = &Session->OpenDataDirectory("Test", path, false);
    }
    ~EngineEnv()
    {
        Session->CloseDataDirectory(*Directory);
        Engine.StopDataSession(*Session);
    }
    EngineEnv(const EngineEnv&) = delete;
    EngineEnv& operator=(const EngineEnv&) = delete;

    std::unique_ptr<tableengine::TDataCursor> Open(const std::string& table, bool exclusive = false)
    {
        auto c = std::make_unique<tableengine::TDataCursor>(*Directory, table, exclusive, false);
        c->OpenCursor();
        return c;
    }

    tableengine::TDataEngine Engine;
    tableengine::TDataSession* Session = nullptr;
    tableengine::TDataDirectory* Directory = nullptr;
};

// The engine error a call raises (ErrorCode 0 when it raises none).
inline tableengine::ETblEngineError CatchEngineError(const std::function<void()>& f)
{
    try {
        f();
    } catch (const tableengine::ETblEngineError& e) {
        return e;
    }
    tableengine::ETblEngineError none("no error");
    return none;
}

} // namespace fixture
