#pragma once
// Declarations of documented Windows interfaces that the mingw-w64 headers lack.
// Written from the public documentation; keep this file small.

#include <windows.h>
#include <unknwn.h>

// --- Audio effects manager (audioclient.h, Windows 11) -----------------------------------
#ifndef __IAudioEffectsManager_INTERFACE_DEFINED__
#define __IAudioEffectsManager_INTERFACE_DEFINED__
typedef enum AUDIO_EFFECT_STATE { AUDIO_EFFECT_STATE_OFF = 0, AUDIO_EFFECT_STATE_ON = 1 } AUDIO_EFFECT_STATE;

typedef struct AUDIO_EFFECT {
    GUID id;
    BOOL canSetState;
    AUDIO_EFFECT_STATE state;
} AUDIO_EFFECT;

struct IAudioEffectsManager : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterAudioEffectsChangedNotificationCallback(IUnknown* client) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnregisterAudioEffectsChangedNotificationCallback(IUnknown* client) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAudioEffects(AUDIO_EFFECT** effects, UINT32* numEffects) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAudioEffectState(GUID effectId, AUDIO_EFFECT_STATE state) = 0;
};

inline const GUID IID_IAudioEffectsManager = {0x4460b3ae, 0x4b44, 0x4527, {0x86, 0x76, 0x75, 0x48, 0xa8, 0xac, 0xd2, 0x60}};
#endif

// Effect types (ksmedia.h).
inline const GUID AUDIO_EFFECT_TYPE_ACOUSTIC_ECHO_CANCELLATION = {0x6f64adbe, 0x8211, 0x11e2, {0x8c, 0x70, 0x2c, 0x27, 0xd7, 0xf0, 0x01, 0xfa}};
inline const GUID AUDIO_EFFECT_TYPE_NOISE_SUPPRESSION = {0x6f64adbf, 0x8211, 0x11e2, {0x8c, 0x70, 0x2c, 0x27, 0xd7, 0xf0, 0x01, 0xfa}};
inline const GUID AUDIO_EFFECT_TYPE_AUTOMATIC_GAIN_CONTROL = {0x6f64adc0, 0x8211, 0x11e2, {0x8c, 0x70, 0x2c, 0x27, 0xd7, 0xf0, 0x01, 0xfa}};
inline const GUID AUDIO_EFFECT_TYPE_BEAMFORMING = {0x6f64adc1, 0x8211, 0x11e2, {0x8c, 0x70, 0x2c, 0x27, 0xd7, 0xf0, 0x01, 0xfa}};
inline const GUID AUDIO_EFFECT_TYPE_DEEP_NOISE_SUPPRESSION = {0x6f64add0, 0x8211, 0x11e2, {0x8c, 0x70, 0x2c, 0x27, 0xd7, 0xf0, 0x01, 0xfa}};

// --- Rounded window corners (dwmapi.h, Windows 11) ---------------------------------------
constexpr DWORD DWMWA_WINDOW_CORNER_PREFERENCE = 33;
constexpr DWORD DWMWCP_ROUND = 2;

// --- Virtual camera (mfvirtualcamera.h, Windows 11; mfsensorgroup.dll has no import library) ---
// The camera object is also an IMFAttributes; its 30 attribute methods are only slots here (never
// called), so that this header need not pull in the Media Foundation headers, which clash with
// the kernel-streaming ones that the audio code includes.
struct IMFMediaSource;
struct IMFAsyncCallback;

struct IMFAttributesSlots : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetItemSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItemTypeSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareItemSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUINT32Slot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUINT64Slot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDoubleSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGUIDSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringLengthSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllocatedStringSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBlobSizeSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBlobSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllocatedBlobSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUnknownSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetItemSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItemSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAllItemsSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUINT32Slot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUINT64Slot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDoubleSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGUIDSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStringSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBlobSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUnknownSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockStoreSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockStoreSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCountSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItemByIndexSlot() = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyAllItemsSlot() = 0;
};

enum MFVirtualCameraType { MFVirtualCameraType_SoftwareCameraSource = 0 };
enum MFVirtualCameraLifetime { MFVirtualCameraLifetime_Session = 0, MFVirtualCameraLifetime_System = 1 };
enum MFVirtualCameraAccess { MFVirtualCameraAccess_CurrentUser = 0, MFVirtualCameraAccess_AllUsers = 1 };

struct IMFCameraSyncObject;

struct IMFVirtualCamera : public IMFAttributesSlots {
    virtual HRESULT STDMETHODCALLTYPE AddDeviceSourceInfo(LPCWSTR deviceSourceInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddProperty(const void* key, ULONG type, const BYTE* data, ULONG size) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddRegistryEntry(LPCWSTR entryName, LPCWSTR subkeyPath, DWORD regType,
                                                       const BYTE* data, ULONG size) = 0;
    virtual HRESULT STDMETHODCALLTYPE Start(IMFAsyncCallback* callback) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaSource(IMFMediaSource** mediaSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendCameraProperty(REFGUID propertySet, ULONG propertyId, ULONG flags,
                                                         void* payload, ULONG payloadLength, void* data,
                                                         ULONG dataLength, ULONG* dataWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSyncEvent(REFGUID eventSet, ULONG eventId, ULONG flags,
                                                      HANDLE event, IMFCameraSyncObject** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSyncSemaphore(REFGUID eventSet, ULONG eventId, ULONG flags,
                                                          HANDLE semaphore, LONG adjustment,
                                                          IMFCameraSyncObject** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
};

inline const GUID IID_IMFVirtualCamera = {0x1c08a864, 0xef6c, 0x4c75, {0xaf, 0x59, 0x5f, 0x2d, 0x68, 0xda, 0x95, 0x63}};

typedef HRESULT(WINAPI* MFCreateVirtualCameraFn)(MFVirtualCameraType type, MFVirtualCameraLifetime lifetime,
                                                 MFVirtualCameraAccess access, LPCWSTR friendlyName,
                                                 LPCWSTR sourceId, const GUID* categories, ULONG categoryCount,
                                                 IMFVirtualCamera** camera);

// --- Windows.Graphics.Capture through its ABI (Windows 10 1903+) --------------------------
// The Windows Runtime classes are reached with RoGetActivationFactory; the interfaces below are
// the ABI views of GraphicsCaptureItem, Direct3D11CaptureFramePool, Direct3D11CaptureFrame and
// GraphicsCaptureSession, plus the Direct3D interop pieces they need.
#include <inspectable.h>
#include <dxgi.h>

namespace wgc {

struct SizeInt32 {
    INT32 Width;
    INT32 Height;
};

struct EventToken {
    INT64 value;
};

// Windows.Graphics.DirectX.DirectXPixelFormat.B8G8R8A8UIntNormalized: the DirectXPixelFormat values
// are the DXGI_FORMAT ones.
constexpr INT32 kPixelFormatB8G8R8A8 = DXGI_FORMAT_B8G8R8A8_UNORM;

struct IGraphicsCaptureItem;

// TypedEventHandler<GraphicsCaptureItem, IInspectable>
struct IItemClosedHandler : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(IGraphicsCaptureItem* sender, IInspectable* args) = 0;
};

struct IGraphicsCaptureItem : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(SizeInt32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Closed(IItemClosedHandler* handler, EventToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Closed(EventToken token) = 0;
};

struct IGraphicsCaptureItemInterop : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateForWindow(HWND window, REFIID riid, void** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateForMonitor(HMONITOR monitor, REFIID riid, void** result) = 0;
};

// Windows.Graphics.DirectX.Direct3D11.IDirect3DDevice and IDirect3DSurface
struct IDirect3DDevice : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Trim() = 0;
};

struct IDirect3DSurface : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Description(void* value) = 0;
};

struct IDirect3DDxgiInterfaceAccess : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** p) = 0;
};

struct IDirect3D11CaptureFrame : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Surface(IDirect3DSurface** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(INT64* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentSize(SizeInt32* value) = 0;
};

struct IGraphicsCaptureSession : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE StartCapture() = 0;
};

struct IGraphicsCaptureSession2 : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_IsCursorCaptureEnabled(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsCursorCaptureEnabled(boolean value) = 0;
};

struct IGraphicsCaptureSession3 : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_IsBorderRequired(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsBorderRequired(boolean value) = 0;
};

struct IDirect3D11CaptureFramePool : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Recreate(IDirect3DDevice* device, INT32 pixelFormat, INT32 numberOfBuffers,
                                               SizeInt32 size) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryGetNextFrame(IDirect3D11CaptureFrame** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_FrameArrived(IUnknown* handler, EventToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCaptureSession(IGraphicsCaptureItem* item,
                                                           IGraphicsCaptureSession** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DispatcherQueue(IInspectable** value) = 0;
};

struct IDirect3D11CaptureFramePoolStatics2 : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CreateFreeThreaded(IDirect3DDevice* device, INT32 pixelFormat,
                                                         INT32 numberOfBuffers, SizeInt32 size,
                                                         IDirect3D11CaptureFramePool** result) = 0;
};

// Windows.Foundation.IClosable
struct IClosable : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

inline const GUID IID_IGraphicsCaptureItem = {0x79c3f95b, 0x31f7, 0x4ec2, {0xa4, 0x64, 0x63, 0x2e, 0xf5, 0xd3, 0x07, 0x60}};
inline const GUID IID_IGraphicsCaptureItemInterop = {0x3628e81b, 0x3cac, 0x4c60, {0xb7, 0xf4, 0x23, 0xce, 0x0e, 0x0c, 0x33, 0x56}};
// The parameterised interface's identifier, derived from its type signature.
inline const GUID IID_IItemClosedHandler = {0xe9c610c0, 0xa68c, 0x5bd9, {0x80, 0x21, 0x85, 0x89, 0x34, 0x6e, 0xee, 0xe2}};
inline const GUID IID_IDirect3DDevice = {0xa37624ab, 0x8d5f, 0x4650, {0x9d, 0x3e, 0x9e, 0xae, 0x3d, 0x9b, 0xc6, 0x70}};
inline const GUID IID_IDirect3DDxgiInterfaceAccess = {0xa9b3d012, 0x3df2, 0x4ee3, {0xb8, 0xd1, 0x86, 0x95, 0xf4, 0x57, 0xd3, 0xc1}};
inline const GUID IID_IDirect3D11CaptureFramePoolStatics2 = {0x589b103f, 0x6bbc, 0x5df5, {0xa9, 0x91, 0x02, 0xe2, 0x8b, 0x3b, 0x66, 0xd5}};
inline const GUID IID_IGraphicsCaptureSession2 = {0x2c39ae40, 0x7d2e, 0x5044, {0x80, 0x4e, 0x8b, 0x67, 0x99, 0xd4, 0xcf, 0x9e}};
inline const GUID IID_IGraphicsCaptureSession3 = {0xf2cdd966, 0x22ae, 0x5ea1, {0x95, 0x96, 0x3a, 0x28, 0x93, 0x44, 0xc3, 0xbe}};
inline const GUID IID_IClosable = {0x30d5a829, 0x7fa4, 0x4026, {0x83, 0xbb, 0xd7, 0x5b, 0xae, 0x4e, 0xa9, 0x9e}};

constexpr wchar_t kGraphicsCaptureItemClass[] = L"Windows.Graphics.Capture.GraphicsCaptureItem";
constexpr wchar_t kCaptureFramePoolClass[] = L"Windows.Graphics.Capture.Direct3D11CaptureFramePool";

// d3d11.dll's export, absent from the import library.
typedef HRESULT(WINAPI* CreateDirect3D11DeviceFromDXGIDeviceFn)(IDXGIDevice* dxgiDevice, IInspectable** device);

}  // namespace wgc

// --- Windows.AI.MachineLearning through its ABI (Windows 10 1809+) -----------------------
// Only what background removal uses: load a model from a stream, a session on a device, one
// bound float tensor in, one float tensor out. Collections are the generic IVectorView and
// IMapView views, reached only through pointers the runtime hands out.
namespace wml {

template <typename T>
struct IVectorView : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, T* item) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE IndexOf(T value, UINT32* index, boolean* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 start, UINT32 capacity, T* items, UINT32* actual) = 0;
};

template <typename K, typename V>
struct IMapView : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Lookup(K key, V* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasKey(K key, boolean* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE Split(IMapView** first, IMapView** second) = 0;
};

struct ILearningModelFeatureDescriptor : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Name(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Kind(INT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsRequired(boolean* value) = 0;
};

struct ILearningModel : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Author(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Domain(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Version(INT64* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Metadata(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InputFeatures(IVectorView<ILearningModelFeatureDescriptor*>** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OutputFeatures(IVectorView<ILearningModelFeatureDescriptor*>** value) = 0;
};

struct ILearningModelStatics : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE LoadFromStorageFileAsync(IInspectable* file, IInspectable** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadFromStreamAsync(IInspectable* stream, IInspectable** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadFromFilePath(HSTRING path, ILearningModel** model) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadFromStream(IInspectable* streamReference, ILearningModel** model) = 0;
};

struct ILearningModelDeviceFactory : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Create(INT32 deviceKind, IInspectable** device) = 0;
};

struct ILearningModelEvaluationResult : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_CorrelationId(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ErrorStatus(INT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Succeeded(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Outputs(IMapView<HSTRING, IInspectable*>** value) = 0;
};

struct ILearningModelSession : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Model(ILearningModel** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Device(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EvaluationProperties(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE EvaluateAsync(IInspectable* bindings, HSTRING correlationId,
                                                    IInspectable** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE EvaluateFeaturesAsync(IInspectable* features, HSTRING correlationId,
                                                            IInspectable** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE Evaluate(IInspectable* bindings, HSTRING correlationId,
                                               ILearningModelEvaluationResult** result) = 0;
};

struct ILearningModelSessionFactory : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CreateFromModel(ILearningModel* model, ILearningModelSession** session) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFromModelOnDevice(ILearningModel* model, IInspectable* device,
                                                              ILearningModelSession** session) = 0;
};

struct ILearningModelBinding : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Bind(HSTRING name, IInspectable* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindWithProperties(HSTRING name, IInspectable* value, IInspectable* props) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
};

struct ILearningModelBindingFactory : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CreateFromSession(ILearningModelSession* session,
                                                        ILearningModelBinding** binding) = 0;
};

struct ITensorFloat : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE GetAsVectorView(IVectorView<FLOAT>** result) = 0;
};

struct ITensorFloatStatics2 : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CreateFromShapeArrayAndDataArray(UINT32 shapeLength, INT64* shape,
                                                                       UINT32 dataLength, FLOAT* data,
                                                                       ITensorFloat** result) = 0;
};

// Windows.Storage.Streams.IRandomAccessStreamReferenceStatics
struct IRandomAccessStreamReferenceStatics : public IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CreateFromFile(IInspectable* file, IInspectable** reference) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFromUri(IInspectable* uri, IInspectable** reference) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFromStream(IInspectable* stream, IInspectable** reference) = 0;
};

inline const GUID IID_ILearningModelStatics = {0xe3b977e8, 0x6952, 0x4e47, {0x8e, 0xf4, 0x1f, 0x7f, 0x07, 0x89, 0x7c, 0x6d}};
inline const GUID IID_ILearningModelDeviceFactory = {0x9cffd74d, 0xb1e5, 0x4f20, {0x80, 0xad, 0x0a, 0x56, 0x69, 0x0d, 0xb0, 0x6b}};
inline const GUID IID_ILearningModelSessionFactory = {0x0f6b881d, 0x1c9b, 0x47b6, {0xbf, 0xe0, 0xf1, 0xcf, 0x62, 0xa6, 0x75, 0x79}};
inline const GUID IID_ILearningModelBindingFactory = {0xc95f7a7a, 0xe788, 0x475e, {0x89, 0x17, 0x23, 0xaa, 0x38, 0x1f, 0xaf, 0x0b}};
inline const GUID IID_ITensorFloat = {0xf2282d82, 0xaa02, 0x42c8, {0xa0, 0xc8, 0xdf, 0x1e, 0xfc, 0x96, 0x76, 0xe1}};
inline const GUID IID_ITensorFloatStatics2 = {0x24610bc1, 0x5e44, 0x5713, {0xb2, 0x81, 0x8f, 0x4a, 0xd4, 0xd5, 0x55, 0xe8}};
inline const GUID IID_IRandomAccessStreamReferenceStatics = {0x857309dc, 0x3fbf, 0x4e7d, {0x98, 0x6f, 0xef, 0x3b, 0x1a, 0x07, 0xa9, 0x64}};
inline const GUID IID_IRandomAccessStream = {0x905a0fe1, 0xbc53, 0x11df, {0x8c, 0x49, 0x00, 0x1e, 0x4f, 0xc6, 0x86, 0xda}};

enum BSOS_OPTIONS { BSOS_DEFAULT = 0, BSOS_PREFERDESTINATIONSTREAM = 1 };

constexpr wchar_t kLearningModelClass[] = L"Windows.AI.MachineLearning.LearningModel";
constexpr wchar_t kLearningModelDeviceClass[] = L"Windows.AI.MachineLearning.LearningModelDevice";
constexpr wchar_t kLearningModelSessionClass[] = L"Windows.AI.MachineLearning.LearningModelSession";
constexpr wchar_t kLearningModelBindingClass[] = L"Windows.AI.MachineLearning.LearningModelBinding";
constexpr wchar_t kTensorFloatClass[] = L"Windows.AI.MachineLearning.TensorFloat";
constexpr wchar_t kStreamReferenceClass[] = L"Windows.Storage.Streams.RandomAccessStreamReference";

}  // namespace wml

// shcore.h, absent here; the import library has it.
extern "C" HRESULT WINAPI CreateRandomAccessStreamOverStream(IStream* stream, wml::BSOS_OPTIONS options, REFIID riid,
                                                             void** result);
