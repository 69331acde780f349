#include "tray_spy.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>

namespace {

using NotifyIcon = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);

constexpr int k_icon_size = 16;

struct TraySpy {
    NotifyIcon real = nullptr;
    std::string picture = "none";
    int count = 0;
};
TraySpy spy;

struct Rgb {
    int red, green, blue;
    bool close_to(int r, int g, int b) const {
        const int tolerance = 8;  // 16-bit screens keep only 5 or 6 bits of each colour
        return std::abs(red - r) <= tolerance && std::abs(green - g) <= tolerance &&
               std::abs(blue - b) <= tolerance;
    }
};

std::string classify(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return "other";
    DWORD pixels[k_icon_size * k_icon_size] = {};
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = k_icon_size;
    format.bmiHeader.biHeight = -k_icon_size;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    const int rows = info.hbmColor ? GetDIBits(screen, info.hbmColor, 0, k_icon_size, pixels,
                                               &format, DIB_RGB_COLORS)
                                   : 0;
    ReleaseDC(nullptr, screen);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (rows != k_icon_size) return "other";
    const auto at = [&pixels](int row, int column) {
        const DWORD p = pixels[row * k_icon_size + column];
        return Rgb{static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
                   static_cast<int>(p & 0xff)};
    };
    // (3, 7) is face in every picture; (9, 7) belongs to the check mark only.
    const Rgb face = at(3, 7), mark = at(9, 7);
    if (face.close_to(0, 0, 0)) return "black";
    if (face.close_to(0xa0, 0xa0, 0xa0)) return "cross";
    if (face.close_to(0xf0, 0xf0, 0xf0)) return mark.close_to(0, 0, 0) ? "check" : "face";
    return "other";
}

BOOL WINAPI watched_notify_icon(DWORD message, PNOTIFYICONDATAA data) {
    if (message == NIM_DELETE) {
        spy.picture = "none";
    } else if (data && (data->uFlags & NIF_ICON) && data->hIcon &&
               (message == NIM_ADD || message == NIM_MODIFY)) {
        spy.picture = classify(data->hIcon);
        ++spy.count;
    }
    return spy.real(message, data);
}

}  // namespace

bool install_tray_spy(HMODULE plugin, std::string& error) {
    auto* base = reinterpret_cast<BYTE*>(plugin);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        error = "the plug-in imports nothing";
        return false;
    }
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "shell32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), "Shell_NotifyIconA"))
                continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                           &protection);
            spy.real = reinterpret_cast<NotifyIcon>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(&watched_notify_icon);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    error = "the plug-in does not import Shell_NotifyIconA";
    return false;
}

std::string tray_picture() {
    return spy.picture;
}

int tray_picture_count() {
    return spy.count;
}
