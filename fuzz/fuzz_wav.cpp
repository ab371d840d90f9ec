// Fuzzes the WAV sample loader (SDL's reader and our conversion to the mix format): any
// file loads or is refused without fault, and a loaded sample reads back in whole frames.
#include "fuzz/fuzz_audio_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz_file(data, size, ".wav");
    if (AudioSource* src = _driver_audio_sample_load_wav(path.c_str())) {
        fuzz_read_source(src, 64);
        delete src;
    }
    if (_driver_audio_memused_get() != 0) abort();  // every byte given back
    return 0;
}
