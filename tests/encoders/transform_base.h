// The plumbing shared by the test-only encoder transforms: one input and one output stream, the
// caller allocates samples on the alignment the stream information states, finished
// packets wait in a queue for ProcessOutput. The
// encoders themselves supply the media types and the encoding.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

using Microsoft::WRL::ComPtr;

class TransformBase : public IMFTransform {
public:
    TransformBase();
    virtual ~TransformBase();
    // Transforms alive in this process: the DLL may be unloaded only when none is.
    static std::atomic<long> liveCount;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetStreamLimits(DWORD* inMin, DWORD* inMax, DWORD* outMin, DWORD* outMax) override;
    STDMETHODIMP GetStreamCount(DWORD* inputs, DWORD* outputs) override;
    STDMETHODIMP GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputStreamInfo(DWORD id, MFT_INPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetOutputStreamInfo(DWORD id, MFT_OUTPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetAttributes(IMFAttributes** out) override;
    STDMETHODIMP GetInputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    STDMETHODIMP GetOutputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteInputStream(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputAvailableType(DWORD id, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP GetOutputAvailableType(DWORD id, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP SetInputType(DWORD id, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP SetOutputType(DWORD id, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP GetInputCurrentType(DWORD id, IMFMediaType** type) override;
    STDMETHODIMP GetOutputCurrentType(DWORD id, IMFMediaType** type) override;
    STDMETHODIMP GetInputStatus(DWORD id, DWORD* flags) override;
    STDMETHODIMP GetOutputStatus(DWORD* flags) override;
    STDMETHODIMP SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessEvent(DWORD, IMFMediaEvent*) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR param) override;
    STDMETHODIMP ProcessInput(DWORD id, IMFSample* sample, DWORD flags) override;
    STDMETHODIMP ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers, DWORD* status) override;

protected:
    struct Packet {
        std::vector<uint8_t> bytes;
        LONGLONG time = 0;
        LONGLONG duration = 0;
        bool key = false;
    };

    // Called under `lock`. A null `type` only tests or clears, as the caller asked.
    virtual HRESULT availableType(bool input, DWORD index, ComPtr<IMFMediaType>& type) = 0;
    virtual HRESULT checkInputType(IMFMediaType* type) = 0;
    virtual HRESULT checkOutputType(IMFMediaType* type) = 0;
    // Both types are set: opens the encoder; may replace `outputType` with a fuller copy.
    virtual HRESULT start() = 0;
    virtual void stop() = 0;
    virtual HRESULT encode(const uint8_t* bytes, DWORD length, LONGLONG time, LONGLONG duration) = 0;
    // Pushes what the encoder still holds into `packets`.
    virtual void drain() = 0;
    virtual DWORD outputBufferSize() = 0;
    virtual bool queryExtra(REFIID, void**) { return false; }

    std::mutex lock;
    ComPtr<IMFMediaType> inputType, outputType;
    std::deque<Packet> packets;
    bool started = false;

private:
    HRESULT offerType(bool input, DWORD id, DWORD index, IMFMediaType** type);
    HRESULT setType(bool input, DWORD id, IMFMediaType* type, DWORD flags);
    HRESULT currentType(bool input, DWORD id, IMFMediaType** type);

    std::atomic<ULONG> references{1};
    ComPtr<IMFAttributes> attributes;
};

// Registration helpers for DllRegisterServer.
HRESULT registerClass(const CLSID& clsid, const wchar_t* name);
void unregisterClass(const CLSID& clsid);
