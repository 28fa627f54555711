#include "platform/Locale.h"

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
