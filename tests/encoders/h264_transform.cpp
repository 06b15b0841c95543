// Synchronous H.264 encoder transform over x264: NV12 in, Annex B out with SPS and PPS before
// every IDR, codec values through ICodecAPI. Test-only: it stands in for the encoder Windows has.
#include "test_transforms.h"
#include "transform_base.h"

#include <codecapi.h>
#include <strmif.h>

#include <cstring>
#include <map>

extern "C" {
#include <x264.h>
}

namespace {

constexpr LONGLONG kHundredNs = 10000000;

bool sameGuid(const GUID* a, const GUID& b) { return a && *a == b; }

class H264Transform : public TransformBase, public ICodecAPI {
public:
    ~H264Transform() override { stop(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return TransformBase::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return TransformBase::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return TransformBase::Release(); }

    // ICodecAPI: the values the studio sets, read when the encoder opens.
    STDMETHODIMP IsSupported(const GUID* api) override { return known(api) ? S_OK : E_NOTIMPL; }
    STDMETHODIMP IsModifiable(const GUID* api) override { return known(api) ? S_OK : E_NOTIMPL; }
    STDMETHODIMP GetParameterRange(const GUID*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetParameterValues(const GUID*, VARIANT**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDefaultValue(const GUID*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetValue(const GUID* api, VARIANT* value) override {
        if (!api || !value) return E_POINTER;
        std::lock_guard<std::mutex> g(lock);
        auto it = values.find(*api);
        if (it == values.end()) return known(api) ? S_FALSE : E_NOTIMPL;
        VariantInit(value);
        if (sameGuid(api, CODECAPI_AVLowLatencyMode)) {
            value->vt = VT_BOOL;
            value->boolVal = it->second ? VARIANT_TRUE : VARIANT_FALSE;
        } else {
            value->vt = VT_UI4;
            value->ulVal = it->second;
        }
        return S_OK;
    }
    STDMETHODIMP SetValue(const GUID* api, VARIANT* value) override {
        if (!api || !value) return E_POINTER;
        if (!known(api)) return E_NOTIMPL;
        ULONG v = 0;
        if (value->vt == VT_UI4) v = value->ulVal;
        else if (value->vt == VT_BOOL) v = value->boolVal != VARIANT_FALSE;
        else return E_INVALIDARG;
        std::lock_guard<std::mutex> g(lock);
        values[*api] = v;
        return S_OK;
    }
    STDMETHODIMP RegisterForEvent(const GUID*, LONG_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterForEvent(const GUID*) override { return E_NOTIMPL; }
    STDMETHODIMP SetAllDefaults() override {
        std::lock_guard<std::mutex> g(lock);
        values.clear();
        return S_OK;
    }
    STDMETHODIMP SetValueWithNotify(const GUID*, VARIANT*, GUID**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetAllDefaultsWithNotify(GUID**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAllSettings(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP SetAllSettings(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP SetAllSettingsWithNotify(IStream*, GUID**, ULONG*) override { return E_NOTIMPL; }

protected:
    bool queryExtra(REFIID iid, void** out) override {
        if (iid != IID_ICodecAPI) return false;
        *out = static_cast<ICodecAPI*>(this);
        return true;
    }

    HRESULT availableType(bool input, DWORD index, ComPtr<IMFMediaType>& type) override {
        if (index > 0) return MF_E_NO_MORE_TYPES;
        if (input && !outputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        HRESULT hr = MFCreateMediaType(&type);
        if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_SUBTYPE, input ? MFVideoFormat_NV12 : MFVideoFormat_H264);
        if (SUCCEEDED(hr) && outputType) {
            // The frame attributes follow the output type the caller chose.
            for (const GUID& key : {MF_MT_FRAME_SIZE, MF_MT_FRAME_RATE, MF_MT_PIXEL_ASPECT_RATIO}) {
                UINT64 v = 0;
                if (SUCCEEDED(outputType->GetUINT64(key, &v))) type->SetUINT64(key, v);
            }
            type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
            if (!input) outputType->CopyAllItems(type.Get());
        }
        return hr;
    }

    HRESULT checkOutputType(IMFMediaType* type) override {
        GUID major{}, sub{};
        UINT32 w = 0, h = 0, num = 0, den = 0;
        if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Video ||
            FAILED(type->GetGUID(MF_MT_SUBTYPE, &sub)) || sub != MFVideoFormat_H264 ||
            FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &w, &h)) || w == 0 || h == 0 || (w & 1) ||
            (h & 1) || FAILED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &num, &den)) || num == 0 || den == 0)
            return MF_E_INVALIDMEDIATYPE;
        return S_OK;
    }

    HRESULT checkInputType(IMFMediaType* type) override {
        // An encoder takes its input type after the output type, matching its frame.
        if (!outputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        GUID major{}, sub{};
        UINT64 size = 0, rate = 0;
        if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Video ||
            FAILED(type->GetGUID(MF_MT_SUBTYPE, &sub)) || sub != MFVideoFormat_NV12 ||
            FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size)) ||
            size != MFGetAttributeUINT64(outputType.Get(), MF_MT_FRAME_SIZE, 0) ||
            FAILED(type->GetUINT64(MF_MT_FRAME_RATE, &rate)) ||
            rate != MFGetAttributeUINT64(outputType.Get(), MF_MT_FRAME_RATE, 0))
            return MF_E_INVALIDMEDIATYPE;
        return S_OK;
    }

    HRESULT start() override {
        UINT32 num = 0, den = 0;
        MFGetAttributeSize(outputType.Get(), MF_MT_FRAME_SIZE, &width, &height);
        MFGetAttributeRatio(outputType.Get(), MF_MT_FRAME_RATE, &num, &den);
        frameDuration = kHundredNs * den / num;
        const ULONG quality = value(CODECAPI_AVEncCommonQualityVsSpeed, 50);
        x264_param_t p;
        if (x264_param_default_preset(&p, quality >= 67 ? "veryfast" : quality >= 34 ? "superfast" : "ultrafast",
                                      value(CODECAPI_AVLowLatencyMode, 0) ? "zerolatency" : nullptr) < 0)
            return MF_E_INVALIDMEDIATYPE;
        p.i_width = static_cast<int>(width);
        p.i_height = static_cast<int>(height);
        p.i_csp = X264_CSP_NV12;
        p.i_fps_num = num;
        p.i_fps_den = den;
        p.i_timebase_num = 1;
        p.i_timebase_den = kHundredNs;
        p.b_vfr_input = 0;
        const ULONG gop = value(CODECAPI_AVEncMPVGOPSize, 0);
        if (gop > 0) {
            p.i_keyint_max = static_cast<int>(gop);
            p.i_keyint_min = static_cast<int>(gop);
            p.i_scenecut_threshold = 0;  // key frames exactly where asked
        }
        p.i_bframe = static_cast<int>(value(CODECAPI_AVEncMPVDefaultBPictureCount, 0));
        const ULONG bitrate = value(CODECAPI_AVEncCommonMeanBitRate, MFGetAttributeUINT32(outputType.Get(), MF_MT_AVG_BITRATE, 0));
        const ULONG mode = value(CODECAPI_AVEncCommonRateControlMode, eAVEncCommonRateControlMode_CBR);
        if (mode == eAVEncCommonRateControlMode_Quality || bitrate == 0) {
            p.rc.i_rc_method = X264_RC_CRF;
            p.rc.f_rf_constant = 23;
        } else {
            p.rc.i_rc_method = X264_RC_ABR;
            p.rc.i_bitrate = static_cast<int>(bitrate / 1000);
            if (mode == eAVEncCommonRateControlMode_CBR) {
                p.rc.i_vbv_max_bitrate = p.rc.i_bitrate;
                p.rc.i_vbv_buffer_size = p.rc.i_bitrate;
            }
        }
        // One thread: all encoding happens in the caller's ProcessInput, so its CPU is the
        // encoder's own.
        p.i_threads = 1;
        p.b_repeat_headers = 1;
        p.b_annexb = 1;
        p.b_aud = 0;
        p.vui.i_colorprim = 1;
        p.vui.i_transfer = 1;
        p.vui.i_colmatrix = 1;
        p.i_log_level = X264_LOG_ERROR;
        const UINT32 profile = MFGetAttributeUINT32(outputType.Get(), MF_MT_MPEG2_PROFILE, eAVEncH264VProfile_High);
        const char* name = profile == eAVEncH264VProfile_Base ? "baseline"
                           : profile == eAVEncH264VProfile_Main ? "main" : "high";
        if (x264_param_apply_profile(&p, name) < 0 || !(encoder = x264_encoder_open(&p))) return MF_E_INVALIDMEDIATYPE;
        drained = false;
        // The output type carries the parameter sets, as the system encoders announce them.
        x264_nal_t* nals = nullptr;
        int count = 0;
        const int size = x264_encoder_headers(encoder, &nals, &count);
        ComPtr<IMFMediaType> full;
        HRESULT hr = MFCreateMediaType(&full);
        if (SUCCEEDED(hr)) hr = outputType->CopyAllItems(full.Get());
        std::vector<uint8_t> header;
        for (int i = 0; i < count && size > 0; ++i)
            if (nals[i].i_type == NAL_SPS || nals[i].i_type == NAL_PPS)
                header.insert(header.end(), nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
        if (SUCCEEDED(hr)) hr = full->SetBlob(MF_MT_MPEG_SEQUENCE_HEADER, header.data(), static_cast<UINT32>(header.size()));
        if (FAILED(hr)) {
            stop();
            return hr;
        }
        outputType = full;
        return S_OK;
    }

    void stop() override {
        if (encoder) x264_encoder_close(encoder);
        encoder = nullptr;
    }

    HRESULT encode(const uint8_t* bytes, DWORD length, LONGLONG time, LONGLONG duration) override {
        const size_t luma = static_cast<size_t>(width) * height;
        if (length < luma * 3 / 2) return E_INVALIDARG;
        if (drained) {
            // x264 ends its stream when flushed; the next input starts a new one.
            stop();
            const HRESULT hr = start();
            if (FAILED(hr)) return hr;
        }
        x264_picture_t in, out;
        x264_picture_init(&in);
        in.img.i_csp = X264_CSP_NV12;
        in.img.i_plane = 2;
        in.img.plane[0] = const_cast<uint8_t*>(bytes);
        in.img.i_stride[0] = static_cast<int>(width);
        in.img.plane[1] = const_cast<uint8_t*>(bytes) + luma;
        in.img.i_stride[1] = static_cast<int>(width);
        in.i_pts = time;
        durations[time] = duration > 0 ? duration : frameDuration;
        return take(x264_encoder_encode(encoder, &nals, &nalCount, &in, &out), out);
    }

    void drain() override {
        x264_picture_t out;
        while (encoder && x264_encoder_delayed_frames(encoder) > 0)
            if (FAILED(take(x264_encoder_encode(encoder, &nals, &nalCount, nullptr, &out), out))) break;
        drained = true;
    }

    DWORD outputBufferSize() override { return width * height * 3 / 2 + 65536; }

private:
    HRESULT take(int size, const x264_picture_t& out) {
        if (size < 0) return E_FAIL;
        if (size == 0) return S_OK;
        Packet p;
        p.bytes.assign(nals[0].p_payload, nals[0].p_payload + size);  // the NAL units lie end to end
        p.time = out.i_pts;
        auto it = durations.find(out.i_pts);
        p.duration = it != durations.end() ? it->second : frameDuration;
        if (it != durations.end()) durations.erase(it);
        p.key = out.b_keyframe != 0;
        packets.push_back(std::move(p));
        return S_OK;
    }

    static bool known(const GUID* api) {
        for (const GUID& g : {CODECAPI_AVEncCommonRateControlMode, CODECAPI_AVEncCommonMeanBitRate,
                              CODECAPI_AVEncMPVGOPSize, CODECAPI_AVEncMPVDefaultBPictureCount,
                              CODECAPI_AVEncCommonQualityVsSpeed, CODECAPI_AVLowLatencyMode})
            if (sameGuid(api, g)) return true;
        return false;
    }

    // Under `lock`.
    ULONG value(const GUID& api, ULONG fallback) const {
        auto it = values.find(api);
        return it == values.end() ? fallback : it->second;
    }

    struct GuidLess {
        bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
    };
    std::map<GUID, ULONG, GuidLess> values;
    std::map<LONGLONG, LONGLONG> durations;  // input times not yet out, to their durations
    x264_t* encoder = nullptr;
    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    UINT32 width = 0, height = 0;
    LONGLONG frameDuration = 0;
    bool drained = false;
};

}  // namespace

IMFTransform* newH264Transform() { return new H264Transform(); }
