#include "options/OptionsError.h"

OptionsError::OptionsError(int code, std::wstring message) : code_(code), message_(std::move(message)) {}

std::wstring OptionsError::Text() const { return message_.empty() ? FixedText(code_) : message_; }

std::wstring OptionsError::FixedText(int code, const std::wstring& detail) {
    switch (code) {
        case kSuccess: return L"Success";
        case kInitFailed: return L"Unable to initialize MSXML.";
        case kLoadFailed: return L"Unable to load options file.";
        case kInvalidFormat: return L"Invalid format of options file: " + detail;
        case kNoOptionsFile: return L"There is no options file.";
        case kTranslationMap: return L"Unable to load translation map.";
        case kReserved: return {};
        case kInternal: return L"Internal Error.";
        case kEmpty: return {};
        default: return L"Unknown Error";
    }
}
