// The hand-written declarations of util/win32_missing.h against what can be checked without Windows:
// the slots of the interfaces that the mingw-w64 headers also declare (in a form C++ can include),
// and the one identifier that is derived rather than assigned. A wrong slot or identifier only shows
// on a real system, as a call landing in the wrong method or as E_NOINTERFACE.

#include <windows.h>
#include <mfobjects.h>
#include <windows.foundation.collections.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "remote/sha1.h"
#include "util/win32_missing.h"

namespace {

// The vtable slot of a virtual member function. GCC's member-function pointers hold one plus the
// slot's byte offset for a virtual function.
template <typename F>
size_t slotOf(F method) {
    struct Representation {
        uintptr_t pointer;
        ptrdiff_t adjustment;
    };
    static_assert(sizeof(F) == sizeof(Representation));
    Representation r;
    std::memcpy(&r, &method, sizeof r);
    return (r.pointer - 1) / sizeof(void*);
}

struct Slot {
    const char* name;
    size_t ours, theirs;
};

namespace collections = ABI::Windows::Foundation::Collections;

#define QH_ATTRIBUTES_SLOT(name) {#name, slotOf(&IMFAttributesSlots::name##Slot), slotOf(&IMFAttributes::name)}

TEST(Win32Declarations, SlotsMatchTheMingwDeclarations) {
    const Slot slots[] = {
        QH_ATTRIBUTES_SLOT(GetItem), QH_ATTRIBUTES_SLOT(GetItemType), QH_ATTRIBUTES_SLOT(CompareItem),
        QH_ATTRIBUTES_SLOT(Compare), QH_ATTRIBUTES_SLOT(GetUINT32), QH_ATTRIBUTES_SLOT(GetUINT64),
        QH_ATTRIBUTES_SLOT(GetDouble), QH_ATTRIBUTES_SLOT(GetGUID), QH_ATTRIBUTES_SLOT(GetStringLength),
        QH_ATTRIBUTES_SLOT(GetString), QH_ATTRIBUTES_SLOT(GetAllocatedString), QH_ATTRIBUTES_SLOT(GetBlobSize),
        QH_ATTRIBUTES_SLOT(GetBlob), QH_ATTRIBUTES_SLOT(GetAllocatedBlob), QH_ATTRIBUTES_SLOT(GetUnknown),
        QH_ATTRIBUTES_SLOT(SetItem), QH_ATTRIBUTES_SLOT(DeleteItem), QH_ATTRIBUTES_SLOT(DeleteAllItems),
        QH_ATTRIBUTES_SLOT(SetUINT32), QH_ATTRIBUTES_SLOT(SetUINT64), QH_ATTRIBUTES_SLOT(SetDouble),
        QH_ATTRIBUTES_SLOT(SetGUID), QH_ATTRIBUTES_SLOT(SetString), QH_ATTRIBUTES_SLOT(SetBlob),
        QH_ATTRIBUTES_SLOT(SetUnknown), QH_ATTRIBUTES_SLOT(LockStore), QH_ATTRIBUTES_SLOT(UnlockStore),
        QH_ATTRIBUTES_SLOT(GetCount), QH_ATTRIBUTES_SLOT(GetItemByIndex), QH_ATTRIBUTES_SLOT(CopyAllItems),
        // The camera's own methods start right after the attribute store's.
        {"IMFVirtualCamera first", slotOf(&IMFVirtualCamera::AddDeviceSourceInfo),
         slotOf(&IMFAttributes::CopyAllItems) + 1},
        {"IVectorView::GetAt", slotOf(&wml::IVectorView<FLOAT>::GetAt), slotOf(&collections::IVectorView_impl<FLOAT>::GetAt)},
        {"IVectorView::get_Size", slotOf(&wml::IVectorView<FLOAT>::get_Size),
         slotOf(&collections::IVectorView_impl<FLOAT>::get_Size)},
        {"IVectorView::IndexOf", slotOf(&wml::IVectorView<FLOAT>::IndexOf),
         slotOf(&collections::IVectorView_impl<FLOAT>::IndexOf)},
        {"IVectorView::GetMany", slotOf(&wml::IVectorView<FLOAT>::GetMany),
         slotOf(&collections::IVectorView_impl<FLOAT>::GetMany)},
        {"IMapView::Lookup", slotOf(&wml::IMapView<HSTRING, IInspectable*>::Lookup),
         slotOf(&collections::IMapView_impl<HSTRING, IInspectable*>::Lookup)},
        {"IMapView::get_Size", slotOf(&wml::IMapView<HSTRING, IInspectable*>::get_Size),
         slotOf(&collections::IMapView_impl<HSTRING, IInspectable*>::get_Size)},
        {"IMapView::HasKey", slotOf(&wml::IMapView<HSTRING, IInspectable*>::HasKey),
         slotOf(&collections::IMapView_impl<HSTRING, IInspectable*>::HasKey)},
        {"IMapView::Split", slotOf(&wml::IMapView<HSTRING, IInspectable*>::Split),
         slotOf(&collections::IMapView_impl<HSTRING, IInspectable*>::Split)},
    };
    for (const Slot& slot : slots) EXPECT_EQ(slot.ours, slot.theirs) << slot.name;
}

#undef QH_ATTRIBUTES_SLOT

std::string guidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", static_cast<unsigned long>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

// A parameterised interface's identifier: the name-based (version 5) UUID of its type signature in
// the Windows Runtime's namespace 11f47ad5-7b73-42c0-abae-878b1e16adee.
GUID parameterisedIid(const std::string& signature) {
    const unsigned char kNamespace[16] = {0x11, 0xf4, 0x7a, 0xd5, 0x7b, 0x73, 0x42, 0xc0,
                                          0xab, 0xae, 0x87, 0x8b, 0x1e, 0x16, 0xad, 0xee};
    const std::string named = std::string(reinterpret_cast<const char*>(kNamespace), sizeof kNamespace) + signature;
    const Sha1Digest d = sha1(named.data(), named.size());
    GUID g;
    g.Data1 = (unsigned long)d[0] << 24 | (unsigned long)d[1] << 16 | (unsigned long)d[2] << 8 | d[3];
    g.Data2 = static_cast<unsigned short>(d[4] << 8 | d[5]);
    g.Data3 = static_cast<unsigned short>(((d[6] << 8 | d[7]) & 0x0fff) | 0x5000);
    g.Data4[0] = static_cast<unsigned char>((d[8] & 0x3f) | 0x80);
    for (int i = 1; i < 8; ++i) g.Data4[i] = d[8 + i];
    return g;
}

TEST(Win32Declarations, ClosedHandlerIdentifierFollowsFromItsSignature) {
    // TypedEventHandler<GraphicsCaptureItem, Object>, whose signature holds the item's own identifier.
    const std::string signature = "pinterface({9de1c534-6ae1-11e0-84e1-18a905bcc53f};rc(Windows.Graphics.Capture."
                                  "GraphicsCaptureItem;" +
                                  guidText(wgc::IID_IGraphicsCaptureItem) + ");cinterface(IInspectable))";
    EXPECT_EQ(guidText(parameterisedIid(signature)), guidText(wgc::IID_IItemClosedHandler));
}

}  // namespace
