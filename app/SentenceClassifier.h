// Sorting received sentences by type into recognised, known but unused, and ignored; and noting an RMC
// sentence with a low-precision (or empty) position. The check dialog owns one and calls it for every
// complete sentence of a receive window.
#pragma once

#include "app/Token_cls.h"
#include "platform/Text.h"
#include "platform/TextList.h"

class TSentenceClassifier {
public:
    // Fills KnownTypes.
    TSentenceClassifier();

    // Takes the sentence as received (leading '$' or '!', line end included). True when its type is
    // recognised; the type has then been entered in RecognisedTypes.
    bool ClassifySentence(platform::TextView sentence);

    // The per-attempt state back to empty: RecognisedTypes, UnusedTypes and CheckTwoDecimalRMC.
    void ResetAttempt();

    platform::TTextList RecognisedTypes; // recognised types of this attempt, each once
    platform::TTextList UnusedTypes;     // known but unused types of this attempt, each once
    platform::TTextList KnownTypes;      // the fixed table of 56 types
    TGPSToken Tokenizer;
    bool CheckTwoDecimalRMC = false;

private:
    // Sorts the list, looks the type up, and appends it at the end when it is not there.
    static void Enter(platform::TTextList& list, platform::TextView type);
};
