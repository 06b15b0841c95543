// The DLL's COM entry points. DllRegisterServer (run by regsvr32 in the Wine test prefix only)
// registers the H.264 transform in the video-encoder category, where MFTEnumEx finds it as a
// synchronous software encoder, and the AAC transform under the class id the system's AAC
// encoder has.
#include "test_transforms.h"
#include "transform_base.h"

#include <olectl.h>
#include <wmcodecdsp.h>

namespace {

std::atomic<long> locks{0};

class Factory : public IClassFactory {
public:
    explicit Factory(IMFTransform* (*make)()) : make(make) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static lifetime
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IMFTransform* t = make();
        if (!t) return E_OUTOFMEMORY;
        const HRESULT hr = t->QueryInterface(iid, out);
        t->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        locks += lock ? 1 : -1;
        return S_OK;
    }

private:
    IMFTransform* (*make)();
};

Factory h264Factory(newH264Transform);
Factory aacFactory(newAacTransform);

const wchar_t kH264Name[] = L"Quillhaven test H.264 encoder (x264)";
const wchar_t kAacName[] = L"Quillhaven test AAC encoder (libavcodec)";

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid == kTestH264EncoderClsid) return h264Factory.QueryInterface(iid, out);
    if (clsid == CLSID_AACMFTEncoder) return aacFactory.QueryInterface(iid, out);
    if (out) *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return locks == 0 && TransformBase::liveCount == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    HRESULT hr = registerClass(kTestH264EncoderClsid, kH264Name);
    if (SUCCEEDED(hr)) hr = registerClass(CLSID_AACMFTEncoder, kAacName);
    MFT_REGISTER_TYPE_INFO videoIn{MFMediaType_Video, MFVideoFormat_NV12};
    MFT_REGISTER_TYPE_INFO videoOut{MFMediaType_Video, MFVideoFormat_H264};
    if (SUCCEEDED(hr))
        hr = MFTRegister(kTestH264EncoderClsid, MFT_CATEGORY_VIDEO_ENCODER, const_cast<LPWSTR>(kH264Name), 0, 1,
                         &videoIn, 1, &videoOut, nullptr);
    MFT_REGISTER_TYPE_INFO audioIn{MFMediaType_Audio, MFAudioFormat_PCM};
    MFT_REGISTER_TYPE_INFO audioOut{MFMediaType_Audio, MFAudioFormat_AAC};
    if (SUCCEEDED(hr))
        hr = MFTRegister(CLSID_AACMFTEncoder, MFT_CATEGORY_AUDIO_ENCODER, const_cast<LPWSTR>(kAacName), 0, 1,
                         &audioIn, 1, &audioOut, nullptr);
    return hr;
}

STDAPI DllUnregisterServer() {
    MFTUnregister(kTestH264EncoderClsid);
    MFTUnregister(CLSID_AACMFTEncoder);
    unregisterClass(kTestH264EncoderClsid);
    unregisterClass(CLSID_AACMFTEncoder);
    return S_OK;
}

}  // extern "C"
