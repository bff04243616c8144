#include "banner.h"

#include <ocidl.h>
#include <olectl.h>

#include <cstring>

#include "resource.h"

namespace vornex {

win32::UniqueBitmap LoadBanner(HINSTANCE instance) {
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(IDR_BANNER), MAKEINTRESOURCEW(10));
    if (!resource) return {};
    const DWORD size = SizeofResource(instance, resource);
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return {};

    win32::UniqueGlobal copy(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!copy) return {};
    void* target = GlobalLock(copy.get());
    if (!target) return {};
    std::memcpy(target, bytes, size);
    GlobalUnlock(copy.get());

    win32::ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(copy.get(), FALSE, stream.put()))) return {};
    win32::ComPtr<IPicture> picture;
    if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                              picture.put_void()))) {
        return {};
    }
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Handle(&handle)) || handle == 0) return {};
    // The picture owns its bitmap and frees it with itself: keep a copy.
    HANDLE copied = CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP,
                              0, 0, LR_CREATEDIBSECTION);
    return win32::UniqueBitmap(static_cast<HBITMAP>(copied));
}

}  // namespace vornex
