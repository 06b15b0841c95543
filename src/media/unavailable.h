#pragma once
// Stand-ins for media parts that this build cannot offer: each exists,
// does nothing harmful and says why in its status or error text.

#include <memory>
#include <string>

#include "media/media.h"

class UnavailableAudioInput : public IAudioInput {
 public:
  explicit UnavailableAudioInput(std::string status) : status_(std::move(status)) {}
  void start(const AudioInputSettings&) override {}
  void stop() override {}
  float level() const override { return 0.0f; }
  bool isMuted() const override { return muted_; }
  void setMuted(bool muted) override { muted_ = muted; }
  int sampleRate() const override { return 0; }
  std::string status() const override { return status_; }
  std::string activeEffects() const override { return {}; }
  void copyStatus(std::string& out) const override { out = status_; }
  void copyActiveEffects(std::string& out) const override { out.clear(); }
  void setCollecting(bool) override {}
  void takeSamples(std::vector<int16_t>& samples) override { samples.clear(); }

 private:
  std::string status_;
  bool muted_ = false;
};

class UnavailableRecorder : public IRecorder {
 public:
  explicit UnavailableRecorder(std::string error) : error_(std::move(error)) {}
  bool open(const std::wstring&, const RecordingSettings&) override { return false; }
  void writeVideo(const uint8_t*, int, int64_t) override {}
  void writeAudio(const int16_t*, uint64_t) override {}
  void close() override {}
  bool isOpen() const override { return false; }
  std::string lastError() const override { return error_; }
  bool supportsSampleRate(int) const override { return false; }
  std::string encoderName() const override { return {}; }

 private:
  std::string error_;
};

class UnavailableVideoEncoder : public IVideoPacketEncoder {
 public:
  bool open(const VideoEncoderSettings&) override { return false; }
  void encode(const uint8_t*, int, int64_t, std::vector<EncodedPacket>&) override {}
  void close() override {}
  std::string lastError() const override;
  std::string name() const override { return {}; }
};

class UnavailableAudioEncoder : public IAudioPacketEncoder {
 public:
  bool open(int, int) override { return false; }
  void encode(const int16_t*, uint64_t, std::vector<EncodedPacket>&) override {}
  void close() override {}
  std::string lastError() const override;
};
