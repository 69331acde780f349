#include "container_length.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

namespace varnolt::cli {
namespace {

using u64 = unsigned long long;

// A header with more chunks before its samples than this is not walked further.
constexpr int k_most_chunks = 4096;

// Length fields that writers put in when they cannot seek back to fill in the true one: all
// ones (ffmpeg; the AU format's "unknown"), the largest signed values, and SoX's stand-ins
// for WAV (0x7FFFF000) and AIFF (0x7F000008).
constexpr std::uint32_t k_stand_ins[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x7FFFF000u, 0x7F000008u};
constexpr u64 k_all_ones = std::numeric_limits<u64>::max();

struct Bytes {
    std::FILE* file;
    u64 size;

    bool read(u64 at, void* to, std::size_t count) const {
        if (at > size || count > size - at) return false;
        if (fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0) return false;
        return std::fread(to, 1, count, file) == count;
    }
};

u64 little(const unsigned char* p, int bytes) {
    u64 v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

u64 big(const unsigned char* p, int bytes) {
    u64 v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

bool is_stand_in32(u64 v) {
    return std::find(std::begin(k_stand_ins), std::end(k_stand_ins), v) != std::end(k_stand_ins);
}

// Fills in what follows from where the samples start and what the header gives them. A zero is
// a stand-in only where the enclosing size does not reach past the samples' own header either
// (a real empty data chunk is followed by chunks the enclosing size counts).
void settle(DataLength& d, const Bytes& b, bool zero_is_stand_in) {
    d.held = b.size > d.offset ? b.size - d.offset : 0;
    d.stand_in =
        d.declared != d.held &&
        ((d.declared == 0 && zero_is_stand_in && d.held > 0) ||
         (d.true_length.bytes == 4 ? is_stand_in32(d.declared) : d.declared == k_all_ones));
}

// Moves `at` past a chunk with an 8-byte header and `size` bytes padded to even; false where
// that would pass the end of the file.
bool skip_chunk(const Bytes& b, u64& at, u64 size) {
    const u64 step = 8 + size + (size & 1);
    if (step > b.size - at) return false;
    at += step;
    return true;
}

// Whether the enclosing RIFF or FORM size is a stand-in too, or counts nothing past `end`.
bool says_nothing_past(u64 outer_size, u64 end) {
    return outer_size == 0 || outer_size == 0xFFFFFFFFu || outer_size + 8 <= end;
}

// RIFF and RF64 (and BW64): chunks of a four-letter name and a 32-bit size, padded to even.
DataLength riff(const Bytes& b, const unsigned char* head) {
    DataLength d;
    const bool rifx = std::memcmp(head, "RIFX", 4) == 0;
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0;
    auto number = [rifx](const unsigned char* p, int bytes) {
        return rifx ? big(p, bytes) : little(p, bytes);
    };
    const u64 riff_size = number(head + 4, 4);
    u64 ds64_data = 0;
    long long ds64_data_at = -1;
    u64 at = 12;
    for (int chunk = 0; chunk < k_most_chunks && at + 8 <= b.size; ++chunk) {
        unsigned char h[8 + 16];
        if (!b.read(at, h, 8)) break;
        const u64 size = number(h + 4, 4);
        if (rf64 && chunk == 0) {
            // The ds64 chunk comes first and holds the 64-bit sizes.
            if (std::memcmp(h, "ds64", 4) != 0 || size < 24 || !b.read(at + 8, h + 8, 16)) break;
            ds64_data = little(h + 16, 8);
            ds64_data_at = static_cast<long long>(at + 16);
        } else if (std::memcmp(h, "data", 4) == 0) {
            d.offset = at + 8;
            if (rf64 && size == 0xFFFFFFFFu) {
                d.container = Container::rf64;
                d.declared = ds64_data;
                d.true_length = {ds64_data_at, 8, false, 0};
                settle(d, b, true);
            } else {
                d.container = rf64 ? Container::rf64 : Container::riff;
                d.declared = size;
                d.true_length = {static_cast<long long>(at + 4), 4, rifx, 0};
                settle(d, b, says_nothing_past(riff_size, d.offset));
            }
            return d;
        }
        if (!skip_chunk(b, at, size)) break;
    }
    return {};
}

// Wave64: chunks named by 16-byte GUIDs whose 64-bit size counts the 24-byte chunk header,
// aligned to 8 bytes.
DataLength wave64(const Bytes& b) {
    static const unsigned char data_guid[16] = {'d',  'a',  't',  'a',  0xF3, 0xAC, 0xD3, 0x11,
                                                0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
    u64 at = 40;
    for (int chunk = 0; chunk < k_most_chunks && at + 24 <= b.size; ++chunk) {
        unsigned char h[24];
        if (!b.read(at, h, 24)) break;
        const u64 size = little(h + 16, 8);
        if (std::memcmp(h, data_guid, 16) == 0) {
            DataLength d;
            d.container = Container::w64;
            d.offset = at + 24;
            d.declared = size == k_all_ones ? size : size - std::min<u64>(size, 24);
            d.true_length = {static_cast<long long>(at + 16), 8, false, 0};
            settle(d, b, true);
            return d;
        }
        if (size < 24 || size > b.size - at) break;
        at += size + (8 - size % 8) % 8;
    }
    return {};
}

// Sun AU: a fixed header with the samples' offset and length.
DataLength au(const Bytes& b, const unsigned char* head) {
    const bool little_endian = std::memcmp(head, "dns.", 4) == 0;
    auto number = [little_endian](const unsigned char* p) {
        return little_endian ? little(p, 4) : big(p, 4);
    };
    DataLength d;
    d.container = Container::au;
    d.offset = number(head + 4);
    d.declared = number(head + 8);
    d.true_length = {8, 4, !little_endian, 0};
    if (d.offset < 24) return {};
    settle(d, b, true);
    return d;
}

// AIFF and AIFC: big-endian chunks padded to even; the SSND chunk starts with an offset and a
// block size before the samples.
DataLength aiff(const Bytes& b, const unsigned char* head) {
    const u64 form_size = big(head + 4, 4);
    u64 at = 12;
    for (int chunk = 0; chunk < k_most_chunks && at + 8 <= b.size; ++chunk) {
        unsigned char h[16];
        if (!b.read(at, h, 8)) break;
        const u64 size = big(h + 4, 4);
        if (std::memcmp(h, "SSND", 4) == 0) {
            if (!b.read(at + 8, h + 8, 8)) break;
            const u64 skip = 8 + big(h + 8, 4);
            DataLength d;
            d.container = Container::aiff;
            d.offset = at + 8 + skip;
            d.true_length = {static_cast<long long>(at + 4), 4, true, 0};
            // The stand-ins are whole SSND sizes, as the chunk's header holds them.
            d.declared = size;
            settle(d, b, says_nothing_past(form_size, at + 16));
            d.declared = d.stand_in ? d.held : size - std::min(size, skip);
            return d;
        }
        if (!skip_chunk(b, at, size)) break;
    }
    return {};
}

}  // namespace

DataLength find_data_length(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return {};
    const off_t end = ftello(file);
    if (end < 0) return {};
    const Bytes b{file, static_cast<u64>(end)};
    unsigned char head[40];
    if (!b.read(0, head, 24)) return {};
    DataLength d;
    if ((std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RIFX", 4) == 0 ||
         std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0) &&
        std::memcmp(head + 8, "WAVE", 4) == 0)
        d = riff(b, head);
    else if (std::memcmp(head, "riff", 4) == 0 && b.read(0, head, 40) &&
             std::memcmp(head + 24, "wave", 4) == 0)
        d = wave64(b);
    else if (std::memcmp(head, ".snd", 4) == 0 || std::memcmp(head, "dns.", 4) == 0)
        d = au(b, head);
    else if (std::memcmp(head, "FORM", 4) == 0 &&
             (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0))
        d = aiff(b, head);
    if (d.stand_in) {
        // The held bytes, as far as the field can say them; beyond that libsndfile reads to
        // the end anyway.
        const u64 most = d.true_length.bytes == 4 ? 0xFFFFFFFFull : k_all_ones;
        u64 value = d.held;
        if (d.container == Container::w64) value += 24;
        if (d.container == Container::aiff) value += d.offset - (d.true_length.at + 4);
        d.true_length.value = std::min(value, most);
    } else {
        d.true_length = {};
    }
    return d;
}

}  // namespace varnolt::cli
