#include "platform/Variant.h"

#include <stdexcept>

namespace platform {

Variant::Variant(const std::wstring& text) : Variant() {
    v_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (v_.bstrVal == nullptr) throw std::bad_alloc();
    v_.vt = VT_BSTR;
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        ::VariantClear(&v_);
        ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
    }
    return *this;
}

Variant Variant::Bool(bool value) {
    Variant result;
    result.v_.vt = VT_BOOL;
    result.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
}

Variant Variant::Error(SCODE code) {
    Variant result;
    result.v_.vt = VT_ERROR;
    result.v_.scode = code;
    return result;
}

}  // namespace platform
