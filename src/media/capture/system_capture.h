// The Windows halves of the camera paths, behind the portable capture state.
#pragma once

#include <mfidl.h>

#include <memory>

#include "media/capture/camera_capture.h"

// The system's H.264 decoder transform, made at the first packet.
std::unique_ptr<PhoneDecoder> makeSystemPhoneDecoder();

// Reads the local camera with this device index through a source reader until the capture's stop
// flag, a failed read or the end of the stream.
void deviceCaptureLoop(CameraCapture& capture, int index);
// The same from a media source already made (a camera's, or a file's in the tests); shuts it down.
void sourceCaptureLoop(CameraCapture& capture, IMFMediaSource* source);
// What the user reads when a camera read ends with `result` (or the error or end flag), after
// frames were `delivered` or before any: busy or blocked, or stopped.
const char* cameraReadFailureText(HRESULT result, bool delivered);

// The system's video-capture devices, in the order that numbers them; the caller releases each
// and frees the array with CoTaskMemFree. False when they cannot be listed.
bool enumerateCameraDevices(IMFActivate*** devices, UINT32* count);
