#pragma once
// Raised when the options document cannot be created or loaded.
#include <stdexcept>
#include <string>

class OptionsError : public std::exception {
public:
    enum Code : int {
        kSuccess = 0,
        kInitFailed = 1,      // the XML document could not be created
        kLoadFailed = 2,      // the file could not be read
        kInvalidFormat = 3,   // the file does not parse; the message names why
        kNoOptionsFile = 4,   // no default file, or the per-user copy failed
        kTranslationMap = 5,
        kReserved = 6,
        kInternal = 7,
        kEmpty = 8,
    };

    explicit OptionsError(int code, std::wstring message = {});

    int Code() const { return code_; }
    // The message when one was given, else the fixed text for the code.
    std::wstring Text() const;
    // The fixed text for a code; "%s" of code 3 filled with detail.
    static std::wstring FixedText(int code, const std::wstring& detail = {});

    const char* what() const noexcept override { return "OptionsError"; }

private:
    int code_;
    std::wstring message_;
};
