// With no_banner.cpp: Vornex.exe's own main.cpp, but with the COM apartment
// calls answered here, so that ole32 is never loaded. What start-up costs
// when the banner needs no OLE.
#include <windows.h>

namespace {

HRESULT WINAPI NoCoInitializeEx(LPVOID, DWORD) { return S_FALSE; }
void WINAPI NoCoUninitialize() {}

}  // namespace

// main.cpp calls these through their import slots.
extern "C" {
void* __imp_CoInitializeEx = reinterpret_cast<void*>(&NoCoInitializeEx);
void* __imp_CoUninitialize = reinterpret_cast<void*>(&NoCoUninitialize);
}
