// The activation factory of a Windows Runtime class, by its name, as the interface asked for.
#pragma once

#include <roapi.h>
#include <winstring.h>

#include <cwchar>

template <typename T>
HRESULT activationFactory(const wchar_t* className, const GUID& iid, T** out) {
    HSTRING name = nullptr;
    HRESULT hr = WindowsCreateString(className, UINT32(wcslen(className)), &name);
    if (SUCCEEDED(hr)) hr = RoGetActivationFactory(name, iid, reinterpret_cast<void**>(out));
    WindowsDeleteString(name);
    return hr;
}
