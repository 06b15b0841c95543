// IUnknown for the small objects this program hands the system to call back (event handlers,
// reader callbacks): one interface and the extra IIDs listed, counted atomically, deleted at the
// last release. Windows only.
#pragma once

#include <unknwn.h>

#include <atomic>

template <class Interface, const IID&... kAlso>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || ((iid == kAlso) || ...)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> refs{1};
};
