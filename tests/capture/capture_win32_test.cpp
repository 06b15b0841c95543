// The capture sources under the real system calls: the phone's H.264 through the system decoder
// against ffmpeg's decode, what each unavailable path tells the user, the window-list rules on
// real windows, and the release rules of desktop duplication and window capture.
#include <gtest/gtest.h>

#include <d3d11.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "media/capture/camera_capture.h"
#include "media/capture/system_capture.h"
#include "media/d3d11/screen_source.h"
#include "media/d3d11/window_source.h"
#include "media/media.h"
#include "media/media_kit.h"
#include "media/packaging.h"
#include "project/project.h"
#include "remote/phone_video.h"
#include "support/wait_for.h"

using Microsoft::WRL::ComPtr;
using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

std::string dataDir() {
    const char* dir = std::getenv("QH_BINARY_DIR");
    return std::string(dir ? dir : ".") + "\\test-data\\phone\\";
}

// One packet per access unit: the stream carries a delimiter before every picture.
std::vector<PhonePacket> accessUnits(const std::vector<uint8_t>& stream) {
    std::vector<PhonePacket> units;
    for (const NalSpan& nal : splitAnnexB(stream.data(), stream.size())) {
        const int type = nalType(nal);
        if (type == kNalAccessUnitDelimiter || units.empty()) units.emplace_back();
        PhonePacket& unit = units.back();
        static const uint8_t kStartCode[4] = {0, 0, 0, 1};
        unit.data.insert(unit.data.end(), kStartCode, kStartCode + 4);
        unit.data.insert(unit.data.end(), nal.data, nal.data + nal.size);
        if (type == kNalIdr) unit.keyframe = true;
    }
    return units;
}

struct Device {
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    Device() {
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                          D3D11_SDK_VERSION, &device, nullptr, &context);
    }
};

// name, width, height, frames, tolerance. Given ffmpeg's own NV12 our conversion lands within 1 of
// its BGRA for both streams, and Wine's decoder gives the SD stream's planes exactly as ffmpeg
// does. The portrait stream's chroma is flat but for a few blocks the encoder left a step off near
// its top-left; there Wine's decoder hands out some ten chroma samples along one block edge a step
// off ffmpeg's (its luma is exact), and a step of U is two of blue: hence 3 for that stream only.
class PhoneDecoding : public ::testing::TestWithParam<std::tuple<const char*, int, int, int, int>> {};

TEST_P(PhoneDecoding, SystemDecoderMatchesFfmpeg) {
    const auto [name, width, height, frames, tolerance] = GetParam();
    const std::vector<uint8_t> stream = readFile(dataDir() + name + ".h264");
    const std::vector<uint8_t> reference = readFile(dataDir() + name + ".bgra");
    const size_t frameBytes = size_t(width) * size_t(height) * 4;
    ASSERT_FALSE(stream.empty());
    ASSERT_EQ(reference.size(), frameBytes * size_t(frames));
    std::vector<PhonePacket> units = accessUnits(stream);
    ASSERT_EQ(units.size(), size_t(frames));
    ASSERT_TRUE(units[0].keyframe);

    PhoneFeed feed;
    CameraCapture capture;
    startCameraCapture(capture, [&feed](CameraCapture& c) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            std::unique_ptr<PhoneDecoder> decoder = makeSystemPhoneDecoder();
            phoneCaptureLoop(c, feed, *decoder, steadyNowMs);
        }
        CoUninitialize();
    });
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(capture.lock);
        return capture.status == kPhoneWaitingText;
    }));
    // The stream over and over until every frame came out, since a decoder may hold several back;
    // paced like a camera, one picture at a time. A busy machine can still let a hand-off be
    // overwritten unseen (the newest picture wins, as it should), which a later round makes up for.
    std::atomic<bool> enough{false}, sent{false};
    std::thread phone([&] {
        // As the phone sends them: each access unit cut into datagrams, numbered frame by frame,
        // joined again by the UDP service's assembler and queued exactly as it queues them.
        constexpr uint32_t kSession = 7;
        PhoneVideoAssembler assembler(kSession);
        uint32_t frameNumber = 1;
        for (int round = 0; round < 10 && !enough; ++round) {
            for (const PhonePacket& unit : units) {
                const size_t count = (unit.data.size() + kPhoneVideoMaxPayload - 1) / kPhoneVideoMaxPayload;
                for (size_t i = 0; i < count; ++i) {
                    const size_t at = i * kPhoneVideoMaxPayload;
                    const size_t n = std::min(kPhoneVideoMaxPayload, unit.data.size() - at);
                    const uint8_t header[kPhoneVideoHeaderSize] = {
                        'Q', 'H', kPhoneVideoVersion, uint8_t(unit.keyframe ? 1 : 0), 0, 0, 0, kSession,
                        uint8_t(frameNumber >> 24), uint8_t(frameNumber >> 16), uint8_t(frameNumber >> 8),
                        uint8_t(frameNumber), uint8_t(i >> 8), uint8_t(i), uint8_t(count >> 8), uint8_t(count)};
                    std::vector<uint8_t> datagram(header, header + kPhoneVideoHeaderSize);
                    datagram.insert(datagram.end(), unit.data.begin() + std::ptrdiff_t(at),
                                    unit.data.begin() + std::ptrdiff_t(at + n));
                    PhoneVideoPacket packet;
                    ASSERT_TRUE(parsePhoneVideoPacket(datagram.data(), datagram.size(), packet));
                    std::vector<uint8_t> frame;
                    bool keyframe = false;
                    feed.lastPacketMs = steadyNowMs();
                    if (assembler.addFragment(packet, frame, keyframe)) {
                        feed.push(PhonePacket{std::move(frame), keyframe, assembler.rotation});
                    }
                }
                ++frameNumber;
                waitFor([&] {
                    std::lock_guard<std::mutex> guard(feed.lock);
                    return feed.queue.empty();
                });
                std::this_thread::sleep_for(30ms);  // a camera's frame interval
            }
        }
        sent = true;
    });
    // Each picture is copied out under the lock and compared outside it, so as not to hold up
    // the decoder; its closest frame of the stream must lie within the tolerance.
    std::vector<bool> matched(size_t(frames), false);
    std::vector<uint8_t> visible(frameBytes);
    int received = 0;
    // The last frame may still be held back by the decoder when the stream stops.
    const auto allMatched = [&] { return std::all_of(matched.begin(), matched.end() - 1, [](bool m) { return m; }); };
    const bool done = waitFor([&] {
        {
            std::lock_guard<std::mutex> guard(capture.lock);
            if (!capture.newFrame) return sent.load();
            capture.newFrame = false;
            // Wine's decoder reports no display aperture, so a width that is not a multiple of 16
            // comes out at its coded width; the visible part is compared.
            EXPECT_TRUE(capture.width == width || capture.width == (width + 15) / 16 * 16) << capture.width;
            EXPECT_EQ(capture.height, height);
            EXPECT_EQ(capture.status, "");
            for (int y = 0; y < height && capture.width >= width; ++y) {
                std::memcpy(&visible[size_t(y) * size_t(width) * 4],
                            &capture.front[size_t(y) * size_t(capture.width) * 4], size_t(width) * 4);
            }
        }
        ++received;
        int best = 256, bestFrame = 0;
        for (int f = 0; f < frames; ++f) {
            const uint8_t* ref = reference.data() + size_t(f) * frameBytes;
            int worst = 0;
            for (size_t i = 0; i < frameBytes && worst < best; ++i) worst = std::max(worst, std::abs(int(ref[i]) - int(visible[i])));
            if (worst < best) best = worst, bestFrame = f;
        }
        EXPECT_LE(best, tolerance) << "picture " << received;
        if (best <= tolerance) matched[size_t(bestFrame)] = true;
        return allMatched();
    });
    enough = true;
    phone.join();
    stopCameraCapture(capture);
    ASSERT_TRUE(done) << "received " << received << ", status " << capture.status;
    // Decoding never skips a frame for good: every one of the stream comes out.
    for (int f = 0; f < frames - 1; ++f) EXPECT_TRUE(matched[size_t(f)]) << "frame " << f << " of " << received << " pictures";
}

INSTANTIATE_TEST_SUITE_P(Streams, PhoneDecoding,
                         ::testing::Values(std::make_tuple("sd", 480, 640, 8, 2),
                                           std::make_tuple("portrait", 1080, 1920, 3, 3)));

// A short file stands in for a camera, which Wine has none of: the camera loop on a real media
// source and source reader, its asynchronous reads bringing the pictures, its end a camera that
// stopped. Raw BGRA in two colours, so that each picture is checked whole and the right way up.
TEST(CameraReader, FileSourceDeliversPicturesThenEndsAsAStoppedCamera) {
    constexpr int kWidth = 320, kHeight = 240;
    constexpr uint8_t kTop[3] = {0xCC, 0x66, 0x33}, kBottom[3] = {0x33, 0x66, 0xCC};  // B, G, R
    ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL)));
    {
        ComPtr<IMFSourceResolver> resolver;
        ComPtr<IUnknown> object;
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        const std::string path = dataDir() + "camera.avi";
        ASSERT_TRUE(SUCCEEDED(MFCreateSourceResolver(&resolver)));
        ASSERT_TRUE(SUCCEEDED(resolver->CreateObjectFromURL(std::wstring(path.begin(), path.end()).c_str(),
                                                            MF_RESOLUTION_MEDIASOURCE, nullptr, &type, &object)));
        ComPtr<IMFMediaSource> source;
        ASSERT_TRUE(SUCCEEDED(object.As(&source)));
        CameraCapture capture;
        startCameraCapture(capture, [&source](CameraCapture& c) {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            sourceCaptureLoop(c, source.Get());
            CoUninitialize();
        });
        int pictures = 0;
        const bool ended = waitFor([&] {
            std::lock_guard<std::mutex> guard(capture.lock);
            if (capture.newFrame) {
                capture.newFrame = false;
                ++pictures;
                EXPECT_EQ(capture.width, kWidth);
                EXPECT_EQ(capture.height, kHeight);
                size_t wrong = 0;
                for (size_t i = 0; i + 3 < capture.front.size(); i += 4) {
                    const uint8_t* expected = i / 4 < size_t(kWidth) * kHeight / 2 ? kTop : kBottom;
                    wrong += std::memcmp(&capture.front[i], expected, 3) != 0;
                }
                EXPECT_EQ(wrong, 0u);
            }
            return capture.status == "Camera stopped (unplugged or used by another app)";
        });
        stopCameraCapture(capture);
        EXPECT_TRUE(ended) << capture.status;
        EXPECT_GT(pictures, 0);
    }
    MFShutdown();
}

// A camera starts streaming at the first read, so the codes of a camera that cannot start mean
// busy or blocked only before the first frame; the same codes later, or any other, mean stopped.
TEST(CameraDevices, AFirstReadRefusedIsBusyOrBlockedALaterFailureIsAStop) {
    struct Case {
        HRESULT result;
        bool delivered;
        const char* status;
    } cases[] = {
        {MF_E_HW_MFT_FAILED_START_STREAMING, false, kCameraBusyText},  // another program holds it
        {E_ACCESSDENIED, false, kCameraBusyText},                      // the privacy setting
        {MF_E_VIDEO_RECORDING_DEVICE_PREEMPTED, false, kCameraBusyText},
        {MF_E_VIDEO_RECORDING_DEVICE_PREEMPTED, true, kCameraStoppedText},
        {MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, false, kCameraStoppedText},  // unplugged
        {MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, true, kCameraStoppedText},
        {E_ACCESSDENIED, true, kCameraStoppedText},
        {S_OK, false, kCameraStoppedText},  // the end or error flag
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(cameraReadFailureText(c.result, c.delivered), c.status) << std::hex << c.result << " " << c.delivered;
    }
}

struct TestWindow {
    HWND hwnd = nullptr;
    TestWindow(const wchar_t* title, DWORD exStyle = 0, HWND owner = nullptr, bool visible = true) {
        hwnd = CreateWindowExW(exStyle, L"STATIC", title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 120, owner, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        if (visible) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    }
    ~TestWindow() { DestroyWindow(hwnd); }
};

// Each path that cannot capture here, looked up as the studio looks a layer up (the media kit's
// source cache, one tick at a time) until the layer shows the text a user would read.
TEST(CaptureSources, EachUnavailablePathShowsItsTextOnALayer) {
    Device gpu;
    ASSERT_TRUE(gpu.device);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // as the studio's main thread
    const std::vector<PhonePacket> units = accessUnits(readFile(dataDir() + "sd.h264"));
    ASSERT_FALSE(units.empty());
    TestWindow window(L"QH status window");
    {
        MediaKit kit = createMediaKit(gpu.device.Get(), gpu.context.Get());
        struct Case {
            int kind, deviceIndex;
            const char* source;
            bool removeBackground;  // on the phone camera, which is then sent a stream
            std::string status;
        } cases[] = {
            {LayerKind::Screen, 9, "", false, "Display not found"},
            // Wine has no desktop duplication: the user sees the system's code.
            {LayerKind::Screen, 0, "", false, "Screen capture unavailable 0x80004001"},
            {LayerKind::GameOrApp, 0, "", false, "Choose a window"},
            {LayerKind::GameOrApp, 0, "No window has this title 7f3a", false,
             "Window not found: No window has this title 7f3a"},
            // A real window, but Wine's Direct3D cannot hand its device to graphics capture.
            {LayerKind::GameOrApp, 0, "QH status window", false,
             "Window capture unavailable: Procedure not found"},
            // No cameras here: any index, -1 included, is "not found", never read before the list.
            {LayerKind::Camera, 0, "", false, "Camera not found"},
            {LayerKind::Camera, -1, "", false, "Camera not found"},
            {LayerKind::Camera, kPhoneCameraIndex, "", false, kPhoneWaitingText},
            // Wine has no Windows ML, and this program carries no model: the pictures stay opaque.
            {LayerKind::Camera, kPhoneCameraIndex, "", true,
             "Background removal needs Windows ML, which could not start"},
        };
        for (const Case& c : cases) {
            Layer layer;
            layer.kind = c.kind;
            layer.deviceIndex = c.deviceIndex;
            layer.source = c.source;
            layer.removeBackground = c.removeBackground;
            std::atomic<bool> sending{c.removeBackground};
            std::thread phone([&] {
                PhoneFeed& feed = *kit.phoneFeed;
                while (sending) {
                    for (const PhonePacket& unit : units) {
                        feed.lastPacketMs = steadyNowMs();
                        feed.push(PhonePacket(unit));
                        waitFor([&] {
                            std::lock_guard<std::mutex> guard(feed.lock);
                            return feed.queue.empty() || !sending;
                        });
                    }
                }
            });
            SourceFrame frame;
            const bool shown = waitFor([&] {
                frame = kit.sources->frameFor(layer);
                kit.sources->endFrame();
                return frame.status == c.status && (!c.removeBackground || frame.view);
            });
            sending = false;
            phone.join();
            EXPECT_TRUE(shown) << c.status << " <> " << frame.status;
            if (c.removeBackground) {
                EXPECT_EQ(frame.mode, FrameOpaque);
            } else {
                EXPECT_EQ(frame.view, nullptr) << c.status;
            }
            kit.sources->endFrame();  // a tick without the layer lets its source go
        }
        EXPECT_FALSE(kit.virtualCamera->start());
        EXPECT_EQ(kit.virtualCamera->lastError(), "The virtual camera needs Windows 11.");
    }
    CoUninitialize();
}

TEST(WindowList, OnlyPlainVisibleTitledTopLevelWindowsOtherThanOurs) {
    TestWindow alpha(L"QH list alpha");
    TestWindow beta(L"QH list beta \u00e9");
    TestWindow tool(L"QH list tool", WS_EX_TOOLWINDOW);
    TestWindow owned(L"QH list owned", 0, alpha.hwnd);
    TestWindow hidden(L"QH list hidden", 0, nullptr, false);
    TestWindow untitled(L"");
    TestWindow ours(L"Quillhaven");
    const std::vector<std::string> list = listCapturableWindows();
    for (auto [title, shown] : {std::pair{"QH list alpha", true}, {"QH list beta \xC3\xA9", true}, {"QH list tool", false},
                                {"QH list owned", false}, {"QH list hidden", false}, {"Quillhaven", false}, {"", false}}) {
        EXPECT_EQ(std::find(list.begin(), list.end(), title) != list.end(), shown) << title;
    }

    // An exact title wins over an earlier window that only contains it.
    TestWindow editor(L"QH Editor");
    TestWindow longer(L"QH Editor notes");  // made last, so first in the front-to-back order
    EXPECT_EQ(findCapturableWindow("QH Editor"), editor.hwnd);
    EXPECT_EQ(findCapturableWindow("Editor notes"), longer.hwnd);
    EXPECT_EQ(findCapturableWindow("QH list tool"), nullptr);
}

// --- Release rules, against stand-ins for the system objects -------------------------------
template <typename I>
struct Counted : I {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};


// The private data every Direct3D and DXGI object carries, which nothing here uses.
template <typename I>
struct Uncarried : Counted<I> {
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
};

// A desktop image whose size no texture can have.
struct HugeTexture : Uncarried<ID3D11Texture2D> {
    void STDMETHODCALLTYPE GetDevice(ID3D11Device** d) override { *d = nullptr; }
    void STDMETHODCALLTYPE GetType(D3D11_RESOURCE_DIMENSION* t) override { *t = D3D11_RESOURCE_DIMENSION_TEXTURE2D; }
    void STDMETHODCALLTYPE SetEvictionPriority(UINT) override {}
    UINT STDMETHODCALLTYPE GetEvictionPriority() override { return 0; }
    void STDMETHODCALLTYPE GetDesc(D3D11_TEXTURE2D_DESC* d) override {
        *d = D3D11_TEXTURE2D_DESC{};
        d->Width = d->Height = 1u << 20;
        d->Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    }
};

struct DesktopResource : Uncarried<IDXGIResource> {
    HugeTexture* texture = nullptr;
    int asked = 0;  // for its texture, which a copy needs first
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(ID3D11Texture2D)) {
            ++asked;
            texture->AddRef();
            *out = static_cast<ID3D11Texture2D*>(texture);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDevice(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSharedHandle(HANDLE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUsage(DXGI_USAGE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEvictionPriority(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEvictionPriority(UINT*) override { return E_NOTIMPL; }
};

struct FakeDuplication : Uncarried<IDXGIOutputDuplication> {
    DesktopResource* resource = nullptr;
    HRESULT answer = S_OK;
    LONGLONG presented = 0;  // the frame's LastPresentTime: 0 when only the pointer changed
    int released = 0;
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE GetDesc(DXGI_OUTDUPL_DESC*) override {}
    HRESULT STDMETHODCALLTYPE AcquireNextFrame(UINT, DXGI_OUTDUPL_FRAME_INFO* info, IDXGIResource** out) override {
        *info = DXGI_OUTDUPL_FRAME_INFO{};
        if (FAILED(answer)) return answer;
        info->LastPresentTime.QuadPart = presented;
        resource->AddRef();
        *out = resource;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFrameDirtyRects(UINT, RECT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFrameMoveRects(UINT, DXGI_OUTDUPL_MOVE_RECT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFramePointerShape(UINT, void*, UINT*, DXGI_OUTDUPL_POINTER_SHAPE_INFO*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE MapDesktopSurface(DXGI_MAPPED_RECT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnMapDesktopSurface() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReleaseFrame() override {
        ++released;
        return S_OK;
    }
};

TEST(DesktopDuplication, OnlyPresentedImagesAreCopiedAndEveryFrameIsReleased) {
    Device gpu;
    ASSERT_TRUE(gpu.device) << "no Direct3D 11 device";
    HugeTexture texture;
    DesktopResource resource;
    resource.texture = &texture;
    FakeDuplication duplication;
    duplication.resource = &resource;
    SourceTexture copy;
    // Only the pointer moved: the frame is given back without its image being touched.
    EXPECT_EQ(takeDesktopFrame(&duplication, gpu.device.Get(), gpu.context.Get(), copy), S_OK);
    EXPECT_EQ(duplication.released, 1);
    EXPECT_EQ(resource.asked, 0);
    // A new image too large for any texture: the copy is given up, the frame still released.
    duplication.presented = 1000;
    EXPECT_EQ(takeDesktopFrame(&duplication, gpu.device.Get(), gpu.context.Get(), copy), S_OK);
    EXPECT_EQ(duplication.released, 2);
    EXPECT_EQ(resource.asked, 1);
    EXPECT_EQ(copy.texture, nullptr);
    EXPECT_EQ(texture.refs, 1u);
    EXPECT_EQ(resource.refs, 1u);
    // No new desktop image: nothing was acquired, so nothing is released.
    duplication.answer = DXGI_ERROR_WAIT_TIMEOUT;
    EXPECT_EQ(takeDesktopFrame(&duplication, gpu.device.Get(), gpu.context.Get(), copy), DXGI_ERROR_WAIT_TIMEOUT);
    EXPECT_EQ(duplication.released, 2);
}

// Records the order in which the capture lets go of its item.
struct FakeItem : Counted<wgc::IGraphicsCaptureItem> {
    std::vector<std::string>* log = nullptr;
    wgc::IItemClosedHandler* handler = nullptr;
    ULONG STDMETHODCALLTYPE Release() override {
        log->push_back("release item");
        return --refs;
    }
    HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Size(wgc::SizeInt32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_Closed(wgc::IItemClosedHandler* h, wgc::EventToken* token) override {
        handler = h;
        handler->AddRef();
        token->value = 42;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE remove_Closed(wgc::EventToken token) override {
        log->push_back("revoke " + std::to_string(token.value));
        return S_OK;
    }
};

TEST(WindowCaptureRelease, HandlerIsRevokedBeforeTheItemGoesAndOutlivesTheCapture) {
    std::vector<std::string> log;
    FakeItem item;
    item.log = &log;
    auto capture = std::make_unique<WindowCapture>();
    capture->item = &item;
    ASSERT_EQ(watchWindowClosed(*capture), S_OK);
    std::shared_ptr<std::atomic<bool>> closed = capture->closed;
    // The system calls the handler from a thread of its own.
    std::thread([&] { item.handler->Invoke(&item, nullptr); }).join();
    EXPECT_TRUE(closed->load());
    dropWindowCapture(capture);
    EXPECT_EQ(log, (std::vector<std::string>{"revoke 42", "release item"}));
    // A late event after the capture is gone only touches the flag the handler shares.
    closed->store(false);
    item.handler->Invoke(&item, nullptr);
    EXPECT_TRUE(closed->load());
    item.handler->Release();
}

}  // namespace
