// The Media Foundation side of the encoder seam: H.264 encoder transforms found by MFTEnumEx,
// the AAC encoder transform and the MP4 sink writer.
#include "media/mf/encoder_transform.h"
#include "util/text.h"

#include <windows.h>
#include <codecapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mftransform.h>
#include <strmif.h>
#include <wmcodecdsp.h>
#include <wrl/client.h>


using Microsoft::WRL::ComPtr;

namespace mf {

static_assert(kNotAccepting == static_cast<int32_t>(MF_E_NOTACCEPTING));
static_assert(kNeedMoreInput == static_cast<int32_t>(MF_E_TRANSFORM_NEED_MORE_INPUT));
static_assert(kStreamChange == static_cast<int32_t>(MF_E_TRANSFORM_STREAM_CHANGE));
static_assert(kOutOfMemory == static_cast<int32_t>(E_OUTOFMEMORY));
static_assert(kHardwareFlag == MFT_ENUM_FLAG_HARDWARE);
static_assert(kHardwarePass == (MFT_ENUM_FLAG_HARDWARE | MFT_ENUM_FLAG_SORTANDFILTER));
static_assert(kSoftwarePass == (MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_SORTANDFILTER));
static_assert(kNeedInputEvent == METransformNeedInput && kHaveOutputEvent == METransformHaveOutput);

namespace {

// Media Foundation stays started while the process runs encoders; the media kit holds its own
// start, so this one only matters where no kit exists (tests).
struct MfStarted {
    HRESULT hr = MFStartup(MF_VERSION, MFSTARTUP_FULL);
    ~MfStarted() {
        if (SUCCEEDED(hr)) MFShutdown();
    }
};

void ensureStarted() { static MfStarted started; }

std::string friendlyName(IMFAttributes* a) {
    std::string name;
    WCHAR* w = nullptr;
    UINT32 len = 0;
    if (a && SUCCEEDED(a->GetAllocatedString(MFT_FRIENDLY_NAME_Attribute, &w, &len)) && w) {
        name = wideToUtf8(std::wstring_view(w, len));
        CoTaskMemFree(w);
    }
    return name;
}

// `alignment` is in bytes (0 or 1 for none); a transform's buffers must honour the one its stream
// information asks for.
HRESULT makeSample(size_t size, const std::function<void(uint8_t*)>& fill, int64_t time, int64_t duration,
                   ComPtr<IMFSample>& out, DWORD alignment = 0) {
    ComPtr<IMFMediaBuffer> buffer;
    if (size > MAXDWORD) return E_OUTOFMEMORY;
    // The aligned allocator takes the alignment less one (its MF_16_BYTE_ALIGNMENT is 0xF).
    const HRESULT made = alignment > 1 ? MFCreateAlignedMemoryBuffer(static_cast<DWORD>(size), alignment - 1, &buffer)
                                       : MFCreateMemoryBuffer(static_cast<DWORD>(size), &buffer);
    if (FAILED(made)) return E_OUTOFMEMORY;
    BYTE* p = nullptr;
    if (FAILED(buffer->Lock(&p, nullptr, nullptr))) return E_OUTOFMEMORY;
    fill(p);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(size));
    HRESULT hr = MFCreateSample(&out);
    if (SUCCEEDED(hr)) hr = out->AddBuffer(buffer.Get());
    if (SUCCEEDED(hr)) hr = out->SetSampleTime(time);
    if (SUCCEEDED(hr)) hr = out->SetSampleDuration(duration);
    return hr;
}

HRESULT videoType(const GUID& subtype, int width, int height, int fps, ComPtr<IMFMediaType>& t) {
    HRESULT hr = MFCreateMediaType(&t);
    if (SUCCEEDED(hr)) hr = t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr)) hr = t->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr)) hr = MFSetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, width, height);
    if (SUCCEEDED(hr)) hr = MFSetAttributeRatio(t.Get(), MF_MT_FRAME_RATE, fps, 1);
    if (SUCCEEDED(hr)) hr = MFSetAttributeRatio(t.Get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    return hr;
}

// The MP4 recorder's video types also carry the BT.709 limited-range colour description.
HRESULT mp4VideoType(const GUID& subtype, const RecordingSettings& s, ComPtr<IMFMediaType>& t) {
    HRESULT hr = videoType(subtype, s.width, s.height, s.fps, t);
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_YUV_MATRIX, MFVideoTransferMatrix_BT709);
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_VIDEO_PRIMARIES, MFVideoPrimaries_BT709);
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, MFNominalRange_16_235);
    return hr;
}

HRESULT audioType(const GUID& subtype, int rate, ComPtr<IMFMediaType>& t) {
    HRESULT hr = MFCreateMediaType(&t);
    if (SUCCEEDED(hr)) hr = t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    if (SUCCEEDED(hr)) hr = t->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, static_cast<UINT32>(rate));
    if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
    return hr;
}

void setCodecValue(ICodecAPI* codec, const GUID& key, UINT32 value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = value;
    codec->SetValue(&key, &v);  // an encoder that does not take a value keeps its own
}

struct MfInputSample : IInputSample {
    ComPtr<IMFSample> sample;
};

class MfTransform : public IEncoderTransform {
public:
    explicit MfTransform(ComPtr<IMFTransform> t) : transform(std::move(t)) {}

    bool isAsync() const override { return async; }

    bool configure(const VideoEncoderSettings& s) override {
        ComPtr<IMFAttributes> attributes;
        UINT32 isAsyncMft = 0;
        if (SUCCEEDED(transform->GetAttributes(&attributes)) && attributes &&
            SUCCEEDED(attributes->GetUINT32(MF_TRANSFORM_ASYNC, &isAsyncMft)) && isAsyncMft) {
            attributes->SetUINT32(MF_TRANSFORM_ASYNC_UNLOCK, TRUE);
            if (FAILED(transform.As(&events))) return false;
            async = true;
        }
        ComPtr<ICodecAPI> codec;
        // strmif.h gives ICodecAPI no identifier for __uuidof; ask by the identifier itself.
        if (SUCCEEDED(transform->QueryInterface(IID_ICodecAPI, reinterpret_cast<void**>(codec.GetAddressOf())))) {
            setCodecValue(codec.Get(), CODECAPI_AVEncCommonRateControlMode, eAVEncCommonRateControlMode_CBR);
            setCodecValue(codec.Get(), CODECAPI_AVEncCommonMeanBitRate, static_cast<UINT32>(s.bitrate));
            setCodecValue(codec.Get(), CODECAPI_AVEncMPVGOPSize, gopSize(s));
            setCodecValue(codec.Get(), CODECAPI_AVEncMPVDefaultBPictureCount, 0);
            setCodecValue(codec.Get(), CODECAPI_AVEncCommonQualityVsSpeed, qualityVsSpeed(s.preset));
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_BOOL;
            v.boolVal = VARIANT_TRUE;
            codec->SetValue(&CODECAPI_AVLowLatencyMode, &v);
        }
        if (FAILED(transform->GetStreamIDs(1, &inputId, 1, &outputId))) inputId = outputId = 0;
        ComPtr<IMFMediaType> out;
        HRESULT hr = videoType(MFVideoFormat_H264, s.width, s.height, s.fps, out);
        if (SUCCEEDED(hr)) hr = out->SetUINT32(MF_MT_AVG_BITRATE, static_cast<UINT32>(s.bitrate));
        if (SUCCEEDED(hr)) hr = out->SetUINT32(MF_MT_MPEG2_PROFILE, eAVEncH264VProfile_High);
        if (FAILED(hr) || FAILED(transform->SetOutputType(outputId, out.Get(), 0))) return false;
        ComPtr<IMFMediaType> in;
        if (FAILED(videoType(MFVideoFormat_NV12, s.width, s.height, s.fps, in)) ||
            FAILED(transform->SetInputType(inputId, in.Get(), 0)))
            return false;
        readStreamInfo();
        transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
        transform->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
        return true;
    }

    void readStreamInfo() {
        MFT_INPUT_STREAM_INFO input{};
        if (SUCCEEDED(transform->GetInputStreamInfo(inputId, &input))) inAlignment = input.cbAlignment;
        MFT_OUTPUT_STREAM_INFO info{};
        if (SUCCEEDED(transform->GetOutputStreamInfo(outputId, &info))) {
            providesSamples = (info.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES |
                                               MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES)) != 0;
            sampleSize = info.cbSize ? info.cbSize : 4194304;
            outAlignment = info.cbAlignment;
        }
    }

    int32_t nextEvent(uint32_t& type) override {
        if (!events) return E_UNEXPECTED;
        ComPtr<IMFMediaEvent> e;
        const HRESULT hr = events->GetEvent(0, &e);
        if (FAILED(hr)) return hr;
        MediaEventType t = 0;
        e->GetType(&t);
        type = t;
        return S_OK;
    }

    uint32_t inputAlignment() const override { return inAlignment; }

    int32_t processInput(IInputSample& s) override {
        return transform->ProcessInput(inputId, static_cast<MfInputSample&>(s).sample.Get(), 0);
    }

    int32_t processOutput(TransformSample& out) override {
        MFT_OUTPUT_DATA_BUFFER data{};
        data.dwStreamID = outputId;
        ComPtr<IMFSample> own;
        if (!providesSamples) {
            const HRESULT hr = makeSample(sampleSize, [](uint8_t*) {}, 0, 0, own, outAlignment);
            if (FAILED(hr)) return hr;
            // The transform fills the buffer from its start.
            ComPtr<IMFMediaBuffer> b;
            if (SUCCEEDED(own->GetBufferByIndex(0, &b))) b->SetCurrentLength(0);
            data.pSample = own.Get();
        }
        DWORD status = 0;
        const HRESULT hr = transform->ProcessOutput(0, 1, &data, &status);
        if (data.pEvents) data.pEvents->Release();
        ComPtr<IMFSample> result;
        if (providesSamples) result.Attach(data.pSample);
        else result = own;
        if (FAILED(hr)) return hr;
        if (!result) return S_OK;
        ComPtr<IMFMediaBuffer> buffer;
        if (SUCCEEDED(result->ConvertToContiguousBuffer(&buffer))) {
            BYTE* p = nullptr;
            DWORD length = 0;
            if (SUCCEEDED(buffer->Lock(&p, nullptr, &length))) {
                out.bytes.assign(p, p + length);
                buffer->Unlock();
            }
        }
        LONGLONG time = 0;
        if (SUCCEEDED(result->GetSampleTime(&time))) out.time = time;
        out.cleanPoint = MFGetAttributeUINT32(result.Get(), MFSampleExtension_CleanPoint, 0) != 0;
        return S_OK;
    }

    int32_t renegotiateOutput() override {
        ComPtr<IMFMediaType> type;
        HRESULT hr = transform->GetOutputAvailableType(outputId, 0, &type);
        if (SUCCEEDED(hr)) hr = transform->SetOutputType(outputId, type.Get(), 0);
        if (SUCCEEDED(hr)) readStreamInfo();
        return hr;
    }

    void endStreaming() override { transform->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0); }

    void shutdown() override {
        ComPtr<IMFShutdown> s;
        if (SUCCEEDED(transform.As(&s))) s->Shutdown();
    }

    std::vector<uint8_t> sequenceHeader() const override {
        std::vector<uint8_t> header;
        ComPtr<IMFMediaType> type;
        UINT32 size = 0;
        if (SUCCEEDED(transform->GetOutputCurrentType(outputId, &type)) &&
            SUCCEEDED(type->GetBlobSize(MF_MT_MPEG_SEQUENCE_HEADER, &size)) && size) {
            header.resize(size);
            if (FAILED(type->GetBlob(MF_MT_MPEG_SEQUENCE_HEADER, header.data(), size, &size))) header.clear();
        }
        return header;
    }

    ComPtr<IMFTransform> transform;
    ComPtr<IMFMediaEventGenerator> events;
    DWORD inputId = 0;
    DWORD outputId = 0;
    DWORD sampleSize = 4194304;
    DWORD outAlignment = 0;
    DWORD inAlignment = 0;
    bool providesSamples = false;
    bool async = false;
};

class MfActivation : public ITransformActivation {
public:
    explicit MfActivation(IMFActivate* a) { activation.Attach(a); }

    std::unique_ptr<IEncoderTransform> activate(std::string& name) override {
        ComPtr<IMFTransform> t;
        if (FAILED(activation->ActivateObject(IID_PPV_ARGS(&t)))) return nullptr;
        name = friendlyName(activation.Get());
        return std::make_unique<MfTransform>(std::move(t));
    }

    void shutdownObject() override { activation->ShutdownObject(); }

private:
    ComPtr<IMFActivate> activation;
};

class MfSink : public IMp4Sink {
public:
    explicit MfSink(ComPtr<IMFSinkWriter> w) : writer(std::move(w)) {}

    int32_t addVideoStream(const RecordingSettings& s, uint32_t& index) override {
        ComPtr<IMFMediaType> t;
        HRESULT hr = mp4VideoType(MFVideoFormat_H264, s, t);
        if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_AVG_BITRATE, static_cast<UINT32>(s.videoBitrate));
        if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_MPEG2_PROFILE, eAVEncH264VProfile_High);
        DWORD i = 0;
        if (SUCCEEDED(hr)) hr = writer->AddStream(t.Get(), &i);
        index = i;
        return hr;
    }

    int32_t setVideoInput(uint32_t index, const RecordingSettings& s, uint32_t quality) override {
        ComPtr<IMFMediaType> t;
        HRESULT hr = mp4VideoType(MFVideoFormat_NV12, s, t);
        ComPtr<IMFAttributes> params;
        if (SUCCEEDED(hr)) hr = MFCreateAttributes(&params, 1);
        if (SUCCEEDED(hr)) hr = params->SetUINT32(CODECAPI_AVEncCommonQualityVsSpeed, quality);
        if (SUCCEEDED(hr)) hr = writer->SetInputMediaType(index, t.Get(), params.Get());
        return hr;
    }

    int32_t addAudioStream(const RecordingSettings& s, uint32_t& index) override {
        ComPtr<IMFMediaType> t;
        HRESULT hr = audioType(MFAudioFormat_AAC, s.sampleRate, t);
        if (SUCCEEDED(hr))
            hr = t->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, static_cast<UINT32>(s.audioBytesPerSecond));
        DWORD i = 0;
        if (SUCCEEDED(hr)) hr = writer->AddStream(t.Get(), &i);
        index = i;
        return hr;
    }

    int32_t setAudioInput(uint32_t index, const RecordingSettings& s) override {
        ComPtr<IMFMediaType> t;
        HRESULT hr = audioType(MFAudioFormat_PCM, s.sampleRate, t);
        if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 4);
        if (SUCCEEDED(hr)) hr = t->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, static_cast<UINT32>(s.sampleRate) * 4);
        if (SUCCEEDED(hr)) hr = writer->SetInputMediaType(index, t.Get(), nullptr);
        return hr;
    }

    int32_t beginWriting() override { return writer->BeginWriting(); }

    std::string videoEncoderName(uint32_t index) override {
        std::string name;
        ComPtr<IMFSinkWriterEx> ex;
        if (FAILED(writer.As(&ex))) return name;
        for (DWORD i = 0;; ++i) {
            GUID category{};
            ComPtr<IMFTransform> t;
            if (FAILED(ex->GetTransformForStream(index, i, &category, &t))) break;
            ComPtr<IMFAttributes> a;
            if (category == MFT_CATEGORY_VIDEO_ENCODER && SUCCEEDED(t->GetAttributes(&a))) {
                const std::string n = friendlyName(a.Get());
                if (!n.empty()) name = n;
            }
        }
        return name;
    }

    int32_t writeSample(uint32_t index, size_t size, const std::function<void(uint8_t*)>& fill, int64_t time,
                        int64_t duration) override {
        ComPtr<IMFSample> sample;
        const HRESULT hr = makeSample(size, fill, time, duration, sample);
        if (FAILED(hr)) return hr;
        return writer->WriteSample(index, sample.Get());
    }

    int32_t finalize() override { return writer->Finalize(); }

private:
    ComPtr<IMFSinkWriter> writer;
};

}  // namespace

EnumerateVideoEncoders systemVideoEncoders() {
    return [](uint32_t flags) {
        ensureStarted();
        std::vector<std::unique_ptr<ITransformActivation>> out;
        MFT_REGISTER_TYPE_INFO input{MFMediaType_Video, MFVideoFormat_NV12};
        MFT_REGISTER_TYPE_INFO output{MFMediaType_Video, MFVideoFormat_H264};
        IMFActivate** list = nullptr;
        UINT32 count = 0;
        if (SUCCEEDED(MFTEnumEx(MFT_CATEGORY_VIDEO_ENCODER, flags, &input, &output, &list, &count)) && list) {
            for (UINT32 i = 0; i < count; ++i) out.push_back(std::make_unique<MfActivation>(list[i]));
            CoTaskMemFree(list);
        }
        return out;
    };
}

MakeInputSample systemInputSamples() {
    return [](size_t size, uint32_t alignment, const std::function<void(uint8_t*)>& fill, int64_t time,
              int64_t duration) -> std::unique_ptr<IInputSample> {
        ensureStarted();
        auto s = std::make_unique<MfInputSample>();
        if (FAILED(makeSample(size, fill, time, duration, s->sample, alignment))) return nullptr;
        return s;
    };
}

CreateAacTransform systemAacTransform() {
    return [](int rate, int bytesPerSecond, int32_t& result) -> std::unique_ptr<IEncoderTransform> {
        ensureStarted();
        ComPtr<IMFTransform> t;
        HRESULT hr = CoCreateInstance(CLSID_AACMFTEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&t));
        ComPtr<IMFMediaType> in, out;
        if (SUCCEEDED(hr)) hr = audioType(MFAudioFormat_PCM, rate, in);
        if (SUCCEEDED(hr)) hr = in->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 4);
        if (SUCCEEDED(hr)) hr = in->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, static_cast<UINT32>(rate) * 4);
        if (SUCCEEDED(hr)) hr = t->SetInputType(0, in.Get(), 0);
        if (SUCCEEDED(hr)) hr = audioType(MFAudioFormat_AAC, rate, out);
        if (SUCCEEDED(hr)) hr = out->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, static_cast<UINT32>(bytesPerSecond));
        if (SUCCEEDED(hr)) hr = out->SetUINT32(MF_MT_AAC_PAYLOAD_TYPE, 0);
        if (SUCCEEDED(hr)) hr = t->SetOutputType(0, out.Get(), 0);
        result = hr;
        if (FAILED(hr)) return nullptr;
        auto transform = std::make_unique<MfTransform>(std::move(t));
        transform->readStreamInfo();
        transform->transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
        return transform;
    };
}

CreateMp4Sink systemMp4Sink() {
    return [](const std::wstring& path, bool fragmented, int32_t& result) -> std::unique_ptr<IMp4Sink> {
        ensureStarted();
        ComPtr<IMFAttributes> attributes;
        HRESULT hr = MFCreateAttributes(&attributes, 2);
        if (SUCCEEDED(hr)) hr = attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, TRUE);
        if (SUCCEEDED(hr) && fragmented)
            hr = attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4);
        ComPtr<IMFSinkWriter> writer;
        if (SUCCEEDED(hr)) hr = MFCreateSinkWriterFromURL(path.c_str(), nullptr, attributes.Get(), &writer);
        result = hr;
        if (FAILED(hr)) return nullptr;
        return std::make_unique<MfSink>(std::move(writer));
    };
}

bool softwareEncoderForced() {
    SetLastError(ERROR_SUCCESS);
    WCHAR value[2];
    // An empty value reads as length 0 without an error; a missing variable sets the error.
    const DWORD n = GetEnvironmentVariableW(L"QUILLHAVEN_SOFTWARE_ENCODER", value, 2);
    return n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

ComApartment::ComApartment() {
    entered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

ComApartment::~ComApartment() {
    if (entered) CoUninitialize();
}

}  // namespace mf
