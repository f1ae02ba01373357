#pragma once
// A class object for COM activation: makes instances of T (a COM class with
// a default constructor whose reference count starts at zero) and holds the
// server's lock count for LockServer.
#include "platform/ComModule.h"

#include <objbase.h>

#include <new>

namespace platform {

template <typename T>
class ClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The class object lives as long as the process: its registration is
    // what keeps it, not its references.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        T* object = new (std::nothrow) T();
        if (object == nullptr) return E_OUTOFMEMORY;
        object->AddRef();
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ComModule::Lock();
        } else {
            ComModule::Unlock();
        }
        return S_OK;
    }

    // Registers the class object for local-server activation, many clients
    // per process. False when COM refused it.
    bool Register(REFCLSID clsid) {
        return SUCCEEDED(::CoRegisterClassObject(clsid, this, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
    }
    void Revoke() {
        if (cookie_ != 0) ::CoRevokeClassObject(cookie_);
        cookie_ = 0;
    }

private:
    DWORD cookie_ = 0;
};

}  // namespace platform
