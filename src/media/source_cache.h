#pragma once
// One live source per distinct layer content, updated at most once per
// tick and dropped at the end of the first tick that did not ask for it.
// What a source is made of comes from outside (SourceMakers), so the
// bookkeeping runs the same with GPU sources and with test doubles.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/media.h"

// The text that tells two layers' sources apart; empty for a kind with no source.
std::string sourceKey(const Layer& layer);
// The same written over `out`, which keeps its storage.
void sourceKeyInto(const Layer& layer, std::string& out);

struct SourceMakers {
  std::function<std::unique_ptr<ISource>(const Layer&)> make;
  std::function<std::vector<std::string>()> listCameras;
  std::function<std::vector<std::string>()> listDisplays;
  std::function<std::vector<std::string>()> listWindows;
};

class SourceCache : public ISourceCache {
 public:
  explicit SourceCache(SourceMakers makers);
  ~SourceCache() override;

  SourceFrame frameFor(const Layer& layer) override;
  void endFrame() override;
  void clear() override;
  std::vector<std::string> listCameras() override;
  std::vector<std::string> listDisplays() override;
  std::vector<std::string> listWindows() override;

  std::size_t liveSources() const { return entries.size(); }
  std::int64_t currentGeneration() const { return generation; }

 protected:
  void setMakers(SourceMakers m) { makers = std::move(m); }

 private:
  struct SourceEntry {
    std::unique_ptr<ISource> source;
    bool used = false;
    std::int64_t updatedGeneration = -1;
  };

  SourceMakers makers;
  std::map<std::string, SourceEntry> entries;
  std::string key;  // the last looked-up key
  std::int64_t generation = 0;
};
