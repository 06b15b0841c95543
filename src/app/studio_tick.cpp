#include "app/studio_tick.h"

#include <algorithm>
#include <cmath>

#include "app/studio.h"
#include "media/media_kit.h"
#include "project/layout_presets.h"
#include "project/project.h"
#include "ui/style.h"
#include "ui/theme.h"

namespace {

StudioClock gClock = nullptr;

constexpr float kDesignSizes[2][2] = {{kHorizontalDesignWidth, kHorizontalDesignHeight},
                                      {kVerticalDesignWidth, kVerticalDesignHeight}};

Scene* activeSceneOf(Project& project) {
  if (project.activeScene < 0 || project.activeScene >= int(project.scenes.size())) return nullptr;
  return &project.scenes[std::size_t(project.activeScene)];
}

// Text layers created without a size keep their centre in x and y until
// their texture tells how big they are.
void measureTextLayers(Scene& scene, ISourceCache& sources) {
  for (Layer& layer : scene.layers) {
    if (layer.kind != LayerKind::Text || layer.width > 0) continue;
    const SourceFrame frame = sources.frameFor(layer);
    layer.width = float(frame.width);
    layer.height = float(frame.height);
    layer.x -= layer.width * 0.5f;
    layer.y -= layer.height * 0.5f;
  }
}

// The tick's calls into recording, live output and mixing, kept together so
// that the tick itself reads in the order it runs.
bool audioWanted(Studio& studio) { return studio.recording.recording || studio.live.isLive(); }

void resetMixer(Studio& studio) { studio.mixer.reset(); }

void mixAudio(Studio& studio) {
  studio.mixer.mix(studio.micSamples, studio.kit.micInput->sampleRate() > 0, studio.desktopSamples,
                   studio.project.desktopAudio, studio.project, studio.mixedSamples);
}

void feedRecordingAndLive(Studio& studio) {
  static const Scene kNoScene;
  const Scene* scene = activeSceneOf(studio.project);
  studio.recording.tick(studio.project, scene ? *scene : kNoScene, studio.mixedSamples);
  studio.live.pushMedia(studio.project, studio.mixedSamples);
}

void showRecordingStatus(Studio& studio) {
  const std::string text = studio.recording.takeStatus();
  if (text.empty()) return;
  std::wstring path;
  if (text.compare(0, 5, "Saved") == 0 && !studio.recording.savedFiles.empty()) {
    path = studio.recording.savedFiles.back();
  }
  studio.toast.show(text, path);
}

constexpr int kDynamicPreset = 12;
int sceneSignature(const Scene& scene) { return layoutSignature(scene); }

}  // namespace

int64_t studioTickNow() { return gClock ? gClock() : steadyNowNs(); }

void setStudioTickClock(StudioClock clock) { gClock = clock; }

float transitionWeight(int64_t nowNs, int64_t startNs, int transitionMs) {
  double c = 0;
  if (transitionMs >= 1) {
    c = 1.0 - (double(nowNs - startNs) / 1000000.0) / double(transitionMs);
    if (std::isnan(c)) c = 0;
    c = std::clamp(c, 0.0, 1.0);
  }
  return float(c * c * (3.0 - 2.0 * c));
}

int64_t nextVirtualCameraFrameAfter(int64_t scheduledNs, int64_t nowNs) {
  return std::max(scheduledNs + kVirtualCameraFrameNs, nowNs);
}

double frameIntervalFor(int fps0, int fps1) { return 1000.0 / double(std::max({fps0, fps1, 1})); }

void Studio::tick() {
  const int64_t t0 = studioTickNow();
  updateTransition();
  updateLiveData();

  Scene empty;
  for (int c = 0; c < 2; ++c) {
    setEditCanvas(c);
    Scene* scene = activeSceneOf(project);
    if (scene && kit.sources) measureTextLayers(*scene, *kit.sources);
    ICompositor* compositor = kit.compositors[c].get();
    if (!compositor || !kit.sources) continue;
    compositor->resize(project.canvases[std::size_t(c)].width, project.canvases[std::size_t(c)].height);
    compositor->render(scene ? *scene : empty, *kit.sources, kDesignSizes[c][0], kDesignSizes[c][1]);
  }
  setEditCanvas(0);
  if (kit.sources) kit.sources->endFrame();

  if (isDarkMode() != project.darkMode || currentThemeName() != project.themeName) {
    setTheme(project.darkMode, project.themeName);
  }
  setTextScale(float(project.textSizePercent) / 100.0f);

  applyAudioDevices();
  updateAudioCapture();
  micSamples.clear();
  desktopSamples.clear();
  mixedSamples.clear();
  if (audioOn && kit.micInput && kit.desktopInput) {
    kit.micInput->takeSamples(micSamples);
    kit.desktopInput->takeSamples(desktopSamples);
    mixAudio(*this);
  }

  feedRecordingAndLive(*this);
  handleRemoteMessages();

  if (IVirtualCamera* camera = kit.virtualCamera.get()) {
    if (project.virtualCamera) {
      if (!camera->isRunning() && !virtualCameraFailed) {
        virtualCameraFailed = !camera->start();
        // Only a start changes it; kept, as the settings window shows it every frame.
        virtualCameraError = camera->lastError();
      }
      const int64_t now = studioTickNow();
      if (camera->isRunning() && now >= nextVirtualCameraFrame) {
        nextVirtualCameraFrame = nextVirtualCameraFrameAfter(nextVirtualCameraFrame, now);
        const int canvas = project.virtualCameraCanvas == 1 ? 1 : 0;
        if (ICompositor* compositor = kit.compositors[canvas].get()) {
          int pitch = 0;
          if (const uint8_t* pixels = compositor->mapPixels(&pitch)) {
            const CanvasSettings& size = project.canvases[std::size_t(canvas)];
            camera->pushFrame(pixels, pitch, size.width, size.height);
            compositor->unmapPixels();
          }
        }
      }
    } else {
      if (camera->isRunning()) camera->stop();
      virtualCameraFailed = false;
      virtualCameraError.clear();
    }
  }

  const int64_t t1 = studioTickNow();
  tickMsAverage += 0.05 * (double(t1 - t0) / 1000000.0 - tickMsAverage);
  frameIntervalMs = frameIntervalFor(project.canvases[0].fps, project.canvases[1].fps);
  showRecordingStatus(*this);
}

void Studio::updateTransition() {
  Scene* scene = activeSceneOf(project);
  if (scene && scene->layoutPreset == kDynamicPreset && sceneSignature(*scene) != layoutSignature) {
    applyLayout(kDynamicPreset);
  }
  if (project.activeScene != lastShownScene || layoutApplied) {
    if (lastShownScene >= 0 && project.transitionMs > 0) {
      for (auto& compositor : kit.compositors) {
        if (compositor) compositor->snapshot();
      }
    }
    transitionStart = studioTickNow();
    layoutApplied = false;
    lastShownScene = project.activeScene;
    scene = activeSceneOf(project);
    if (scene && scene->layoutPreset == kDynamicPreset) layoutSignature = sceneSignature(*scene);
  }
  const float weight = transitionWeight(studioTickNow(), transitionStart, project.transitionMs);
  for (auto& compositor : kit.compositors) {
    if (compositor) compositor->setFade(weight);
  }
}

void Studio::applyAudioDevices() {
  if (audioApplied && project.micDeviceId == appliedMicDeviceId && project.voiceProcessing == appliedVoiceProcessing &&
      project.desktopAudio == appliedDesktopAudio) {
    return;
  }
  if (kit.micInput) kit.micInput->start(AudioInputSettings{project.micDeviceId, false, project.voiceProcessing});
  if (kit.desktopInput) {
    if (project.desktopAudio) {
      kit.desktopInput->start(AudioInputSettings{"", true, false});
    } else {
      kit.desktopInput->stop();
    }
  }
  appliedMicDeviceId = project.micDeviceId;
  appliedVoiceProcessing = project.voiceProcessing;
  appliedDesktopAudio = project.desktopAudio;
  audioApplied = true;
  audioOn = false;
}

void Studio::updateAudioCapture() {
  const bool wanted = audioWanted(*this);
  if (wanted == audioOn) return;
  if (kit.micInput) kit.micInput->setCollecting(wanted);
  if (kit.desktopInput) kit.desktopInput->setCollecting(wanted);
  resetMixer(*this);
  audioOn = wanted;
}
