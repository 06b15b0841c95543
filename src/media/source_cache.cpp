#include "media/source_cache.h"

#include <utility>

#include "media/numeric.h"
#include "project/project.h"

std::string sourceKey(const Layer& layer) {
  const auto num = [](double v) { return std::to_string(truncToInt(v)); };
  switch (layer.kind) {
    case LayerKind::Text:
      return "T|" + num(layer.fontSize) + "|" + layer.text;
    case LayerKind::Image:
      return "I|" + layer.source;
    case LayerKind::Screen:
      return "S|" + std::to_string(layer.deviceIndex);
    case LayerKind::Camera:
      return "C|" + std::to_string(layer.deviceIndex);
    case LayerKind::GameOrApp:
      return "W|" + layer.source;
    case LayerKind::Chat:
    case LayerKind::LiveCounter:
      // The colour components are separated: written back to back, (1, 23)
      // and (12, 3) would read the same.
      return "L|" + std::to_string(layer.kind) + "|" + num(layer.fontSize) + "|" + num(layer.width) + "x" +
             num(layer.height) + "|" + num(layer.colour[0] * 255.0) + "," + num(layer.colour[1] * 255.0) + "," +
             num(layer.colour[2] * 255.0) + "|" + layer.liveText;
    default:
      return {};
  }
}

SourceCache::SourceCache(SourceMakers m) : makers(std::move(m)) {}

SourceCache::~SourceCache() { clear(); }

SourceFrame SourceCache::frameFor(const Layer& layer) {
  if (layer.kind == LayerKind::Color) return {};
  SourceEntry& entry = entries[sourceKey(layer)];
  if (!entry.source && makers.make) entry.source = makers.make(layer);
  if (!entry.source) return {};
  entry.used = true;
  if (layer.kind == LayerKind::Camera) entry.source->setRemoveBackground(layer.removeBackground);
  if (entry.updatedGeneration != generation) {
    entry.updatedGeneration = generation;
    entry.source->update();
  }
  return entry.source->frame();
}

void SourceCache::endFrame() {
  for (auto it = entries.begin(); it != entries.end();) {
    if (it->second.used) {
      it->second.used = false;
      ++it;
    } else {
      it = entries.erase(it);
    }
  }
  ++generation;
}

void SourceCache::clear() { entries.clear(); }

std::vector<std::string> SourceCache::listCameras() {
  return makers.listCameras ? makers.listCameras() : std::vector<std::string>{};
}

std::vector<std::string> SourceCache::listDisplays() {
  return makers.listDisplays ? makers.listDisplays() : std::vector<std::string>{};
}

std::vector<std::string> SourceCache::listWindows() {
  return makers.listWindows ? makers.listWindows() : std::vector<std::string>{};
}
