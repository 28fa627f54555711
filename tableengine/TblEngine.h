// The engine component, a view of the one engine instance.
#pragma once

#include "tableengine/TblEngineInstance.h"

namespace tableengine {

// The engine component: every property reads and writes the instance.
class TTblEngine {
public:
    bool Active() const { return TTblEngineInstance::Instance().Active(); }
    void SetActive(bool active) { TTblEngineInstance::Instance().SetActive(active); }
    TEngineSettings& Settings() { return TTblEngineInstance::Instance().Settings; }
};

} // namespace tableengine
