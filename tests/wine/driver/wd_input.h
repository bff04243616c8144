#pragma once
// Real input through SendInput, as a person would give it: respects
// WS_DISABLED, focus and Z order, unlike posted messages.
#include <windows.h>

#include <string>

namespace windriver {

enum Modifier : unsigned {
    kNoModifier = 0,
    kShift = 1u << 0,
    kCtrl = 1u << 1,
    kAlt = 1u << 2,
};

enum class MouseButton { Left, Right };

// Posts BM_CLICK. Sending it would deadlock when the click opens a modal
// box. Reaches a disabled button too: not a test of "disabled does nothing".
bool PostClick(HWND button);

// SetForegroundWindow and wait until it is the foreground window.
bool BringToForeground(HWND topLevel, int timeoutMs = 2000);

// Every event carries its own absolute position, so none can land on an
// earlier cursor position. A click close in time and place to the previous
// one first waits out the double-click time, so two clicks stay two clicks.
bool MoveMouse(POINT screen);
bool ClickAt(POINT screen, MouseButton button = MouseButton::Left);
bool DoubleClickAt(POINT screen);
// Presses the left button at `from`, moves to `to` in `steps` moves and
// releases it there, as a person drags a window's frame or caption.
bool DragMouse(POINT from, POINT to, int steps = 8);
POINT CenterOf(const RECT& r);
bool ClickCenter(HWND control, MouseButton button = MouseButton::Left);
// Scrolls the line into view first (LB_SETTOPINDEX) when it is not.
bool ClickListBoxLine(HWND listBox, int index);

// A key with modifiers held around it, e.g. PressKey('I', kAlt),
// PressKey(VK_TAB, kShift). Send to whatever has the focus.
bool PressKey(WORD vk, unsigned modifiers = kNoModifier);
// Types text through KEYEVENTF_UNICODE (arrives as WM_CHAR).
bool TypeText(const std::wstring& text);

}  // namespace windriver
