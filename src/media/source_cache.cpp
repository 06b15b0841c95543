#include "media/source_cache.h"

#include <utility>

#include "media/numeric.h"
#include "project/project.h"
#include "util/text.h"

std::string sourceKey(const Layer& layer) {
  std::string key;
  sourceKeyInto(layer, key);
  return key;
}

void sourceKeyInto(const Layer& layer, std::string& out) {
  const auto num = [&](double v) { appendInteger(out, truncToInt(v)); };
  switch (layer.kind) {
    case LayerKind::Text:
      out.assign("T|");
      num(layer.fontSize);
      out.append("|").append(layer.text);
      break;
    case LayerKind::Image:
      out.assign("I|").append(layer.source);
      break;
    case LayerKind::Screen:
      out.assign("S|");
      appendInteger(out, layer.deviceIndex);
      break;
    case LayerKind::Camera:
      out.assign("C|");
      appendInteger(out, layer.deviceIndex);
      break;
    case LayerKind::GameOrApp:
      out.assign("W|").append(layer.source);
      break;
    case LayerKind::Chat:
    case LayerKind::LiveCounter:
      // The colour components are separated: written back to back, (1, 23)
      // and (12, 3) would read the same.
      out.assign("L|");
      appendInteger(out, layer.kind);
      out.append("|");
      num(layer.fontSize);
      out.append("|");
      num(layer.width);
      out.append("x");
      num(layer.height);
      out.append("|");
      num(layer.colour[0] * 255.0);
      out.append(",");
      num(layer.colour[1] * 255.0);
      out.append(",");
      num(layer.colour[2] * 255.0);
      out.append("|").append(layer.liveText);
      break;
    default:
      out.clear();
      break;
  }
}

SourceCache::SourceCache(SourceMakers m) : makers(std::move(m)) {}

SourceCache::~SourceCache() { clear(); }

SourceFrame SourceCache::frameFor(const Layer& layer) {
  if (layer.kind == LayerKind::Color) return {};
  // The key is built in kept storage: this runs for every layer on every tick and frame.
  sourceKeyInto(layer, key);
  auto found = entries.find(key);
  if (found == entries.end()) found = entries.emplace(key, SourceEntry{}).first;
  SourceEntry& entry = found->second;
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
