// Windows-1250 text for setupcheck: letter case, and UTF-8 for output.
#pragma once
#include <cstddef>
#include <string>

// Upper case of a Windows-1250 byte (ASCII and the accented letters).
char Upper1250(char c);
// The first `length` characters of a equal b as a whole, case folded.
bool SameText1250(const char* a, const char* b, size_t length);
// The same letter without its accent (á -> a, Š -> S), else c itself.
char Unaccented1250(char c);
// The Unicode code point of a Windows-1250 byte; 0 for the five bytes the
// code page does not define (0x81, 0x83, 0x88, 0x90, 0x98).
unsigned CodePoint1250(unsigned char c);
// Windows-1250 text as UTF-8; undefined bytes become U+FFFD.
std::string Utf8From1250(const std::string& text);
// UTF-8 text in Windows-1250, '?' for a character the code page lacks; a
// byte that starts no well-formed sequence is kept as it is.
std::string Text1250FromUtf8(const std::string& utf8);
// The first byte at or after `from` that gives a letter Czech and Slovak do
// not use (ą, µ, a sign inside a word) where ISO-8859-2 has one of theirs
// (š, ľ, Š...): the text was probably saved in ISO-8859-2. npos if none.
size_t FindLatin2Byte(const std::string& text, size_t from = 0);
// The Unicode code point of a byte in ISO-8859-2.
unsigned CodePointLatin2(unsigned char c);
// Length of a well-formed UTF-8 sequence of two to four bytes at text[0],
// or 0.
size_t Utf8SequenceLength(const unsigned char* text, size_t available);
