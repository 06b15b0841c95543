#include "app/toast.h"

#include <algorithm>

#include "ui/style.h"
#include "ui/widgets.h"
#include "util/shell.h"

std::function<void(const std::wstring&)> Toast::openInExplorer = [](const std::wstring& path) {
    showInExplorer(path);
};

ToastBox toastBox(float tw, float th, float x, float y, float s) {
    ToastBox b;
    b.min = ImVec2(x - tw / 2 - 18 * s, y - 64 * s);
    b.max = ImVec2(b.min.x + tw + 36 * s, b.min.y + th + 18 * s);
    b.textPos = ImVec2(b.min.x + 18 * s, b.min.y + 9 * s);
    return b;
}

float toastAlpha(double expiresAt, double now) {
    double a = std::min(1.0, (expiresAt - now) * 2.0);
    return a < 0 ? 0.0f : float(a);
}

double Toast::show(const std::string& message, const std::wstring& path) {
    text = message;
    folder = path;
    expiresAt = ImGui::GetTime() + 4.0;
    return expiresAt;
}

void Toast::draw(float x, float y) {
    double now = ImGui::GetTime();
    if (expiresAt <= now) return;
    float alpha = toastAlpha(expiresAt, now);
    float s = uiScale();
    ImVec2 ts = ImGui::CalcTextSize(text.c_str(), nullptr, false);
    ToastBox b = toastBox(ts.x, ts.y, x, y, s);
    ImDrawList* dl = ImGui::GetForegroundDrawList();
    drawSoftShadow(dl, b.min, b.max, 18 * s, 10 * s, alpha);
    float height = b.max.y - b.min.y;
    dl->AddRectFilled(b.min, b.max, colorWithAlpha(0xF02A2828u, alpha), height * 0.5f);
    dl->AddText(b.textPos, colorWithAlpha(IM_COL32_WHITE, alpha), text.c_str());
    if (!folder.empty() && ImGui::IsMouseClicked(ImGuiMouseButton_Left)) {
        ImVec2 m = ImGui::GetIO().MousePos;
        if (m.x >= b.min.x && m.x < b.max.x && m.y >= b.min.y && m.y < b.max.y) {
            if (openInExplorer) openInExplorer(folder);
            expiresAt = 0;
        }
    }
}
