#pragma once
// File version texts and dotted version comparison.
#include <cstddef>
#include <cstdint>
#include <string>

// Prints the file version of the executable or library at path: short form
// "2.1   Build 007" (major, minor, build), long form "2.1.7.0". Copies at most
// capacity characters into buffer when one is given (the copy is always
// terminated). Returns the printed length, 0 when the file has no version
// resource, in which case the buffer is left untouched.
size_t FormatFileVersion(const std::wstring& path, wchar_t* buffer, size_t capacity, bool shortForm);
std::wstring FormatFileVersion(const std::wstring& path, bool shortForm);

// (first << 16) + second of "major.minor.build.revision", or with low set
// (third << 16) + fourth. Each part is read as decimal digits up to the
// first non-digit.
uint32_t ParseDottedVersion(const std::wstring& text, bool low);

// value(b) - value(a), high halves first: positive when b is newer.
long long CompareDottedVersions(const std::wstring& a, const std::wstring& b);
