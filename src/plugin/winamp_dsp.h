#pragma once
// The host's DSP plug-in records (header version 0x20), in the host's field order. Window and
// instance handles are plain pointers here so that portable code can include this file; they
// have the size and meaning of HWND and HINSTANCE.

#ifdef _WIN32
#define VARNOLT_CDECL __cdecl
#else
#define VARNOLT_CDECL
#endif

#include "ui/host_window.h"

namespace varnolt {

constexpr int k_dsp_header_version = 0x20;

struct DspModule {
    char* description;
    HostWindow hwndParent;      // written by the host before Init
    HostInstance hDllInstance;  // written by the host before Init
    void(VARNOLT_CDECL* Config)(DspModule* self);
    int(VARNOLT_CDECL* Init)(DspModule* self);
    // Processes `frames` frames in place; the element type is nominal, the layout follows `bits`.
    int(VARNOLT_CDECL* ModifySamples)(DspModule* self, short* samples, int frames, int bits,
                                      int channels, int rate);
    void(VARNOLT_CDECL* Quit)(DspModule* self);
    void* userData;
};

struct DspHeader {
    int version;
    char* description;
    DspModule*(VARNOLT_CDECL* getModule)(int index);
};

}  // namespace varnolt
