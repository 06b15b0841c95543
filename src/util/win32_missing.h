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
