#pragma once
// What chat and live-counter layers show: the chat lines (or a hint when
// there are none) and counter templates with their placeholders filled.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "livedata/live_data_feed.h"
#include "project/project.h"

// The lines chat displays show: the chat, else one status line per channel,
// else the hint to add a channel.
std::vector<ChatEntry> buildChatLines(const std::vector<ChatEntry>& entries,
                                      const std::vector<ChannelState>& states);

// The chat-layer text: "author 0x1F text 0x1F colour" lines, each ended by a
// line feed. Line feeds, carriage returns and 0x1F inside author and text
// become blanks, so that nothing a viewer types can forge a line or a colour.
std::string chatLayerText(const std::vector<ChatEntry>& lines);

// Fills liveText of the scene's chat and counter layers.
void applyLiveDataToScene(Scene& scene, const std::vector<ChatEntry>& entries,
                          const std::vector<ChannelState>& states);

// The sum of the known viewer counts, saturated at the largest int64; -1 when none is known.
int64_t totalViewers(const std::vector<ChannelState>& states);

std::string formatWithCommas(int64_t n);
void replaceAll(std::string& text, std::string_view what, std::string_view with);

// The demonstration data of the showcase start.
std::vector<ChatEntry> showcaseChatEntries();
std::vector<ChannelState> showcaseChannelStates();
