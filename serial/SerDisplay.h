// A visual control of the serial family that shows a port's state; the component asks it to update at
// the start of every event batch.
#pragma once

#include "serial/SerClasses.h"

namespace serial {

class TSerCustomComm;

class TSerDisplay : public TSerComponent {
public:
    using TSerComponent::TSerComponent;
    virtual void UpdateDisplay(TSerCustomComm& Comm) = 0;
};

} // namespace serial
