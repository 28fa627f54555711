// The Windows headers for the Win32 implementation, and the conversions at the boundary to them.
//
// Our headers name their types, constants and functions as Windows does (HANDLE, DCB, INFINITE,
// CreateFileW, ...) inside namespace platform. Each Win32 source includes its own headers first and this
// one last: <windows.h> then defines its constants as macros with the same values, and the few function
// macros that would rename our functions are removed here.
#pragma once

#include "platform/Handles.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef DeleteFile
#undef GetFileAttributes

namespace platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

// INVALID_HANDLE_VALUE of <windows.h> as a system handle (the macro casts to whatever HANDLE names in scope).
inline ::HANDLE InvalidNative() { return reinterpret_cast<::HANDLE>(static_cast<intptr_t>(-1)); }

inline ::HANDLE Native(platform::HANDLE h) { return reinterpret_cast<::HANDLE>(h); }
inline platform::HANDLE Ours(::HANDLE h) { return reinterpret_cast<platform::HANDLE>(h); }

inline const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string Text16(const wchar_t* s, std::size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(s), n); }

// UTF-8 (our paths and names) <-> UTF-16 (the operating system's).
std::wstring WidePath(std::string_view utf8);
std::string Utf8Path(std::wstring_view wide);

// One argument of a command line, quoted as the C runtime of the started program splits it again.
std::wstring QuotedArgument(const std::wstring& arg);
// Our environment block with the variables (name, value; UTF-8) added or replaced, names compared without
// regard to case: each entry ends in a null, the block in another.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& added);

} // namespace platform::win32
