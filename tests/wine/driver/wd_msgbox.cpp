#include "wd_msgbox.h"

#include "wd_handles.h"
#include "wd_input.h"
#include "wd_process.h"
#include "wd_screen.h"
#include "wd_text.h"
#include "wd_window.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace windriver {

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

HWND IconStatic(HWND box) {
    for (HWND c : Children(box)) {
        if (ClassNameOf(c) == L"Static" && (StyleOf(c) & SS_TYPEMASK) == SS_ICON && IsVisible(c))
            return c;
    }
    return nullptr;
}

// The icon drawn like a static draws it, over black and over white:
// pixels that come out equal are opaque, and only those are compared.
struct Reference {
    Image onBlack, onWhite;
};

Image Render(HICON icon, int w, int h, COLORREF background) {
    WindowDC screen(nullptr);
    MemoryDC mem(::CreateCompatibleDC(screen.get()));
    if (!mem) ThrowLastError("CreateCompatibleDC");
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap dib(::CreateDIBSection(mem.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) ThrowLastError("CreateDIBSection");
    Image img;
    img.width = w;
    img.height = h;
    {
        SelectGuard sel(mem.get(), dib.get());
        Brush brush(::CreateSolidBrush(background));
        RECT r{0, 0, w, h};
        ::FillRect(mem.get(), &r, brush.get());
        ::DrawIconEx(mem.get(), 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
        ::GdiFlush();
        const auto* px = static_cast<const std::uint32_t*>(bits);
        img.pixels.assign(px, px + static_cast<size_t>(w) * h);
    }
    for (auto& p : img.pixels) p &= 0x00FFFFFFu;
    return img;
}

bool Close(std::uint32_t a, std::uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(d) > 12) return false;
    }
    return true;
}

// Share of the icon's opaque pixels that the screen shows.
double Score(const Image& screen, HICON icon) {
    Image black = Render(icon, screen.width, screen.height, RGB(0, 0, 0));
    Image white = Render(icon, screen.width, screen.height, RGB(255, 255, 255));
    size_t opaque = 0, same = 0;
    for (size_t i = 0; i < screen.pixels.size(); ++i) {
        if (black.pixels[i] != white.pixels[i]) continue;
        ++opaque;
        if (Close(black.pixels[i], screen.pixels[i])) ++same;
    }
    // An icon with hardly any opaque pixel cannot be told apart.
    if (opaque < 16) return 0.0;
    return static_cast<double>(same) / static_cast<double>(opaque);
}

}  // namespace

const wchar_t* IconName(MessageBoxIcon icon) {
    switch (icon) {
        case MessageBoxIcon::None: return L"none";
        case MessageBoxIcon::Information: return L"information";
        case MessageBoxIcon::Question: return L"question";
        case MessageBoxIcon::Warning: return L"warning";
        case MessageBoxIcon::Error: return L"error";
        case MessageBoxIcon::Unknown: return L"unknown";
    }
    return L"?";
}

std::wstring ButtonName(int id) {
    switch (id) {
        case IDOK: return L"IDOK";
        case IDCANCEL: return L"IDCANCEL";
        case IDABORT: return L"IDABORT";
        case IDRETRY: return L"IDRETRY";
        case IDIGNORE: return L"IDIGNORE";
        case IDYES: return L"IDYES";
        case IDNO: return L"IDNO";
        case IDCLOSE: return L"IDCLOSE";
        case IDHELP: return L"IDHELP";
        case IDTRYAGAIN: return L"IDTRYAGAIN";
        case IDCONTINUE: return L"IDCONTINUE";
        default: return std::to_wstring(id);
    }
}

std::wstring MessageBoxText(HWND box) {
    HWND text = Child(box, kMessageBoxTextId);
    if (!text) ThrowError("message box has no text static (id 0xFFFF)", ERROR_NOT_FOUND);
    return TextOf(text);
}

std::vector<int> MessageBoxButtons(HWND box) {
    std::vector<int> ids;
    for (HWND c : Children(box)) {
        int id = ControlIdOf(c);
        if (id >= IDOK && id <= IDCONTINUE && ClassNameOf(c) == L"Button" && IsVisible(c))
            ids.push_back(id);
    }
    return ids;
}

bool HasButton(HWND box, int id) {
    HWND b = Child(box, id);
    return b && IsVisible(b) && ClassNameOf(b) == L"Button";
}

int MessageBoxDefaultButton(HWND box) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(box, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               kMessageTimeoutMs, &result))
        ThrowLastError("DM_GETDEFID");
    if (HIWORD(result) != DC_HASDEFID) return 0;
    return LOWORD(result);
}

namespace {

struct Candidate {
    MessageBoxIcon kind;
    const wchar_t* id;
};
const Candidate kCandidates[] = {
    {MessageBoxIcon::Information, IDI_INFORMATION},
    {MessageBoxIcon::Question, IDI_QUESTION},
    {MessageBoxIcon::Warning, IDI_WARNING},
    {MessageBoxIcon::Error, IDI_ERROR},
};

// Empty when the box shows no icon.
std::vector<std::pair<MessageBoxIcon, double>> Scores(HWND box) {
    std::vector<std::pair<MessageBoxIcon, double>> out;
    HWND st = IconStatic(box);
    if (!st) return out;
    DWORD_PTR icon = 0;
    ::SendMessageTimeoutW(st, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs, &icon);
    if (!icon) return out;
    const Image shown = CaptureRect(ClientRectOnScreen(st));
    for (const auto& c : kCandidates) {
        HICON ic = ::LoadIconW(nullptr, c.id);  // shared: not ours to destroy
        out.emplace_back(c.kind, ic ? Score(shown, ic) : 0.0);
    }
    return out;
}

}  // namespace

namespace {

// Information and question are both blue discs in Wine's icons and share
// about 85% of their pixels, so the winner must match nearly all of its
// own and the runner-up must fall clearly short.
MessageBoxIcon Decide(const std::vector<std::pair<MessageBoxIcon, double>>& scores) {
    if (scores.empty()) return MessageBoxIcon::None;
    MessageBoxIcon best = MessageBoxIcon::Unknown;
    double bestScore = 0.0, secondScore = 0.0;
    for (const auto& [kind, s] : scores) {
        if (s > bestScore) {
            secondScore = bestScore;
            bestScore = s;
            best = kind;
        } else if (s > secondScore) {
            secondScore = s;
        }
    }
    if (bestScore < 0.98 || secondScore > 0.95) return MessageBoxIcon::Unknown;
    return best;
}

}  // namespace

MessageBoxIcon MessageBoxIconOf(HWND box) {
    // A box that has just appeared may not have painted its icon yet.
    MessageBoxIcon result = MessageBoxIcon::Unknown;
    WaitUntil([&] { return (result = Decide(Scores(box))) != MessageBoxIcon::Unknown; }, 1000);
    return result;
}

std::wstring MessageBoxIconScores(HWND box) {
    std::wstring out;
    for (const auto& [kind, s] : Scores(box)) {
        wchar_t buf[64];
        std::swprintf(buf, 64, L"%ls=%.3f ", IconName(kind), s);
        out += buf;
    }
    return out.empty() ? L"no icon" : out;
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo info;
    info.title = TextOf(box);
    info.text = MessageBoxText(box);
    info.buttons = MessageBoxButtons(box);
    info.defaultButton = MessageBoxDefaultButton(box);
    info.icon = MessageBoxIconOf(box);
    return info;
}

bool AnswerMessageBox(HWND box, int buttonId) {
    HWND b = Child(box, buttonId);
    if (!b) return false;
    return PostClick(b);
}

}  // namespace windriver
