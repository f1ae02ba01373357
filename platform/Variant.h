#pragma once
// A VARIANT that clears itself: copies go through VariantCopy, destruction
// through VariantClear.
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace platform {

class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    explicit Variant(long value) : Variant() {
        v_.vt = VT_I4;
        v_.lVal = value;
    }
    explicit Variant(const std::wstring& text);
    explicit Variant(const VARIANT& other) : Variant() { ::VariantCopy(&v_, const_cast<VARIANT*>(&other)); }
    Variant(const Variant& other) : Variant(other.v_) {}
    Variant& operator=(const Variant& other);
    ~Variant() { ::VariantClear(&v_); }

    static Variant Bool(bool value);
    static Variant Error(SCODE code);

    VARTYPE type() const { return v_.vt; }
    const VARIANT& get() const { return v_; }
    VARIANT* put() {
        ::VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

}  // namespace platform
