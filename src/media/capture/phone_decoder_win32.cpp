#include <windows.h>
#include <codecapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wmcodecdsp.h>
#include <wrl/client.h>

#include <cstring>

#include "media/capture/camera_frames.h"
#include "media/capture/system_capture.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONGLONG kSampleDuration = 333333;  // a thirtieth of a second; the phone's timing is not used
constexpr int kMaxOutputsPerDrain = 4;
constexpr char kUndecodableText[] = "The phone's video could not be decoded";

class MfPhoneDecoder : public PhoneDecoder {
public:
    ~MfPhoneDecoder() override {
        if (transform) transform->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0);
    }

    bool decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int& outWidth,
                int& outHeight) override {
        if (failed) return false;
        if (!transform && !setUp()) return false;
        ComPtr<IMFSample> sample;
        ComPtr<IMFMediaBuffer> buffer;
        BYTE* bytes = nullptr;
        if (FAILED(MFCreateSample(&sample)) || FAILED(MFCreateMemoryBuffer(DWORD(size), &buffer)) ||
            FAILED(buffer->Lock(&bytes, nullptr, nullptr))) {
            return false;
        }
        std::memcpy(bytes, data, size);
        buffer->Unlock();
        buffer->SetCurrentLength(DWORD(size));
        sample->AddBuffer(buffer.Get());
        sample->SetSampleTime(time);
        sample->SetSampleDuration(kSampleDuration);
        time += kSampleDuration;

        err.clear();
        bool taken = false;
        const bool produced = feedDecoderTransform(
            [&] {
                const HRESULT hr = transform->ProcessInput(0, sample.Get(), 0);
                if (hr == MF_E_NOTACCEPTING) return DecoderInput::Full;
                return SUCCEEDED(hr) ? DecoderInput::Taken : DecoderInput::Refused;
            },
            [&] { return drain(out); }, outWidth, outHeight, taken);
        if (!taken) err = kUndecodableText;
        return produced;
    }

    const std::string& error() const override { return err; }

private:
    bool setUp() {
        if (FAILED(CoCreateInstance(CLSID_CMSH264DecoderMFT, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&transform)))) {
            return fail("This PC has no H.264 decoder");
        }
        ComPtr<IMFAttributes> attributes;
        if (SUCCEEDED(transform->GetAttributes(&attributes))) attributes->SetUINT32(CODECAPI_AVLowLatencyMode, TRUE);
        ComPtr<IMFMediaType> input;
        if (FAILED(MFCreateMediaType(&input)) || FAILED(input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) ||
            FAILED(input->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264)) ||
            FAILED(input->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive)) ||
            FAILED(transform->SetInputType(0, input.Get(), 0)) || !setNv12Output()) {
            return fail("The H.264 decoder refused the phone's video");
        }
        readOutputFormat();
        transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
        transform->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
        return true;
    }

    bool fail(const char* text) {
        failed = true;
        err = text;
        transform.Reset();
        return false;
    }

    // The first NV12 output type the transform offers and accepts.
    bool setNv12Output() {
        for (DWORD i = 0;; ++i) {
            ComPtr<IMFMediaType> type;
            if (FAILED(transform->GetOutputAvailableType(0, i, &type))) return false;
            GUID subtype{};
            if (SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == MFVideoFormat_NV12 &&
                SUCCEEDED(transform->SetOutputType(0, type.Get(), 0))) {
                return true;
            }
        }
    }

    void readOutputFormat() {
        transform->GetOutputStreamInfo(0, &outputInfo);
        ComPtr<IMFMediaType> type;
        if (FAILED(transform->GetOutputCurrentType(0, &type))) return;
        UINT32 w = 0, h = 0;
        MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &w, &h);
        codedWidth = int(w);
        codedHeight = int(h);
        stride = int32_t(MFGetAttributeUINT32(type.Get(), MF_MT_DEFAULT_STRIDE, w));
        if (stride < codedWidth) stride = codedWidth;  // a bottom-up or odd answer: rows are packed
        width = codedWidth;
        height = codedHeight;
        MFVideoArea area{};
        if (SUCCEEDED(type->GetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<UINT8*>(&area), sizeof area,
                                    nullptr)) &&
            area.Area.cx > 0) {
            width = std::min<int>(area.Area.cx, codedWidth);
            height = std::min<int>(area.Area.cy, codedHeight);
        }
    }

    // The output sample the transform writes into when it has none of its own: one for the whole
    // stream, made again only when a format change asks for a larger buffer.
    bool prepareOwnSample() {
        if (own && ownSize >= outputInfo.cbSize) return true;
        own.Reset();
        ComPtr<IMFSample> sample;
        ComPtr<IMFMediaBuffer> buffer;
        if (FAILED(MFCreateSample(&sample)) ||
            FAILED(MFCreateMemoryBuffer(outputInfo.cbSize, &buffer)) ||
            FAILED(sample->AddBuffer(buffer.Get()))) {
            return false;
        }
        own = sample;
        ownSize = outputInfo.cbSize;
        return true;
    }

    // The size of the last picture written into `out`: a format change after it does not alter it.
    PictureSize drain(std::vector<uint8_t>& out) {
        PictureSize picture;
        const bool providesSamples =
            outputInfo.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES);
        for (int n = 0; n < kMaxOutputsPerDrain; ++n) {
            MFT_OUTPUT_DATA_BUFFER output{};
            if (!providesSamples) {
                if (!prepareOwnSample()) break;
                output.pSample = own.Get();
            }
            DWORD status = 0;
            const HRESULT hr = transform->ProcessOutput(0, 1, &output, &status);
            if (output.pEvents) output.pEvents->Release();
            ComPtr<IMFSample> got;
            if (output.pSample && output.pSample != own.Get()) got.Attach(output.pSample);  // the transform's own
            else got = own;
            if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) break;
            if (hr == MF_E_TRANSFORM_STREAM_CHANGE) {
                if (!setNv12Output()) {
                    ComPtr<IMFMediaType> first;
                    if (SUCCEEDED(transform->GetOutputAvailableType(0, 0, &first))) transform->SetOutputType(0, first.Get(), 0);
                }
                readOutputFormat();
                continue;
            }
            if (FAILED(hr)) {
                err = kUndecodableText;
                break;
            }
            ComPtr<IMFMediaBuffer> contiguous;
            BYTE* bytes = nullptr;
            DWORD length = 0;
            if (!got || FAILED(got->ConvertToContiguousBuffer(&contiguous)) ||
                FAILED(contiguous->Lock(&bytes, nullptr, &length))) {
                readOutputFormat();
                continue;
            }
            if (uint64_t(length) >= uint64_t(stride) * uint64_t(codedHeight) * 3 / 2 && width > 0 && height > 0) {
                out.resize(size_t(width) * size_t(height) * 4);
                nv12ToBgra(bytes, stride, codedHeight, width, height, out.data());
                picture = {width, height};
            }
            contiguous->Unlock();
        }
        return picture;
    }

    ComPtr<IMFTransform> transform;
    MFT_OUTPUT_STREAM_INFO outputInfo{};
    ComPtr<IMFSample> own;
    DWORD ownSize = 0;
    int32_t codedWidth = 0, codedHeight = 0;
    int32_t stride = 0;
    int32_t width = 0, height = 0;
    int64_t time = 0;
    bool failed = false;
    std::string err;
};

}  // namespace

std::unique_ptr<PhoneDecoder> makeSystemPhoneDecoder() { return std::make_unique<MfPhoneDecoder>(); }
