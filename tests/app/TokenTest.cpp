#include "app/Token_cls.h"

#include <gtest/gtest.h>

#include <vector>

using platform::Text;

namespace {
TGPSToken Tok(const char16_t* source)
{
    TGPSToken t;
    t.SetSource(source);
    t.SetDelimiter(u',');
    return t;
}

std::vector<Text> Fields(const TGPSToken& t, int from, int to)
{
    std::vector<Text> out;
    for (int i = from; i <= to; ++i)
        out.push_back(t.GetToken(i));
    return out;
}
} // namespace

TEST(TGPSToken, NewInstanceIsEmptyWithDelimiterZero)
{
    TGPSToken t;
    EXPECT_EQ(t.Source(), u"");
    EXPECT_EQ(t.Delimiter(), u'\0');
    EXPECT_EQ(t.GetTokenCnt(), 0);
    EXPECT_EQ(t.GetToken(0), u"");
}

TEST(TGPSToken, FieldNumbering)
{
    struct Case {
        const char16_t* source;
        int count;
        std::vector<Text> fields; // fields -1 .. count + 1
    };
    const std::vector<Case> cases = {
        {u"$GPGGA,a,,b,", 4, {u"", u"GPGGA", u"a", u"", u"b", u"", u""}},
        {u",a", 1, {u"", u"", u"a", u""}},
        {u"$GPGGA", 0, {u"", u"GPGGA", u""}},
        {u"", 0, {u"", u"", u""}},
        {u"!AIVDM,1,1,,B,13aG,0*24\r\n", 6, {u"", u"AIVDM", u"1", u"1", u"", u"B", u"13aG", u"0*24\r\n", u""}},
        {u",,", 2, {u"", u"", u"", u"", u""}},
    };
    for (const Case& c : cases) {
        const TGPSToken t = Tok(c.source);
        EXPECT_EQ(t.GetTokenCnt(), c.count) << platform::TextToUtf8(c.source);
        EXPECT_EQ(Fields(t, -1, c.count + 1), c.fields) << platform::TextToUtf8(c.source);
    }
    EXPECT_EQ(Tok(u"A,B").GetToken(-1000), u"");
    EXPECT_EQ(Tok(u"A,B").GetToken(1000), u"");
}

TEST(TGPSToken, DelimiterZeroSplitsNothing)
{
    TGPSToken t;
    t.SetSource(u"$GPGGA,1,2");
    EXPECT_EQ(t.GetTokenCnt(), 0);
    EXPECT_EQ(t.GetToken(0), u"GPGGA,1,2");
    t.SetDelimiter(u';');
    EXPECT_EQ(t.GetToken(0), u"GPGGA,1,2");
    t.SetSource(u"a;b;c");
    EXPECT_EQ(t.GetTokenCnt(), 2);
    EXPECT_EQ(t.GetToken(2), u"c");
}

TEST(TGPSToken, Editing)
{
    enum class Op { Add, Insert, Delete, Replace };
    struct Case {
        const char16_t* source;
        Op op;
        const char16_t* token;
        int index;
        const char16_t* result;
    };
    const Case cases[] = {
        {u"", Op::Add, u"x", 0, u",x"},
        {u"A", Op::Add, u"x", 0, u"A,x"},
        {u"A,B", Op::Add, u"", 0, u"A,B,"},
        {u"", Op::Insert, u"x", 0, u",x"},
        {u"", Op::Insert, u"x", 5, u",x"},
        {u"", Op::Insert, u"x", -1, u",x"},
        {u"", Op::Delete, nullptr, 0, u""},
        {u"", Op::Delete, nullptr, 3, u""},
        {u"A,B,C", Op::Insert, u"X", 1, u"A,X,B,C"},
        {u"A,B,C", Op::Insert, u"X", 2, u"A,B,X,C"},
        {u"A,B,C", Op::Insert, u"X", 7, u"A,B,C,X"},
        {u"A,B,C", Op::Insert, u"X", 0, u",XA,B,C"},
        {u"A,B,C", Op::Insert, u"X", -1, u"A,B,C,X"},
        {u"A,B,C", Op::Delete, nullptr, 1, u"A,C"},
        {u"A,B,C", Op::Delete, nullptr, 2, u"A,B"},
        {u"A,B,C", Op::Delete, nullptr, 0, u",B,C"},
        {u"A,B,C", Op::Delete, nullptr, 3, u"A,B,C"},
        {u"A,B,C", Op::Delete, nullptr, -1, u"A,B,C"},
        {u"$GPGGA,1,2", Op::Delete, nullptr, 0, u",1,2"},
        {u"A,,C", Op::Delete, nullptr, 1, u"A,C"},
        {u",B,C", Op::Delete, nullptr, 0, u",B,C"},
        {u"A,B,C", Op::Replace, u"X", 2, u"A,B,X"},
        {u"A,B,C", Op::Replace, u"X", 1, u"A,X,C"},
        {u"A,B,C", Op::Replace, u"X", 0, u",B,C,X"},
        {u"A,BB,C", Op::Replace, u"", 1, u"A,,C"},
    };
    for (const Case& c : cases) {
        TGPSToken t = Tok(c.source);
        switch (c.op) {
        case Op::Add: t.AddToken(c.token); break;
        case Op::Insert: t.InsertToken(c.token, c.index); break;
        case Op::Delete: t.DeleteToken(c.index); break;
        case Op::Replace: t.ReplaceToken(c.token, c.index); break;
        }
        EXPECT_EQ(t.Source(), c.result) << platform::TextToUtf8(c.source) << " op " << static_cast<int>(c.op)
                                        << " index " << c.index;
    }
}

TEST(TGPSToken, FindTokenSearchesFieldsFromOneExactly)
{
    const TGPSToken t = Tok(u"A,B,C,b,B");
    EXPECT_EQ(t.FindToken(u"C"), 2);
    EXPECT_EQ(t.FindToken(u"A"), 0); // field 0 is never searched
    EXPECT_EQ(t.FindToken(u""), 0);  // field 0 (empty, the A being its first character) is not searched
    EXPECT_EQ(t.FindToken(u"b"), 3);
    EXPECT_EQ(t.FindToken(u"B"), 1);  // the first of two
    EXPECT_EQ(Tok(u"$GPRMC,,A,").FindToken(u""), 1);
    EXPECT_EQ(Tok(u"$GPRMC,,A,").FindToken(u"A"), 2);
    EXPECT_EQ(Tok(u"").FindToken(u""), 0);
}
