#include "app/SentenceAssembler.h"

#include <string>

TSentenceAssembler::TSentenceAssembler()
{
    for (size_t b = 0; b < decode_.size(); ++b) {
        const platform::Text t = platform::AnsiToText(std::string(1, static_cast<char>(b)));
        // A lone byte that is no character of the code page (a lead byte, an undefined one) becomes '?'.
        decode_[b] = t.size() == 1 ? t[0] : u'?';
    }
}

bool TSentenceAssembler::PutByte(unsigned char byte)
{
    if (byte == '$' || byte == '!')
        SentenceBuffer.clear();
    const bool lineFeed = byte == '\n';
    if (SentenceBuffer.size() < MaxSentenceLength)
        SentenceBuffer.push_back(decode_[byte]);
    else if (lineFeed && SentenceBuffer.size() == MaxSentenceLength)
        SentenceBuffer.push_back(u'\n'); // a cut sentence still ends with its line feed
    else if (lineFeed)
        SentenceBuffer.back() = u'\n';
    return lineFeed;
}
