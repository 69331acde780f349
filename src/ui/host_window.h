#pragma once
// The host's window and module handles as portable code sees them: plain pointers with the size
// and meaning of HWND and HINSTANCE.

namespace varnolt {

using HostWindow = void*;
using HostInstance = void*;

}  // namespace varnolt
