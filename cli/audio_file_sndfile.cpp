#include "audio_file_sndfile.h"

namespace varnolt::cli {

int integer_width(int encoding) {
    switch (encoding) {
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_S8:
            return 8;
        case SF_FORMAT_PCM_16:
            return 16;
        case SF_FORMAT_PCM_24:
            return 24;
        case SF_FORMAT_PCM_32:
            return 32;
        default:
            return 0;
    }
}

}  // namespace varnolt::cli
