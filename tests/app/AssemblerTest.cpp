#include "app/SentenceAssembler.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using platform::Text;

namespace {

// The reception handler's reading: one event takes the bytes waiting at entry, up to the first line
// feed; what follows stays queued for a later event.
struct Port {
    std::deque<unsigned char> queue;
    void Receive(const std::string& bytes) { queue.insert(queue.end(), bytes.begin(), bytes.end()); }
};

std::vector<Text> Events(TSentenceAssembler& a, Port& port, int events)
{
    std::vector<Text> sentences;
    for (int e = 0; e < events; ++e) {
        const size_t n = port.queue.size();
        for (size_t i = 0; i < n; ++i) {
            const unsigned char byte = port.queue.front();
            port.queue.pop_front();
            if (a.PutByte(byte)) {
                sentences.push_back(a.SentenceBuffer);
                break;
            }
        }
    }
    return sentences;
}

std::vector<Text> Feed(const std::string& bytes)
{
    TSentenceAssembler a;
    Port port;
    port.Receive(bytes);
    return Events(a, port, static_cast<int>(bytes.size()) + 1);
}

} // namespace

TEST(SentenceAssembler, ReceptionRules)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Text> sentences;
    };
    const Case cases[] = {
        {"each start character restarts", "xx$GPG$GPGGA,1,2\r\n", {u"$GPGGA,1,2\r\n"}},
        {"'!' restarts too", "$GPGGA,1!AIVDM,1\n", {u"!AIVDM,1\n"}},
        {"a bare line feed ends a sentence", "$GPGGA,1\n", {u"$GPGGA,1\n"}},
        {"no line feed, no sentence", "$GPGGA,1,2\r", {}},
        {"tail of a sentence begun before the port opened", "GA,1,2\r\n$GPVTG,1\r\n", {u"GA,1,2\r\n", u"$GPVTG,1\r\n"}},
        {"bytes after a line end stay with the sentence before", "$GPGGA,1\r\nnoise\r\n$GPVTG,2\r\n",
         {u"$GPGGA,1\r\n", u"$GPGGA,1\r\nnoise\r\n", u"$GPVTG,2\r\n"}},
        {"an empty line repeats the sentence before with it", "$GPGGA,1\n\n", {u"$GPGGA,1\n", u"$GPGGA,1\n\n"}},
        {"bytes are decoded with the ANSI code page", "$GPTXT,Zee\xEB" "end \x80\n", {u"$GPTXT,Zee\u00EBend \u20AC\n"}},
        {"NUL bytes are characters", std::string("$GP\0X,1\n", 8), {Text(u"$GP\0X,1\n", 8)}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Feed(c.bytes), c.sentences) << c.what;
}

TEST(SentenceAssembler, OneSentencePerEventTheRestStaysQueued)
{
    TSentenceAssembler a;
    Port port;
    port.Receive("$GPGGA,1\r\n$GPVTG,2\r\n$GPR");
    EXPECT_EQ(Events(a, port, 1), std::vector<Text>{u"$GPGGA,1\r\n"});
    EXPECT_EQ(port.queue.size(), 14u);
    EXPECT_EQ(Events(a, port, 1), std::vector<Text>{u"$GPVTG,2\r\n"});
    EXPECT_EQ(Events(a, port, 1), std::vector<Text>{}); // "$GPR" taken, no line feed yet
    EXPECT_EQ(a.SentenceBuffer, u"$GPR");
    port.Receive("MC,1\r\n");
    EXPECT_EQ(Events(a, port, 1), std::vector<Text>{u"$GPRMC,1\r\n"});
    a.Clear(); // a new attempt starts empty
    port.Receive("MC,2\r\n");
    EXPECT_EQ(Events(a, port, 1), std::vector<Text>{u"MC,2\r\n"});
}

TEST(SentenceAssembler, EndlessInputWithoutStartCharactersStaysBounded)
{
    TSentenceAssembler a;
    const std::string junk(100000, 'x');
    for (const char ch : junk)
        EXPECT_FALSE(a.PutByte(static_cast<unsigned char>(ch)));
    EXPECT_EQ(a.SentenceBuffer.size(), TSentenceAssembler::MaxSentenceLength);
    for (int i = 0; i < 1000; ++i)
        EXPECT_TRUE(a.PutByte('\n'));
    EXPECT_EQ(a.SentenceBuffer.size(), TSentenceAssembler::MaxSentenceLength + 1);
    EXPECT_EQ(a.SentenceBuffer.back(), u'\n');
    EXPECT_TRUE(a.PutByte('$') == false && a.SentenceBuffer == u"$");
}
