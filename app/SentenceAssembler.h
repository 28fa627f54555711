// Assembling sentences from the bytes a port delivers, one byte at a time: '$' and '!' start a sentence
// afresh, a line feed completes it. The buffer is not emptied when a sentence completes, so bytes that
// arrive between a line end and the next '$' or '!' stay with the sentence before.
#pragma once

#include "platform/Text.h"

#include <array>
#include <cstddef>

class TSentenceAssembler {
public:
    // No real sentence comes near this; text beyond it (a stream without line ends or start characters)
    // is dropped so that memory and the work per completed line stay bounded.
    static constexpr size_t MaxSentenceLength = 4096;

    // Decodes bytes with the ANSI code page in force now.
    TSentenceAssembler();

    // Empties the sentence buffer, as every attempt does before its window opens.
    void Clear() { SentenceBuffer.clear(); }

    // Takes one byte. Returns true when it was the line feed that completes a sentence; the reader then
    // stops and leaves further bytes for the next event. The sentence is SentenceBuffer as it stands.
    bool PutByte(unsigned char byte);

    platform::Text SentenceBuffer;

private:
    std::array<char16_t, 256> decode_{}; // each byte decoded on its own
};
