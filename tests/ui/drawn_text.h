#pragma once
// The text that the last rendered frame shows, read back from its draw lists:
// each whole glyph quad, found by its texture corners among the baked glyphs,
// in drawing order, as UTF-8. Blanks draw no quad and are left out, and so is a
// glyph cut by a clip rectangle.

#include <array>
#include <map>
#include <string>

#include "imgui.h"
#include "imgui_internal.h"

inline std::string drawnText() {
    std::map<std::array<float, 4>, unsigned> glyphs;
    ImFontAtlasBuilder* builder = ImGui::GetIO().Fonts->Builder;
    for (int i = 0; builder && i < builder->BakedPool.Size; ++i)
        for (const ImFontGlyph& g : builder->BakedPool[i].Glyphs)
            if (g.Visible) glyphs[{g.U0, g.V0, g.U1, g.V1}] = g.Codepoint;
    std::string text;
    const ImDrawData* data = ImGui::GetDrawData();
    for (int l = 0; data && l < data->CmdListsCount; ++l) {
        const ImVector<ImDrawVert>& v = data->CmdLists[l]->VtxBuffer;
        // A glyph's quad starts at its top-left corner; the third corner is its bottom right.
        for (int i = 0; i + 3 < v.Size; ++i) {
            auto it = glyphs.find({v[i].uv.x, v[i].uv.y, v[i + 2].uv.x, v[i + 2].uv.y});
            if (it == glyphs.end()) continue;
            char utf8[5];
            text.append(utf8, size_t(ImTextCharToUtf8(utf8, it->second)));
            i += 3;
        }
    }
    return text;
}

// How many times `part` occurs in `text`, without overlaps.
inline int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}
