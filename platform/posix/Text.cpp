#include "platform/Text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace platform {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// The chosen ANSI code page; guarded because table-engine threads may convert concurrently.
std::mutex& codePageLock()
{
    static std::mutex m;
    return m;
}
std::string& codePageName()
{
    static std::string name = "windows-1252";
    return name;
}

ConverterPtr openConverter(const std::string& name)
{
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr c(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status))
        return nullptr;
    // Unmappable characters become '?' in both directions, as the Windows conversion does.
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(c.get(), "?", 1, &status);
    return c;
}

// Raised whenever the code page changes, so that each thread's cached converter is renewed.
std::atomic<uint64_t>& codePageGeneration()
{
    static std::atomic<uint64_t> generation{1};
    return generation;
}

// The calling thread's converter for the current code page (ICU converters are not shared between threads),
// and, for a single-byte code page, the character of each byte, taken from that converter.
struct ThreadConverter {
    uint64_t generation = 0;
    ConverterPtr converter;
    bool singleByte = false;
    // Single-byte code page whose bytes 0-127 are ASCII (all Windows code pages): pure ASCII text widens.
    bool asciiSame = false;
    std::array<char16_t, 256> characters{};

    UConverter* Get()
    {
        const uint64_t current = codePageGeneration().load(std::memory_order_acquire);
        if (current != generation) {
            std::string name;
            {
                std::lock_guard<std::mutex> guard(codePageLock());
                name = codePageName();
            }
            converter = openConverter(name);
            generation = current;
            singleByte = converter && ucnv_getMaxCharSize(converter.get()) == 1 && FillCharacters();
            asciiSame = singleByte;
            for (std::size_t b = 0; b < 0x80 && asciiSame; ++b)
                asciiSame = characters[b] == static_cast<char16_t>(b);
        }
        return converter.get();
    }

private:
    // Every byte must convert on its own to exactly one character; otherwise the table is not used.
    bool FillCharacters()
    {
        for (int b = 0; b < 256; ++b) {
            const char in = static_cast<char>(b);
            UChar out[4] = {};
            UErrorCode status = U_ZERO_ERROR;
            const int32_t n = ucnv_toUChars(converter.get(), out, 4, &in, 1, &status);
            if (U_FAILURE(status) || n != 1)
                return false;
            characters[static_cast<std::size_t>(b)] = out[0];
        }
        return true;
    }
};

ThreadConverter& currentConverter()
{
    thread_local ThreadConverter converter;
    return converter;
}

} // namespace

Text Utf8ToText(std::string_view utf8)
{
    Text out;
    out.resize(utf8.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, utf8.data(),
                         static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return Text();
    out.resize(static_cast<size_t>(length));
    return out;
}

std::string TextToUtf8(TextView text)
{
    std::string out;
    out.resize(text.size() * 3);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return std::string();
    out.resize(static_cast<size_t>(length));
    return out;
}

bool SetAnsiCodePage(const std::string& name)
{
    if (!openConverter(name))
        return false;
    std::lock_guard<std::mutex> guard(codePageLock());
    codePageName() = name;
    codePageGeneration().fetch_add(1, std::memory_order_release);
    return true;
}

std::string AnsiCodePage()
{
    std::lock_guard<std::mutex> guard(codePageLock());
    return codePageName();
}

namespace {

// Length of the leading ASCII bytes of in[0, n), ending also at the first zero byte when ZeroEnds; with
// Widen, those bytes are widened into out on the way. Sixteen bytes at a time where SSE2 is there (every
// x86-64); the last block overlaps the one before rather than ending byte by byte.
template <bool Widen, bool ZeroEnds>
std::size_t asciiRun(const unsigned char* in, std::size_t n, [[maybe_unused]] char16_t* out)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    if (n >= 16) {
        const __m128i zero = _mm_setzero_si128();
        for (;;) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            if constexpr (Widen) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
            }
            auto stop = static_cast<unsigned>(_mm_movemask_epi8(v));
            if constexpr (ZeroEnds)
                stop |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
            if (stop != 0)
                return i + static_cast<std::size_t>(std::countr_zero(stop));
            if (i + 16 == n)
                return n;
            // The bytes before i + 16 go on, so a stop in the overlapping block lies after them.
            i = std::min(i + 16, n - 16);
        }
    }
#endif
    for (; i < n && in[i] < 0x80 && (!ZeroEnds || in[i] != 0); ++i)
        if constexpr (Widen)
            out[i] = in[i];
    return i;
}

} // namespace

Text AnsiToText(std::string_view ansi)
{
    if (ansi.empty())
        return Text();
    ThreadConverter& tc = currentConverter();
    UConverter* c = tc.Get();
    if (c == nullptr)
        throw std::runtime_error("ANSI code page unavailable");
    if (tc.singleByte) {
        // Text of table fields is mostly ASCII, which widens without the table; from the first other byte
        // on, every byte goes through the table.
        Text out(ansi.size(), u'\0');
        const auto* in = reinterpret_cast<const unsigned char*>(ansi.data());
        std::size_t i = tc.asciiSame ? asciiRun<true, false>(in, ansi.size(), out.data()) : 0;
        for (; i < ansi.size(); ++i)
            out[i] = tc.characters[in[i]];
        return out;
    }
    Text out(ansi.size() * 2, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(c, out.data(), static_cast<int32_t>(out.size()), ansi.data(),
                                    static_cast<int32_t>(ansi.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw std::runtime_error("ANSI conversion failed");
    out.resize(static_cast<size_t>(n));
    return out;
}

Text AnsiFieldToText(std::string_view field)
{
    const auto* in = reinterpret_cast<const unsigned char*>(field.data());
    ThreadConverter& tc = currentConverter();
    if (tc.Get() != nullptr && tc.asciiSame) {
        // ASCII up to the first zero byte or the field's end (the common case): allocated at that length.
        const std::size_t n = asciiRun<false, true>(in, field.size(), nullptr);
        if (n == field.size() || in[n] == 0) {
            Text out(n, u'\0');
            asciiRun<true, false>(in, n, out.data());
            return out;
        }
    }
    const void* zero = std::memchr(field.data(), 0, field.size());
    return AnsiToText(zero != nullptr ? field.substr(0, std::size_t(static_cast<const char*>(zero) - field.data()))
                                      : field);
}

std::string TextToAnsi(TextView text)
{
    if (text.empty())
        return std::string();
    UConverter* c = currentConverter().Get();
    if (c == nullptr)
        throw std::runtime_error("ANSI code page unavailable");
    std::string out(text.size() * 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                      static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw std::runtime_error("ANSI conversion failed");
    out.resize(static_cast<size_t>(n));
    return out;
}

int CompareTextNoCase(TextView a, TextView b)
{
    UErrorCode status = U_ZERO_ERROR;
    const int r = u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                                   static_cast<int32_t>(b.size()), U_FOLD_CASE_DEFAULT, &status);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

Text UpperCase(TextView text)
{
    icu::UnicodeString s(false, text.data(), static_cast<int32_t>(text.size()));
    icu::UnicodeString upper(s);
    upper.toUpper();
    return Text(upper.getBuffer(), static_cast<size_t>(upper.length()));
}

} // namespace platform
