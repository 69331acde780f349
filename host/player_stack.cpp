#include "player_stack.h"

#include <cstdint>
#include <cstdio>
#include <type_traits>

using varnolt::DspHeader;
using varnolt::DspModule;

namespace {

#if defined(__i386__)
int stack_offset = 4;
#else
int stack_offset = -1;
#endif

}  // namespace

#if defined(__i386__)
// call_on_offset_stack(function, arguments, count, offset) copies `count` 32-bit arguments to a
// fresh stack area whose lowest address is `offset` above a 16-byte boundary and calls
// `function` from there, so that ESP mod 16 equals `offset` at the call instruction. The frame
// pointer restores ESP afterwards, which suits __cdecl callees (the caller removes the
// arguments) and WINAPI ones (the callee removes them) alike. Written out in assembly because
// no compiler attribute promises a particular misalignment: force_align_arg_pointer and alloca
// give 16-byte alignment or an offset that moves with the compiler's frame layout. The area
// starts at least 32 bytes below the saved registers, so the rounding down and the added
// offset never reach them.
extern "C" __attribute__((naked, noinline))
std::uintptr_t __cdecl call_on_offset_stack(const void*, const std::uintptr_t*, unsigned,
                                            unsigned) {
    asm("pushl %ebp\n\t"
        "movl %esp, %ebp\n\t"
        "pushl %esi\n\t"
        "pushl %edi\n\t"
        "movl 16(%ebp), %ecx\n\t"  // count
        "shll $2, %ecx\n\t"        // bytes of arguments
        "movl %esp, %edx\n\t"
        "subl %ecx, %edx\n\t"
        "subl $32, %edx\n\t"
        "andl $-16, %edx\n\t"
        "addl 20(%ebp), %edx\n\t"  // offset
        "movl %edx, %esp\n\t"
        "movl %edx, %edi\n\t"
        "movl 12(%ebp), %esi\n\t"  // arguments
        "cld\n\t"
        "rep movsb\n\t"
        "movl 8(%ebp), %eax\n\t"  // function
        "call *%eax\n\t"
        "leal -8(%ebp), %esp\n\t"
        "popl %edi\n\t"
        "popl %esi\n\t"
        "popl %ebp\n\t"
        "ret\n\t");
}

// Returns ESP as it was at the call instruction: its value at entry, above the return address.
extern "C" __attribute__((naked, noinline)) std::uintptr_t __cdecl stack_at_call() {
    asm("leal 4(%esp), %eax\n\t"
        "ret\n\t");
}

extern "C" __attribute__((noinline)) int __cdecl weigh_cdecl(int a, int b, int c) {
    return a + 2 * b + 3 * c;
}

extern "C" __attribute__((noinline)) int __stdcall weigh_stdcall(int a, int b) {
    return a - 5 * b;
}
#endif

namespace {

template <typename T>
std::uintptr_t word(T value) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<std::uintptr_t>(value);
    else
        return static_cast<std::uintptr_t>(value);
}

template <typename Function>
const void* address_of(Function function) {
    return reinterpret_cast<const void*>(function);
}

#if defined(__i386__)
template <typename... Arguments>
std::uintptr_t call(const void* function, Arguments... arguments) {
    const std::uintptr_t words[] = {word(arguments)..., 0};
    return call_on_offset_stack(function, words, sizeof...(Arguments),
                                static_cast<unsigned>(stack_offset));
}
#endif

bool offset_calls() {
#if defined(__i386__)
    return stack_offset >= 0;
#else
    return false;
#endif
}

}  // namespace

void set_player_stack_offset(int offset) {
#if defined(__i386__)
    stack_offset = offset >= 0 ? (offset & 12) : -1;
#else
    (void)offset;
#endif
}

int player_stack_offset() {
    return offset_calls() ? stack_offset : -1;
}

bool player_stack_works(char* error, int error_size) {
#if defined(__i386__)
    if (!offset_calls()) return true;
    for (int round = 0; round < 3; ++round) {
        const std::uintptr_t at_call = call(address_of(stack_at_call));
        if (static_cast<int>(at_call & 15) != stack_offset) {
            std::snprintf(error, error_size, "ESP mod 16 was %d at the call, not %d",
                          static_cast<int>(at_call & 15), stack_offset);
            return false;
        }
        const int cdecl_result = static_cast<int>(call(address_of(weigh_cdecl), 7, 11, 13 + round));
        const int stdcall_result = static_cast<int>(call(address_of(weigh_stdcall), 100, round));
        if (cdecl_result != 7 + 22 + 3 * (13 + round) || stdcall_result != 100 - 5 * round) {
            std::snprintf(error, error_size, "arguments arrived wrong: %d and %d", cdecl_result,
                          stdcall_result);
            return false;
        }
    }
#else
    (void)error;
    (void)error_size;
#endif
    return true;
}

DspHeader* player_get_header(void* get_header, HWND player) {
    using GetHeader = DspHeader*(__cdecl*)(HWND);
#if defined(__i386__)
    if (offset_calls()) return reinterpret_cast<DspHeader*>(call(get_header, player));
#endif
    return reinterpret_cast<GetHeader>(get_header)(player);
}

DspModule* player_get_module(DspHeader* header, int index) {
#if defined(__i386__)
    if (offset_calls())
        return reinterpret_cast<DspModule*>(call(address_of(header->getModule), index));
#endif
    return header->getModule(index);
}

int player_init(DspModule* module) {
#if defined(__i386__)
    if (offset_calls()) return static_cast<int>(call(address_of(module->Init), module));
#endif
    return module->Init(module);
}

void player_config(DspModule* module) {
#if defined(__i386__)
    if (offset_calls()) {
        call(address_of(module->Config), module);
        return;
    }
#endif
    module->Config(module);
}

void player_quit(DspModule* module) {
#if defined(__i386__)
    if (offset_calls()) {
        call(address_of(module->Quit), module);
        return;
    }
#endif
    module->Quit(module);
}

int player_modify_samples(DspModule* module, short* samples, int frames, int bits, int channels,
                          int rate) {
#if defined(__i386__)
    if (offset_calls())
        return static_cast<int>(
            call(address_of(module->ModifySamples), module, samples, frames, bits, channels, rate));
#endif
    return module->ModifySamples(module, samples, frames, bits, channels, rate);
}

LRESULT player_dispatch_message(const MSG* message) {
#if defined(__i386__)
    if (offset_calls()) return static_cast<LRESULT>(call(address_of(&DispatchMessageA), message));
#endif
    return DispatchMessageA(message);
}

LRESULT player_send_message(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
#if defined(__i386__)
    if (offset_calls())
        return static_cast<LRESULT>(
            call(address_of(&SendMessageA), window, message, w_param, l_param));
#endif
    return SendMessageA(window, message, w_param, l_param);
}

BOOL player_redraw_window(HWND window, UINT flags) {
#if defined(__i386__)
    if (offset_calls())
        return static_cast<BOOL>(call(address_of(&RedrawWindow), window,
                                      static_cast<const RECT*>(nullptr), static_cast<HRGN>(nullptr),
                                      flags));
#endif
    return RedrawWindow(window, nullptr, nullptr, flags);
}
