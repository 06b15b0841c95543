// The test-only encoder transforms of this DLL.
#pragma once

#include <mftransform.h>

// {DA23F47D-3667-41EB-A26E-4A254E72C014}
inline constexpr GUID kTestH264EncoderClsid = {0xda23f47d, 0x3667, 0x41eb, {0xa2, 0x6e, 0x4a, 0x25, 0x4e, 0x72, 0xc0, 0x14}};

// New transforms, each with one reference.
IMFTransform* newH264Transform();
IMFTransform* newAacTransform();
