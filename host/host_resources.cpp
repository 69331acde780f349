#define PSAPI_VERSION 2  // GetProcessMemoryInfo from kernel32: no psapi.dll import
#include "host_resources.h"

#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>

namespace {

// Wine answers GetGuiResources with 0 (a stub), and GetProcessHandleCount too. There the process's
// GDI objects are the used entries of its handle table, which the process environment block points
// to as on Windows, and its USER objects are counted as its windows (icons hold GDI bitmaps, so
// they show up in the GDI count).
struct GdiTableEntry {
    std::uint64_t object;
    std::uint16_t process_id;
    std::uint16_t count;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user_pointer;
};
constexpr int k_gdi_table_entries = 16384;
constexpr std::size_t k_peb_gdi_table_offset = sizeof(void*) == 8 ? 0xF8 : 0x94;

// The process environment block, through ntdll, which every process has loaded.
const std::uint8_t* environment_block() {
    using Query = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const FARPROC address =
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(address));
    PROCESS_BASIC_INFORMATION info = {};
    if (query == nullptr ||
        query(GetCurrentProcess(), ProcessBasicInformation, &info, sizeof info, nullptr) != 0)
        return nullptr;
    return reinterpret_cast<const std::uint8_t*>(info.PebBaseAddress);
}

unsigned long gdi_table_objects() {
    const std::uint8_t* peb = environment_block();
    if (peb == nullptr) return 0;
    const auto* table =
        *reinterpret_cast<const GdiTableEntry* const*>(peb + k_peb_gdi_table_offset);
    if (table == nullptr) return 0;
    unsigned long used = 0;
    for (int i = 0; i < k_gdi_table_entries; ++i) used += table[i].type != 0;
    return used;
}

BOOL CALLBACK count_child(HWND, LPARAM counter) {
    ++*reinterpret_cast<unsigned long*>(counter);
    return TRUE;
}

BOOL CALLBACK count_own_window(HWND window, LPARAM counter) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<unsigned long*>(counter);
    EnumChildWindows(window, count_child, counter);
    return TRUE;
}

unsigned long own_windows() {
    unsigned long count = 0;
    EnumWindows(count_own_window, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Wine does not count the handles either; its handle values are small multiples of 4, handed
// out lowest first, so the valid ones among the first few thousand are all of them.
constexpr std::uintptr_t k_highest_probed_handle = 4 * 16384;

unsigned long probed_handles() {
    unsigned long valid = 0;
    for (std::uintptr_t value = 4; value <= k_highest_probed_handle; value += 4) {
        DWORD flags = 0;
        valid += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    }
    return valid;
}

}  // namespace

ResourceCounts count_resources() {
    ResourceCounts counts;
    HANDLE self = GetCurrentProcess();
    counts.gdi_objects = GetGuiResources(self, GR_GDIOBJECTS);
    counts.user_objects = GetGuiResources(self, GR_USEROBJECTS);
    if (counts.gdi_objects == 0 && counts.user_objects == 0) {
        counts.gdi_objects = gdi_table_objects();
        counts.user_objects = own_windows();
    }
    DWORD handles = 0;
    counts.handles =
        GetProcessHandleCount(self, &handles) && handles > 0 ? handles : probed_handles();
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory)) {
        // Wine leaves PrivateUsage at 0 and fills the committed bytes it equals on Windows.
        counts.private_bytes =
            memory.PrivateUsage > memory.PagefileUsage ? memory.PrivateUsage : memory.PagefileUsage;
    }
    return counts;
}

std::string resource_line(const ResourceCounts& c) {
    char line[160];
    std::snprintf(line, sizeof line, "resources: gdi %lu user %lu handles %lu private %llu",
                  c.gdi_objects, c.user_objects, c.handles, c.private_bytes);
    return line;
}
