// Text conversions of the workbook library: flagged BIFF string buffers,
// 8-bit code pages, UTF-8 and small wide-string helpers.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TByteReader;

// A flag byte followed by characters: flag 1 UTF-16LE, anything else 8-bit.
using TBIFFString = std::vector<uint8_t>;

// Code page of 8-bit text in BIFF2-BIFF5 files that declare none.
constexpr int DefaultCodePage = 1251;

// The one place where 8-bit text of a code page meets UTF-16.
std::u16string CodePageToWide(std::string_view bytes, int codePage);
// Raises XLSError when the code page lacks a character of the text.
std::string WideToCodePage(std::u16string_view text, int codePage);

// BIFF8 8-bit strings are Latin-1: each byte is the character of its number.
std::u16string Latin1ToWide(std::span<const uint8_t> bytes);
bool IsWideText(std::u16string_view text); // any character above 255

int BIFFStrCharCount(std::span<const uint8_t> s);
// The flag and n characters of buf; raises when buf is too short.
TBIFFString BytesToBIFFStr(std::span<const uint8_t> buf, int n);
std::u16string BIFFStrToWideString(std::span<const uint8_t> buf, int n);
TBIFFString WideStringToBIFFStr(std::u16string_view text);
// The whole text of a string buffer (flag byte and characters).
std::u16string BIFFStrText(std::span<const uint8_t> s);
// A flag byte and n characters read from a record, as the record holds them.
TBIFFString ReadBIFFStr(TByteReader& r, size_t n, const char* what);
// Flag 0: the rest in the code page; 1: UTF-16; other: the whole in the code page.
std::u16string ByteStrToWideString(std::span<const uint8_t> s, int codePage = DefaultCodePage);
std::u16string BIFFStrBufToWideString(std::span<const uint8_t> buf, int n, int codePage = DefaultCodePage);
// UTF-16 characters of a fixed field, cut at the first NUL.
std::u16string WideBufToString(std::span<const uint8_t> buf);

// 1-based positions, -1 when absent.
int CharPos(char c, std::string_view text);
int WideCharPos(char16_t c, std::u16string_view text);
int WideCharLastPos(char16_t c, std::u16string_view text);
bool WideCharInSet(char16_t c, const std::bitset<256>& set);
int IndexOfWideStr(std::u16string_view text, std::span<const std::u16string> items);

char16_t UpperCaseChar(char16_t c);
std::u16string UpperCaseWide(std::u16string_view text);
// A-Z to a-z, other bytes as they are: part names and extensions in any letter case.
std::string AsciiLower(std::string_view text);
std::u16string Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::u16string_view text);
// One code point (up to U+10FFFF) appended as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);
// The first characters of a text, at most maxChars UTF-16 units, without
// half of a character made of two.
std::u16string_view CutWhole(std::u16string_view text, size_t maxChars);
std::u16string WideStringReplaceAll(std::u16string_view text, std::u16string_view pattern,
                                    std::u16string_view replacement);

} // namespace xls
