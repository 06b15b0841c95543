// AAC-LC encoder transform over libavcodec's native AAC encoder: 16-bit PCM in, raw AAC out in
// frames of 1024 samples, the output type carrying the AudioSpecificConfig in MF_MT_USER_DATA as
// the system encoder does. Test-only.
#include "test_transforms.h"
#include "transform_base.h"

#include <mmreg.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace {

constexpr LONGLONG kHundredNs = 10000000;
constexpr UINT32 kFrame = 1024;
constexpr UINT32 kAacLcProfileLevel = 0x29;
// The bit rates the system encoder offers, in bytes per second.
constexpr UINT32 kByteRates[] = {12000, 16000, 20000, 24000};

class AacTransform : public TransformBase {
public:
    ~AacTransform() override { stop(); }

protected:
    HRESULT availableType(bool input, DWORD index, ComPtr<IMFMediaType>& type) override {
        static constexpr UINT32 kRates[] = {44100, 48000};
        if (input ? index >= 2 : index >= 4) return MF_E_NO_MORE_TYPES;
        if (!input && !inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        const UINT32 rate = input ? kRates[index] : MFGetAttributeUINT32(inputType.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
        HRESULT hr = MFCreateMediaType(&type);
        if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        if (SUCCEEDED(hr)) hr = type->SetGUID(MF_MT_SUBTYPE, input ? MFAudioFormat_PCM : MFAudioFormat_AAC);
        if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
        if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
        if (SUCCEEDED(hr)) hr = type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
        if (SUCCEEDED(hr))
            hr = type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, input ? rate * 4 : kByteRates[index]);
        if (SUCCEEDED(hr) && input) hr = type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 4);
        return hr;
    }

    HRESULT checkInputType(IMFMediaType* type) override {
        GUID major{}, sub{};
        const UINT32 rate = MFGetAttributeUINT32(type, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
        const UINT32 channels = MFGetAttributeUINT32(type, MF_MT_AUDIO_NUM_CHANNELS, 0);
        if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Audio ||
            FAILED(type->GetGUID(MF_MT_SUBTYPE, &sub)) || sub != MFAudioFormat_PCM ||
            MFGetAttributeUINT32(type, MF_MT_AUDIO_BITS_PER_SAMPLE, 0) != 16 || (rate != 44100 && rate != 48000) ||
            (channels != 1 && channels != 2))
            return MF_E_INVALIDMEDIATYPE;
        return S_OK;
    }

    HRESULT checkOutputType(IMFMediaType* type) override {
        // The output follows the input: same rate and channels, raw AAC, one of the offered rates.
        if (!inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        GUID major{}, sub{};
        const UINT32 bytes = MFGetAttributeUINT32(type, MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 0);
        bool offered = false;
        for (UINT32 r : kByteRates) offered = offered || r == bytes;
        if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Audio ||
            FAILED(type->GetGUID(MF_MT_SUBTYPE, &sub)) || sub != MFAudioFormat_AAC || !offered ||
            MFGetAttributeUINT32(type, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0) !=
                MFGetAttributeUINT32(inputType.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 1) ||
            MFGetAttributeUINT32(type, MF_MT_AUDIO_NUM_CHANNELS, 0) !=
                MFGetAttributeUINT32(inputType.Get(), MF_MT_AUDIO_NUM_CHANNELS, 1) ||
            MFGetAttributeUINT32(type, MF_MT_AAC_PAYLOAD_TYPE, 0) != 0)
            return MF_E_INVALIDMEDIATYPE;
        return S_OK;
    }

    HRESULT start() override {
        rate = MFGetAttributeUINT32(inputType.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 48000);
        channels = MFGetAttributeUINT32(inputType.Get(), MF_MT_AUDIO_NUM_CHANNELS, 2);
        av_log_set_level(AV_LOG_ERROR);
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec || !(context = avcodec_alloc_context3(codec))) return E_OUTOFMEMORY;
        context->sample_rate = static_cast<int>(rate);
        av_channel_layout_default(&context->ch_layout, static_cast<int>(channels));
        context->sample_fmt = AV_SAMPLE_FMT_FLTP;
        context->bit_rate = static_cast<int64_t>(MFGetAttributeUINT32(outputType.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 0)) * 8;
        context->time_base = AVRational{1, static_cast<int>(rate)};
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(context, codec, nullptr) < 0 || !(frame = av_frame_alloc()) || !(packet = av_packet_alloc())) {
            stop();
            return MF_E_INVALIDMEDIATYPE;
        }
        frame->nb_samples = static_cast<int>(kFrame);
        frame->format = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        frame->sample_rate = context->sample_rate;
        if (av_frame_get_buffer(frame, 0) < 0) {
            stop();
            return E_OUTOFMEMORY;
        }
        // MF_MT_USER_DATA: the part of HEAACWAVEINFO after its WAVEFORMATEX, then the
        // AudioSpecificConfig.
        HEAACWAVEINFO info{};
        info.wPayloadType = 0;
        info.wAudioProfileLevelIndication = kAacLcProfileLevel;
        const BYTE* tail = reinterpret_cast<const BYTE*>(&info) + sizeof(WAVEFORMATEX);
        std::vector<uint8_t> user(tail, reinterpret_cast<const BYTE*>(&info) + sizeof info);
        user.insert(user.end(), context->extradata, context->extradata + context->extradata_size);
        ComPtr<IMFMediaType> full;
        HRESULT hr = MFCreateMediaType(&full);
        if (SUCCEEDED(hr)) hr = outputType->CopyAllItems(full.Get());
        if (SUCCEEDED(hr)) hr = full->SetBlob(MF_MT_USER_DATA, user.data(), static_cast<UINT32>(user.size()));
        if (SUCCEEDED(hr)) hr = full->SetUINT32(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, kAacLcProfileLevel);
        if (FAILED(hr)) {
            stop();
            return hr;
        }
        outputType = full;
        pending.clear();
        framesIn = framesOut = 0;
        firstTime = -1;
        drained = false;
        return S_OK;
    }

    void stop() override {
        if (packet) av_packet_free(&packet);
        if (frame) av_frame_free(&frame);
        if (context) avcodec_free_context(&context);
    }

    HRESULT encode(const uint8_t* bytes, DWORD length, LONGLONG time, LONGLONG) override {
        if (drained) {
            stop();
            const HRESULT hr = start();
            if (FAILED(hr)) return hr;
        }
        if (firstTime < 0) firstTime = time;
        const int16_t* s = reinterpret_cast<const int16_t*>(bytes);
        pending.insert(pending.end(), s, s + length / 2);
        const size_t block = kFrame * channels;
        size_t used = 0;
        HRESULT hr = S_OK;
        while (SUCCEEDED(hr) && pending.size() - used >= block) {
            hr = send(pending.data() + used, kFrame);
            used += block;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
        return hr;
    }

    void drain() override {
        if (!context) return;
        // The last partial frame goes in as it is, then the encoder gives up what it holds.
        if (!pending.empty()) send(pending.data(), static_cast<UINT32>(pending.size() / channels));
        pending.clear();
        if (avcodec_send_frame(context, nullptr) >= 0) receive();
        drained = true;
    }

    DWORD outputBufferSize() override { return 768 * 2; }  // 6144 bits a channel at most

private:
    HRESULT send(const int16_t* samples, UINT32 count) {
        if (av_frame_make_writable(frame) < 0) return E_OUTOFMEMORY;
        frame->nb_samples = static_cast<int>(count);
        for (UINT32 c = 0; c < channels; ++c) {
            float* plane = reinterpret_cast<float*>(frame->data[c]);
            for (UINT32 i = 0; i < count; ++i) plane[i] = samples[i * channels + c] / 32768.0f;
        }
        frame->pts = framesIn;
        framesIn += count;
        if (avcodec_send_frame(context, frame) < 0) return E_FAIL;
        receive();
        return S_OK;
    }

    void receive() {
        while (avcodec_receive_packet(context, packet) == 0) {
            Packet p;
            p.bytes.assign(packet->data, packet->data + packet->size);
            p.time = firstTime + framesOut * kHundredNs / rate;
            p.duration = kFrame * kHundredNs / rate;
            p.key = true;
            framesOut += kFrame;
            packets.push_back(std::move(p));
            av_packet_unref(packet);
        }
    }

    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    UINT32 rate = 48000, channels = 2;
    std::vector<int16_t> pending;
    LONGLONG framesIn = 0, framesOut = 0, firstTime = -1;
    bool drained = false;
};

}  // namespace

IMFTransform* newAacTransform() { return new AacTransform(); }
