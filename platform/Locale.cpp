#include "platform/Locale.h"

#include "platform/Text.h"

#include <algorithm>

namespace platform {

char UpperAnsiDefault(char ch)
{
    const auto c = static_cast<unsigned char>(ch);
    unsigned char u = c;
    if (c >= 'a' && c <= 'z')
        u = static_cast<unsigned char>(c - 0x20);
    else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        u = static_cast<unsigned char>(c - 0x20);
    else if (c == 0x9A || c == 0x9C || c == 0x9E)
        u = static_cast<unsigned char>(c - 0x10);
    else if (c == 0xFF)
        u = 0x9F;
    return static_cast<char>(u);
}

char LowerAnsiDefault(char ch)
{
    const auto c = static_cast<unsigned char>(ch);
    unsigned char l = c;
    if (c >= 'A' && c <= 'Z')
        l = static_cast<unsigned char>(c + 0x20);
    else if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        l = static_cast<unsigned char>(c + 0x20);
    else if (c == 0x8A || c == 0x8C || c == 0x8E)
        l = static_cast<unsigned char>(c + 0x10);
    else if (c == 0x9F)
        l = 0xFF;
    return static_cast<char>(l);
}

void Locale::FillDefaultCasing()
{
    for (int i = 0; i < 256; ++i) {
        upper_[i] = static_cast<unsigned char>(UpperAnsiDefault(static_cast<char>(i)));
        lower_[i] = static_cast<unsigned char>(LowerAnsiDefault(static_cast<char>(i)));
    }
}

void Locale::FillCasing(const CaseMapping& map)
{
    for (int i = 1; i < 256; ++i) {
        const char b = static_cast<char>(i);
        const Text t = AnsiToText(std::string_view(&b, 1));
        upper_[i] = lower_[i] = static_cast<unsigned char>(i);
        if (t.size() != 1)
            continue;
        for (const bool upper : {true, false}) {
            const std::optional<char16_t> out = map(t[0], upper);
            if (!out)
                continue;
            const std::string back = TextToAnsi(Text(1, *out));
            if (back.size() == 1 && (back[0] != '?' || *out == u'?'))
                (upper ? upper_ : lower_)[i] = static_cast<unsigned char>(back[0]);
        }
    }
}

int Locale::CompareBytes(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool Locale::IsSupported(uint32_t lcid) { return ForLCID(lcid) != nullptr; }

void Locale::UpperInPlace(char* text, std::size_t size) const
{
    for (std::size_t i = 0; i < size; ++i)
        text[i] = UpperChar(text[i]);
}

void Locale::LowerInPlace(char* text, std::size_t size) const
{
    for (std::size_t i = 0; i < size; ++i)
        text[i] = LowerChar(text[i]);
}

std::string Locale::Lower(std::string_view text) const
{
    std::string s(text);
    LowerInPlace(s.data(), s.size());
    return s;
}

std::string Locale::Upper(std::string_view text) const
{
    std::string s(text);
    UpperInPlace(s.data(), s.size());
    return s;
}

} // namespace platform
