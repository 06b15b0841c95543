#include "test_encoders.h"

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace {

class AvAacEncoder : public IAudioPacketEncoder {
public:
    ~AvAacEncoder() override { close(); }

    bool open(int sampleRate, int bytesPerSecond) override {
        close();
        error.clear();
        rate = sampleRate;
        inputFrames = 0;
        outputFrames = 0;
        pending.clear();
        av_log_set_level(AV_LOG_ERROR);
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec || sampleRate <= 0) {
            error = "AAC encoder unavailable";
            return false;
        }
        context = avcodec_alloc_context3(codec);
        context->sample_rate = sampleRate;
        av_channel_layout_default(&context->ch_layout, 2);
        context->sample_fmt = AV_SAMPLE_FMT_FLTP;
        context->bit_rate = static_cast<int64_t>(bytesPerSecond) * 8;
        context->time_base = AVRational{1, sampleRate};
        if (avcodec_open2(context, codec, nullptr) < 0) {
            error = "AAC encoder unavailable";
            close();
            return false;
        }
        frame = av_frame_alloc();
        frame->nb_samples = context->frame_size;
        frame->format = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        frame->sample_rate = sampleRate;
        av_frame_get_buffer(frame, 0);
        packet = av_packet_alloc();
        return true;
    }

    void encode(const int16_t* samples, uint64_t frames, std::vector<EncodedPacket>& out) override {
        if (!context || frames == 0 || !error.empty()) return;
        pending.insert(pending.end(), samples, samples + frames * 2);
        const size_t n = static_cast<size_t>(context->frame_size);
        size_t used = 0;
        while (pending.size() - used >= n * 2) {
            av_frame_make_writable(frame);
            float* left = reinterpret_cast<float*>(frame->data[0]);
            float* right = reinterpret_cast<float*>(frame->data[1]);
            for (size_t i = 0; i < n; ++i) {
                left[i] = pending[used + i * 2] / 32768.0f;
                right[i] = pending[used + i * 2 + 1] / 32768.0f;
            }
            used += n * 2;
            frame->pts = inputFrames;
            inputFrames += static_cast<int64_t>(n);
            if (avcodec_send_frame(context, frame) < 0) {
                error = "AAC encoder rejected audio";
                break;
            }
            while (avcodec_receive_packet(context, packet) == 0) {
                EncodedPacket p;
                p.data.assign(packet->data, packet->data + packet->size);
                p.time = outputFrames * 10000000 / rate;
                p.keyframe = true;
                outputFrames += 1024;
                out.push_back(std::move(p));
                av_packet_unref(packet);
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    }

    void close() override {
        if (packet) av_packet_free(&packet);
        if (frame) av_frame_free(&frame);
        if (context) avcodec_free_context(&context);
    }
    std::string lastError() const override { return error; }

private:
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int rate = 48000;
    int64_t inputFrames = 0;
    int64_t outputFrames = 0;
    std::vector<int16_t> pending;
    std::string error;
};

}  // namespace

std::unique_ptr<IAudioPacketEncoder> makeTestAudioEncoder() {
    return std::make_unique<AvAacEncoder>();
}
