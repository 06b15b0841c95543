#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "media/capture/camera_frames.h"
#include "media/capture/system_capture.h"
#include "util/com_object.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFirstVideo = DWORD(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

// Where the source reader's worker threads leave the result of the one read in flight. The reader
// reads asynchronously so that the capture thread waits here rather than inside ReadSample: a
// synchronous read blocks until the camera delivers, and nothing documented ends it from another
// thread. A stop only wakes this wait; the stopping thread never calls into Media Foundation.
class ReadMailbox final : public ComObject<IMFSourceReaderCallback, IID_IMFSourceReaderCallback> {
public:
    HRESULT STDMETHODCALLTYPE OnReadSample(HRESULT status, DWORD, DWORD flags, LONGLONG, IMFSample* sample) override {
        std::lock_guard<std::mutex> guard(lock);
        result = status;
        streamFlags = flags;
        delivered = sample;
        arrived = true;
        ready.notify_all();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFlush(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnEvent(DWORD, IMFMediaEvent*) override { return S_OK; }

    // Ends the current and every later wait.
    void cancel() {
        std::lock_guard<std::mutex> guard(lock);
        cancelled = true;
        ready.notify_all();
    }
    // The result of the read in flight; false once cancelled.
    bool wait(HRESULT& status, DWORD& flags, ComPtr<IMFSample>& sample) {
        std::unique_lock<std::mutex> guard(lock);
        ready.wait(guard, [this] { return arrived || cancelled; });
        if (cancelled) return false;
        arrived = false;
        status = result;
        flags = streamFlags;
        sample = std::move(delivered);
        return true;
    }

private:
    std::mutex lock;
    std::condition_variable ready;
    bool arrived = false, cancelled = false;
    HRESULT result = S_OK;
    DWORD streamFlags = 0;
    ComPtr<IMFSample> delivered;
};

void chooseCameraMediaType(IMFSourceReader* reader) {
    std::vector<ComPtr<IMFMediaType>> types;
    std::vector<CameraMode> modes;
    for (DWORD i = 0;; ++i) {
        ComPtr<IMFMediaType> type;
        if (FAILED(reader->GetNativeMediaType(kFirstVideo, i, &type))) break;
        CameraMode mode;
        MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &mode.width, &mode.height);
        MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &mode.fpsNumerator, &mode.fpsDenominator);
        types.push_back(type);
        modes.push_back(mode);
    }
    const int best = chooseCameraMode(modes);
    if (best >= 0) reader->SetCurrentMediaType(kFirstVideo, nullptr, types[size_t(best)].Get());
}

struct FrameLayout {
    UINT32 width = 0, height = 0;
    LONG stride = 0;
};

FrameLayout readCameraFrameLayout(IMFSourceReader* reader) {
    FrameLayout layout;
    ComPtr<IMFMediaType> type;
    if (FAILED(reader->GetCurrentMediaType(kFirstVideo, &type))) return layout;
    MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &layout.width, &layout.height);
    UINT32 stride = 0;
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))) {
        layout.stride = LONG(int32_t(stride));
    } else {
        MFGetStrideForBitmapInfoHeader(MFVideoFormat_RGB32.Data1, layout.width, &layout.stride);
    }
    return layout;
}

// Copies one sample's picture into `back`, top row first; false when the buffer is too short.
bool copySample(IMFSample* sample, const FrameLayout& layout, std::vector<uint8_t>& back) {
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return false;
    const int rowBytes = int(layout.width) * 4, rows = int(layout.height);
    ComPtr<IMF2DBuffer> buffer2d;
    BYTE* first = nullptr;
    LONG pitch = 0;
    DWORD length = 0;
    bool locked2d = false;
    if (SUCCEEDED(buffer.As(&buffer2d)) && SUCCEEDED(buffer2d->Lock2D(&first, &pitch))) {
        locked2d = true;
        // A 2D buffer holds whole rows of its pitch by definition.
        length = DWORD(std::min<uint64_t>(uint64_t(pitch < 0 ? -pitch : pitch) * uint64_t(rows), MAXDWORD));
    } else {
        BYTE* start = nullptr;
        if (FAILED(buffer->Lock(&start, nullptr, &length))) return false;
        pitch = layout.stride;
        first = pitch < 0 ? start + size_t(-pitch) * size_t(rows - 1) : start;
    }
    const bool fits = cameraBufferHolds(length, rows, rowBytes, pitch);
    if (fits) {
        back.resize(size_t(rowBytes) * size_t(rows));
        for (int y = 0; y < rows; ++y) std::memcpy(&back[size_t(y) * size_t(rowBytes)], first + ptrdiff_t(y) * pitch, size_t(rowBytes));
    }
    if (locked2d) buffer2d->Unlock2D();
    else buffer->Unlock();
    return fits;
}

}  // namespace

bool enumerateCameraDevices(IMFActivate*** devices, UINT32* count) {
    ComPtr<IMFAttributes> attributes;
    return SUCCEEDED(MFCreateAttributes(&attributes, 1)) &&
           SUCCEEDED(attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID)) &&
           SUCCEEDED(MFEnumDeviceSources(attributes.Get(), devices, count));
}

const char* cameraReadFailureText(HRESULT result, bool delivered) {
    // The device starts streaming at the first read: a camera that cannot (another program holds
    // it) or may not (the privacy setting) fails there, before any frame.
    const bool refusedAtStart = result == MF_E_HW_MFT_FAILED_START_STREAMING || result == E_ACCESSDENIED ||
                                result == MF_E_VIDEO_RECORDING_DEVICE_PREEMPTED;
    return !delivered && refusedAtStart ? kCameraBusyText : kCameraStoppedText;
}

void deviceCaptureLoop(CameraCapture& capture, int index) {
    IMFActivate** devices = nullptr;
    UINT32 count = 0;
    if (!enumerateCameraDevices(&devices, &count)) {
        devices = nullptr;
        count = 0;
    }
    ComPtr<IMFMediaSource> source;
    // A listed device that refuses to start is the camera privacy setting (which answers
    // E_ACCESSDENIED here) or another program holding the camera, never a missing camera.
    const bool listed = cameraIndexInRange(index, count);
    const bool started = listed && SUCCEEDED(devices[index]->ActivateObject(IID_PPV_ARGS(&source))) && source;
    for (UINT32 i = 0; i < count; ++i) devices[i]->Release();
    CoTaskMemFree(devices);
    if (!started) {
        capture.setStatus(listed ? kCameraBusyText : kCameraNotFoundText);
        return;
    }
    sourceCaptureLoop(capture, source.Get());
}

void sourceCaptureLoop(CameraCapture& capture, IMFMediaSource* source) {
    ComPtr<ReadMailbox> mailbox;
    mailbox.Attach(new ReadMailbox);
    ComPtr<IMFAttributes> options;
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateAttributes(&options, 2)) || FAILED(options->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE)) ||
        FAILED(options->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, mailbox.Get())) ||
        FAILED(MFCreateSourceReaderFromMediaSource(source, options.Get(), &reader))) {
        source->Shutdown();
        capture.setStatus(kCameraBusyText);
        return;
    }
    chooseCameraMediaType(reader.Get());
    ComPtr<IMFMediaType> rgb;
    if (FAILED(MFCreateMediaType(&rgb)) || FAILED(rgb->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) ||
        FAILED(rgb->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32)) ||
        FAILED(reader->SetCurrentMediaType(kFirstVideo, nullptr, rgb.Get()))) {
        source->Shutdown();
        capture.setStatus("Camera format not supported");
        return;
    }
    FrameLayout layout = readCameraFrameLayout(reader.Get());
    bool delivered = false;
    {
        std::lock_guard<std::mutex> guard(capture.lock);
        capture.status.clear();
        capture.cancelRead = [mailbox] { mailbox->cancel(); };
    }
    while (!capture.stop) {
        DWORD flags = 0;
        ComPtr<IMFSample> sample;
        HRESULT status = reader->ReadSample(kFirstVideo, 0, nullptr, nullptr, nullptr, nullptr);
        if (SUCCEEDED(status) && !mailbox->wait(status, flags, sample)) break;  // stopped
        // After the error flag the reader takes no further calls, whatever the status says.
        if (FAILED(status) || (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR))) {
            if (!capture.stop) capture.setStatus(cameraReadFailureText(status, delivered));
            break;
        }
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) layout = readCameraFrameLayout(reader.Get());
        if (!sample || layout.width == 0 || layout.height == 0) continue;
        // A buffer shorter than the picture is skipped rather than read past its end.
        if (copySample(sample.Get(), layout, capture.back)) {
            delivered = true;
            handOffCameraFrame(capture, int(layout.width), int(layout.height));
        }
    }
    {
        std::lock_guard<std::mutex> guard(capture.lock);
        capture.cancelRead = nullptr;
    }
    // A read still in flight ends with the source, into the mailbox, which the reader keeps alive
    // until the reader goes (it finds the source already shut down).
    source->Shutdown();
}
