#pragma once
// Rules of the studio frame that need no GUI: what the top bar shows and where the
// video service's page is.

#include <string>

#include "live/live_output.h"
#include "livedata/live_data_feed.h"
#include "project/project.h"
#include "ui/top_bar.h"

// 0 light, 1 moderate, 2 heavy: the tick's share of the frame interval.
int loadLevelFor(double tickMsAverage, double frameIntervalMs);
// "Light load", then "  ·  " and the file name while recording; reuses out's storage.
void loadStatusText(int level, bool recording, const std::string& fileName, std::string& out);
// Writes the popup row of one live output into row, reusing its storage.
void fillGoLiveRow(const DestinationStatus& status, GoLiveRow& row);
// 0 no camera layer, 1 camera layers hidden, 2 a camera layer shown, by the primary
// visibility (which belongs to the canvas on view while the frame runs).
int cameraStateOf(const Scene& scene);
// True for a video id the service could have issued: 11 of [A-Za-z0-9_-].
bool isVideoId(const std::string& id);
// The stream's page for a known live video id, else the live dashboard.
std::string streamDetailsUrl(const std::string& liveVideoId);
// The page for a destination: its channel's live video, when the live data knows one.
std::string streamDetailsUrlFor(const Project& project, const std::string& destinationId,
                                const std::vector<ChannelState>& channels);

extern const char* const kStoppedOneChannelNotice;
extern const char* const kFinishBeforeUpdateNotice;
