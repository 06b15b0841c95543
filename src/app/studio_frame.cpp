// The studio frame: fixed regions of the window, drawn once per displayed frame.

#include "app/studio.h"
#include "imgui.h"
#include "ui/style.h"
#include "ui/theme.h"
#include "ui/widgets.h"
#include "util/shell.h"

namespace {
constexpr float kTitleBarHeight = 56;
constexpr float kSidebarWidth = 260;
constexpr float kInspectorWidth = 320;
constexpr float kProductNameInset = 20;
constexpr int64_t kAutosaveIntervalNs = 120LL * 1000000000LL;
}  // namespace

void Studio::drawFrame() {
    const int64_t now = steadyNowNs();
    if (now >= nextAutosave) {
        nextAutosave = now + kAutosaveIntervalNs;
        setEditCanvas(0);
        project.save(projectPath);
    }

    setEditCanvas(viewCanvas);
    handleShortcuts();
    titleDragRects.clear();

    const float s = uiScale();
    const ThemePalette& p = palette();
    const ImGuiViewport* vp = ImGui::GetMainViewport();
    const ImVec2 O = vp->Pos;
    const float W = vp->Size.x, H = vp->Size.y;
    const float bar = kTitleBarHeight * s, side = kSidebarWidth * s;

    ImGui::SetNextWindowPos(O);
    ImGui::SetNextWindowSize(vp->Size);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::Begin("##root", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                     ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::PopStyleVar(3);

    const Scene* scene = project.activeScene >= 0 && project.activeScene < int(project.scenes.size())
                             ? &project.scenes[size_t(project.activeScene)]
                             : nullptr;
    const bool inspectorShown =
        scene && selectedLayer >= 0 && selectedLayer < int(scene->layers.size());
    const float iw = inspectorShown ? kInspectorWidth * s : 0.0f;

    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(O, ImVec2(O.x + W, O.y + bar), p.titleBarBg);
    dl->AddRectFilled(ImVec2(O.x, O.y + bar), ImVec2(O.x + side, O.y + H), p.sidebarBg);
    dl->AddLine(ImVec2(O.x + side, O.y + bar), ImVec2(O.x + side, O.y + H), p.border, 1.0f);
    if (inspectorShown) {
        dl->AddRectFilled(ImVec2(O.x + W - iw, O.y + bar), ImVec2(O.x + W, O.y + H), p.inspectorBg);
        dl->AddLine(ImVec2(O.x + W - iw, O.y + bar), ImVec2(O.x + W - iw, O.y + H), p.border, 1.0f);
    }
    dl->AddLine(ImVec2(O.x, O.y + bar), ImVec2(O.x + W, O.y + bar), p.border, 1.0f);
    if (ImFont* f = uiFonts().semibold) {
        const char* name = "Quillhaven";
        ImVec2 ts = f->CalcTextSizeA(f->LegacySize, FLT_MAX, 0.0f, name);
        dl->AddText(f, f->LegacySize, ImVec2(O.x + kProductNameInset * s, O.y + (bar - ts.y) * 0.5f),
                    p.text, name);
    }
    titleDragRects.push_back({O.x, O.y, O.x + side, O.y + bar});
    if (int command = windowButtons(ImVec2(O.x + W, O.y), bar, isWindowMaximized(hwnd)))
        runCaptionCommand(hwnd, command);

    ImGui::SetCursorScreenPos(ImVec2(O.x, O.y + bar));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(10 * s, 2 * s));
    ImGui::BeginChild("##sidebar", ImVec2(side, H - bar), ImGuiChildFlags_AlwaysUseWindowPadding);
    ImGui::EndChild();
    ImGui::PopStyleVar();

    if (inspectorShown)
        drawInspector(ImVec2(O.x + W - iw, O.y + bar), ImVec2(iw, H - bar));

    if (settings.open)
        dl->AddRectFilled(ImVec2(O.x, O.y + bar), ImVec2(O.x + W, O.y + H),
                          project.darkMode ? 0x6E000000u : 0x28000000u);
    ImGui::End();

    drawSettings();
    toast.draw(O.x + side + (W - side - iw) / 2, O.y + H);
    setEditCanvas(0);
}
