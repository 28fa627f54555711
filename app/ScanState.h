// The working state of the dialog's scan, created with the dialog and released with it: the port names,
// the sentence being assembled, the classification of the current attempt and the found-port records.
#pragma once

#include "app/SentenceAssembler.h"
#include "app/SentenceClassifier.h"
#include "app/Values.h"
#include "platform/Text.h"

#include <vector>

namespace app {

struct TScanState {
    std::vector<platform::Text> PortNames; // in enumeration order
    TSentenceAssembler Sentence;      // SentenceBuffer
    TSentenceClassifier Classifier;   // RecognisedTypes, UnusedTypes, KnownTypes, Tokenizer, CheckTwoDecimalRMC
    std::vector<TValues> FoundPorts;  // in the order the ports were found
    bool Waiting = false;             // a receive window is open
    bool DataSeen = false;            // a recognised sentence arrived in this window
};

} // namespace app
