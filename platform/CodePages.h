#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// 8-bit texts of the register and its files are Windows-1251 ("ANSI"); CSV files may hold OEM 866. Both have
// their own 256-entry tables here (1251 byte 0x98, unassigned, maps to U+0098 so every 1251 text round
// trips). Characters a target code page lacks become '?' unless a best-fit table below says otherwise;
// `lossy`, when given, is set to true if that happened (it is never reset to false).

char16_t AnsiCharToUnicode(unsigned char c);
char16_t OemCharToUnicode(unsigned char c);

std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text, bool* lossy = nullptr);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8, bool* lossy = nullptr);

std::u16string OemToUtf16(std::string_view oem);
std::string Utf16ToOem(std::u16string_view text, bool* lossy = nullptr);

// ANSI 1251 to OEM 866 and back, byte for byte (the result has the same length). Characters the target lacks
// take their best fit: for ANSI to OEM the Ukrainian І і Ґ ґ become I i Г г, other Cyrillic letters of
// neighbouring languages their Russian or Latin look-alikes, typographic quotes and dashes '"' '\'' '-', the
// bullet the OEM bullet; for OEM to ANSI line-drawing characters become '|', '-' or '+'. The rest become '?'.
std::string AnsiToOem(std::string_view ansi);
std::string OemToAnsi(std::string_view oem);

// UTF-8 and UTF-16. Malformed input (bad UTF-8 sequences, lone surrogates) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);
// A character (up to U+10FFFF) appended as UTF-8.
void AppendUtf8(std::string& out, char32_t c);
// The character of each byte above 0x7F of the 8-bit code page iconv knows by `name` (0 for a byte it
// refuses); nothing when it does not know the name.
std::optional<std::array<char16_t, 128>> IconvHighHalf(const std::string& name);
// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view bytes);

// Single-byte code pages declared by old workbook files: 1250-1258, 437, 850, 866, 10000 (Mac Roman; also
// 32768), 32769 and 367 (read as 1252). Any other number is taken as 1252. Bytes a code page leaves
// unassigned map to the code point of the same number (U+F700 + byte when another byte stands for that code
// point), so decoding and encoding again gives the same bytes.
int SingleByteCodePage(int codePage);
// Whether the number is another name of a code page SingleByteCodePage takes (32768, 32769, 367).
bool CodePageAlias(int codePage);
std::u16string DecodeSingleByte(int codePage, std::string_view bytes);
std::string EncodeSingleByte(int codePage, std::u16string_view text, bool* lossy = nullptr);

// Text of any code page iconv knows by its number: single-byte pages byte for byte as above (737, 852, 865
// among them, not taken for 1252), 932 (Shift-JIS, Windows' Japanese) a character of one or two bytes, a
// sequence that is none U+FFFD.
std::u16string DecodeCodePage(int codePage, std::string_view bytes);

} // namespace platform
