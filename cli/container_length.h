#pragma once
// The length a file's header gives its samples, read from the header itself for the containers
// whose length fields libsndfile takes as they come: RIFF WAVE (and RIFX), RF64 and BW64 (the
// ds64 chunk), Sony Wave64, Sun AU and AIFF/AIFC. Every size is checked against the file before
// it is used to move on; nothing is allocated from one.

#include <cstdio>

namespace varnolt::cli {

enum class Container { unknown, riff, rf64, w64, au, aiff };

// Where a length field lies and the value that tells the truth about the file.
struct LengthField {
    long long at = -1;  // -1: none
    int bytes = 0;      // 4 or 8
    bool big_endian = false;
    unsigned long long value = 0;
};

struct DataLength {
    Container container = Container::unknown;  // unknown: none of the above, or no data found
    unsigned long long offset = 0;             // the first byte of the samples
    unsigned long long declared = 0;           // bytes the header gives the samples
    unsigned long long held = 0;               // bytes the file holds from `offset` on
    // The header gives no length: a stand-in a writer put there because it could not go back
    // and fill it in, as one writing to a pipe (0, 0xFFFFFFFF, or SoX's 0x7FFFF000).
    bool stand_in = false;
    // With a stand-in: the field and the length the file really holds, so that libsndfile, which
    // reads no samples at all for a 0, can be shown the truth.
    LengthField true_length;
};

// Reads the header of `file` from its start; the file's position is left anywhere.
DataLength find_data_length(std::FILE* file);

}  // namespace varnolt::cli
