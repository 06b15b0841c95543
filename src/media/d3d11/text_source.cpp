#include "media/d3d11/text_source.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "media/text_layout.h"
#include "util/text.h"

namespace {

HFONT makeFont(int height, int weight) {
  return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                     CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
}

// A memory DC with a top-down 32-bit DIB selected, cleared to zero; every
// GDI object is gone when it goes.
class GdiBitmap {
 public:
  GdiBitmap(int width, int height) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    if (!dc_) return;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_ || !bits) return;
    bits_ = static_cast<std::uint8_t*>(bits);
    std::memset(bits_, 0, std::size_t(width) * height * 4);
    oldBitmap_ = SelectObject(dc_, bitmap_);
    SetBkMode(dc_, TRANSPARENT);
  }
  ~GdiBitmap() {
    if (oldFont_) SelectObject(dc_, oldFont_);
    if (oldBitmap_) SelectObject(dc_, oldBitmap_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;

  HDC dc() const { return dc_; }
  std::uint8_t* bits() const { return bits_; }
  void useFont(HFONT font) {
    HGDIOBJ old = SelectObject(dc_, font);
    if (!oldFont_) oldFont_ = old;
  }
  bool upload(SourceTexture& out, ID3D11Device* device) {
    GdiFlush();
    return uploadBgraTexture(out, device, width_, height_, bits_, width_ * 4, DXGI_FORMAT_B8G8R8A8_UNORM);
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  HGDIOBJ oldFont_ = nullptr;
  std::uint8_t* bits_ = nullptr;
};

struct FontHandle {
  HFONT font;
  explicit FontHandle(HFONT f) : font(f) {}
  ~FontHandle() {
    if (font) DeleteObject(font);
  }
  FontHandle(const FontHandle&) = delete;
  FontHandle& operator=(const FontHandle&) = delete;
};

int textHeight(HDC dc, const std::wstring& text, int width, UINT flags) {
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), int(text.size()), &r, flags | DT_CALCRECT);
  return r.bottom - r.top;
}

}  // namespace

TextSource::TextSource(ID3D11Device* device, ID3D11DeviceContext*, const std::string& text, float fontSize) {
  const std::wstring wide = utf8ToWide(text.empty() ? std::string(" ") : text);
  const FontHandle font(makeFont(-fontPixels(fontSize), 600));

  RECT measured{0, 0, 0, 0};
  {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, font.font);
    DrawTextW(dc, wide.c_str(), int(wide.size()), &measured, DT_CALCRECT | DT_NOPREFIX | DT_CENTER);
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  const int pad = textLayerPad(fontSize);
  const int width = std::clamp(int(measured.right - measured.left) + 2 * pad, 1, 8192);
  const int height = std::clamp(int(measured.bottom - measured.top) + 2 * pad, 1, 8192);

  GdiBitmap bitmap(width, height);
  if (!bitmap.bits()) return;
  bitmap.useFont(font.font);
  SetTextColor(bitmap.dc(), RGB(255, 255, 255));
  RECT box{pad, pad, width - pad, height - pad};
  DrawTextW(bitmap.dc(), wide.c_str(), int(wide.size()), &box, DT_NOPREFIX | DT_CENTER);
  bitmap.upload(texture, device);
}

SourceFrame TextSource::frame() { return texture.frame(3); }

BoxTextSource::BoxTextSource(ID3D11Device* device, ID3D11DeviceContext*, const std::string& liveText,
                             float fontSize, int width, int height, bool isChat, const float colour[4]) {
  const BoxTextMetrics m = boxTextMetrics(fontSize, width, height);
  // Fonts first: they must outlive the DC that has them selected.
  const FontHandle messageFont(makeFont(m.messageFontHeight, 600));
  const FontHandle authorFont(makeFont(m.authorFontHeight, 700));
  GdiBitmap bitmap(m.width, m.height);
  if (!bitmap.bits()) return;
  HDC dc = bitmap.dc();
  const int textWidth = m.width - 2 * m.pad;

  if (isChat) {
    const std::vector<ChatBoxLine> lines = layoutBoxText(liveText);
    int bottom = m.height - m.pad;
    for (auto it = lines.rbegin(); it != lines.rend() && bottom >= 1; ++it) {
      const std::wstring author = utf8ToWide(it->author);
      const std::wstring message = utf8ToWide(it->message);
      bitmap.useFont(authorFont.font);
      const int authorHeight = textHeight(dc, author, textWidth, DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE);
      bitmap.useFont(messageFont.font);
      const int messageHeight = textHeight(dc, message, textWidth, DT_EDITCONTROL | DT_NOPREFIX | DT_WORDBREAK);
      SetTextColor(dc, RGB(255, 255, 255));
      RECT messageBox{m.pad, bottom - messageHeight, m.width - m.pad, bottom};
      DrawTextW(dc, message.c_str(), int(message.size()), &messageBox, DT_EDITCONTROL | DT_NOPREFIX | DT_WORDBREAK);
      bitmap.useFont(authorFont.font);
      SetTextColor(dc, authorColour(it->colourIndex));
      RECT authorBox{m.pad, bottom - messageHeight - authorHeight, m.width - m.pad, bottom - messageHeight};
      DrawTextW(dc, author.c_str(), int(author.size()), &authorBox, DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE);
      bottom = bottom - messageHeight - authorHeight - m.messageGap;
    }
  } else {
    const std::wstring text = utf8ToWide(liveText);
    bitmap.useFont(messageFont.font);
    SetTextColor(dc, counterTextColour(colour));
    RECT box{m.pad, 0, m.width - m.pad, m.height};
    DrawTextW(dc, text.c_str(), int(text.size()), &box, DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
  }

  GdiFlush();
  applyHaloAlpha(bitmap.bits(), m.width, m.height, m.haloRadius);
  bitmap.upload(texture, device);
}

SourceFrame BoxTextSource::frame() { return texture.frame(1); }
