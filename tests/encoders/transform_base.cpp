#include "transform_base.h"

#include <olectl.h>

#include <cstring>
#include <string>

std::atomic<long> TransformBase::liveCount{0};

namespace {

// Input and output buffers must start on this boundary, as a transform with vector loads and
// stores may ask; it is stricter than any heap gives by chance, so a caller that ignores the
// stream information fails.
constexpr DWORD kBufferAlignment = 256;

bool aligned(const BYTE* p) { return reinterpret_cast<uintptr_t>(p) % kBufferAlignment == 0; }

}  // namespace

TransformBase::TransformBase() {
    ++liveCount;
    MFCreateAttributes(&attributes, 1);
}

TransformBase::~TransformBase() { --liveCount; }

STDMETHODIMP TransformBase::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMFTransform) {
        *out = static_cast<IMFTransform*>(this);
    } else if (!queryExtra(iid, out)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TransformBase::AddRef() { return ++references; }

STDMETHODIMP_(ULONG) TransformBase::Release() {
    const ULONG n = --references;
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP TransformBase::GetStreamLimits(DWORD* inMin, DWORD* inMax, DWORD* outMin, DWORD* outMax) {
    if (!inMin || !inMax || !outMin || !outMax) return E_POINTER;
    *inMin = *inMax = *outMin = *outMax = 1;
    return S_OK;
}

STDMETHODIMP TransformBase::GetStreamCount(DWORD* inputs, DWORD* outputs) {
    if (!inputs || !outputs) return E_POINTER;
    *inputs = *outputs = 1;
    return S_OK;
}

STDMETHODIMP TransformBase::GetInputStreamInfo(DWORD id, MFT_INPUT_STREAM_INFO* info) {
    if (!info) return E_POINTER;
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    *info = {};
    info->dwFlags = MFT_INPUT_STREAM_WHOLE_SAMPLES;
    info->cbAlignment = kBufferAlignment;
    return S_OK;
}

STDMETHODIMP TransformBase::GetOutputStreamInfo(DWORD id, MFT_OUTPUT_STREAM_INFO* info) {
    if (!info) return E_POINTER;
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> g(lock);
    *info = {};
    info->dwFlags = MFT_OUTPUT_STREAM_WHOLE_SAMPLES | MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER;
    info->cbSize = outputBufferSize();
    info->cbAlignment = kBufferAlignment;
    return S_OK;
}

STDMETHODIMP TransformBase::GetAttributes(IMFAttributes** out) {
    if (!out) return E_POINTER;
    if (!attributes) return E_OUTOFMEMORY;
    *out = attributes.Get();
    (*out)->AddRef();
    return S_OK;
}

STDMETHODIMP TransformBase::GetInputAvailableType(DWORD id, DWORD index, IMFMediaType** type) {
    return offerType(true, id, index, type);
}

STDMETHODIMP TransformBase::GetOutputAvailableType(DWORD id, DWORD index, IMFMediaType** type) {
    return offerType(false, id, index, type);
}

STDMETHODIMP TransformBase::SetInputType(DWORD id, IMFMediaType* type, DWORD flags) {
    return setType(true, id, type, flags);
}

STDMETHODIMP TransformBase::SetOutputType(DWORD id, IMFMediaType* type, DWORD flags) {
    return setType(false, id, type, flags);
}

STDMETHODIMP TransformBase::GetInputCurrentType(DWORD id, IMFMediaType** type) {
    return currentType(true, id, type);
}

STDMETHODIMP TransformBase::GetOutputCurrentType(DWORD id, IMFMediaType** type) {
    return currentType(false, id, type);
}

HRESULT TransformBase::offerType(bool input, DWORD id, DWORD index, IMFMediaType** type) {
    if (!type) return E_POINTER;
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> g(lock);
    ComPtr<IMFMediaType> t;
    const HRESULT hr = availableType(input, index, t);
    if (SUCCEEDED(hr)) *type = t.Detach();
    return hr;
}

HRESULT TransformBase::setType(bool input, DWORD id, IMFMediaType* type, DWORD flags) {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> g(lock);
    if (type) {
        const HRESULT hr = input ? checkInputType(type) : checkOutputType(type);
        if (FAILED(hr) || (flags & MFT_SET_TYPE_TEST_ONLY)) return hr;
    }
    if (!packets.empty()) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
    stop();
    started = false;
    ComPtr<IMFMediaType>& slot = input ? inputType : outputType;
    slot = type;
    if (inputType && outputType) {
        const HRESULT hr = start();
        if (FAILED(hr)) {
            slot.Reset();
            return hr;
        }
        started = true;
    }
    return S_OK;
}

HRESULT TransformBase::currentType(bool input, DWORD id, IMFMediaType** type) {
    if (!type) return E_POINTER;
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> g(lock);
    const ComPtr<IMFMediaType>& slot = input ? inputType : outputType;
    if (!slot) return MF_E_TRANSFORM_TYPE_NOT_SET;
    *type = slot.Get();
    (*type)->AddRef();
    return S_OK;
}

STDMETHODIMP TransformBase::GetInputStatus(DWORD id, DWORD* flags) {
    if (!flags) return E_POINTER;
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> g(lock);
    *flags = packets.empty() ? MFT_INPUT_STATUS_ACCEPT_DATA : 0;
    return S_OK;
}

STDMETHODIMP TransformBase::GetOutputStatus(DWORD* flags) {
    if (!flags) return E_POINTER;
    std::lock_guard<std::mutex> g(lock);
    *flags = packets.empty() ? 0 : MFT_OUTPUT_STATUS_SAMPLE_READY;
    return S_OK;
}

STDMETHODIMP TransformBase::ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR) {
    std::lock_guard<std::mutex> g(lock);
    switch (message) {
    case MFT_MESSAGE_COMMAND_FLUSH:
        // Everything held is dropped; the encoder starts afresh with the next input.
        packets.clear();
        if (started) {
            stop();
            started = SUCCEEDED(start());
        }
        return S_OK;
    case MFT_MESSAGE_COMMAND_DRAIN:
        if (started) drain();
        return S_OK;
    default:
        return S_OK;
    }
}

STDMETHODIMP TransformBase::ProcessInput(DWORD id, IMFSample* sample, DWORD flags) {
    if (!sample) return E_POINTER;
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (flags != 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock);
    if (!started) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!packets.empty()) return MF_E_NOTACCEPTING;
    LONGLONG time = 0, duration = 0;
    sample->GetSampleTime(&time);
    sample->GetSampleDuration(&duration);
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = sample->ConvertToContiguousBuffer(&buffer);
    if (FAILED(hr)) return hr;
    BYTE* bytes = nullptr;
    DWORD length = 0;
    hr = buffer->Lock(&bytes, nullptr, &length);
    if (FAILED(hr)) return hr;
    hr = aligned(bytes) ? encode(bytes, length, time, duration) : E_INVALIDARG;
    buffer->Unlock();
    return hr;
}

STDMETHODIMP TransformBase::ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers, DWORD* status) {
    if (!buffers || !status || count != 1) return E_INVALIDARG;
    if (flags != 0) return E_INVALIDARG;
    *status = 0;
    buffers[0].dwStatus = 0;
    buffers[0].pEvents = nullptr;
    std::lock_guard<std::mutex> g(lock);
    if (!started) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (packets.empty()) return MF_E_TRANSFORM_NEED_MORE_INPUT;
    // This transform does not provide samples: the caller's sample receives the packet.
    IMFSample* sample = buffers[0].pSample;
    if (!sample) return E_INVALIDARG;
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = sample->GetBufferByIndex(0, &buffer);
    if (FAILED(hr)) return hr;
    const Packet& p = packets.front();
    BYTE* bytes = nullptr;
    DWORD max = 0;
    hr = buffer->Lock(&bytes, &max, nullptr);
    if (FAILED(hr)) return hr;
    if (max < p.bytes.size()) {
        buffer->Unlock();
        return MF_E_BUFFERTOOSMALL;
    }
    if (!aligned(bytes)) {
        buffer->Unlock();
        return E_INVALIDARG;
    }
    std::memcpy(bytes, p.bytes.data(), p.bytes.size());
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(p.bytes.size()));
    sample->SetSampleTime(p.time);
    sample->SetSampleDuration(p.duration);
    sample->SetUINT32(MFSampleExtension_CleanPoint, p.key ? TRUE : FALSE);
    packets.pop_front();
    if (!packets.empty()) buffers[0].dwStatus = MFT_OUTPUT_DATA_BUFFER_INCOMPLETE;
    return S_OK;
}

namespace {

std::wstring classKey(const CLSID& clsid) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

bool setString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

HRESULT registerClass(const CLSID& clsid, const wchar_t* name) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&registerClass), &self);
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(self, path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    HKEY key = nullptr, server = nullptr;
    const std::wstring at = classKey(clsid);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, at.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        return SELFREG_E_CLASS;
    bool ok = setString(key, nullptr, name) &&
              !RegCreateKeyExW(key, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server, nullptr) &&
              setString(server, nullptr, path) && setString(server, L"ThreadingModel", L"Both");
    if (server) RegCloseKey(server);
    RegCloseKey(key);
    return ok ? S_OK : SELFREG_E_CLASS;
}

void unregisterClass(const CLSID& clsid) { RegDeleteTreeW(HKEY_LOCAL_MACHINE, classKey(clsid).c_str()); }
