#pragma once
#include <utility>

namespace vornex {

// Whether a failure is being said now: a second one meanwhile (the box's own
// messages reach the window too) is not said again over it.
inline bool& SayingFailure() {
    static bool saying = false;
    return saying;
}

// Runs one way into the window's code from the system's (a window or dialog
// procedure, the start-up): an exception must not unwind into the system's
// code, which ends the program without a word. It is said by `say` instead,
// and `failed` returned.
template <typename Result, typename Call, typename Say>
Result Guarded(Result failed, Call&& call, Say&& say) noexcept {
    try {
        return std::forward<Call>(call)();
    } catch (...) {
        if (!SayingFailure()) {
            SayingFailure() = true;
            try {
                say();
            } catch (...) {
            }
            SayingFailure() = false;
        }
        return failed;
    }
}

}  // namespace vornex

#ifdef _WIN32
#include <windows.h>

#include "app/texts.h"
#include "win32/wide_text.h"

namespace vornex {

// Guarded, the failure said in a warning box over `owner`.
template <typename Result, typename Call>
Result GuardedWin32(HWND owner, Result failed, Call&& call) noexcept {
    return Guarded(failed, std::forward<Call>(call), [owner] {
        MessageBoxW(owner, win32::Wide(texts::kUnexpectedFailure).c_str(), win32::Wide(texts::kWarningTitle).c_str(),
                    MB_ICONWARNING | MB_OK);
    });
}

}  // namespace vornex
#endif
