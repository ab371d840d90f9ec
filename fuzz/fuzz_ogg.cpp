// Fuzzes both Ogg Vorbis paths: the sample loader (decoded whole, converted to the mix
// format) and the stream (opened, resampled when its rate is not the mix rate, read in
// mixer buffers, unloaded and read again from the start). Neither may fault, and both
// give back the memory they accounted.
#include "fuzz/fuzz_audio_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz_file(data, size, ".ogg");
    if (AudioSource* src = _driver_audio_sample_load_ogg(path.c_str())) {
        fuzz_read_source(src, 64);
        delete src;
    }
    {
        AudioSourceVorbis stream(path.c_str());
        fuzz_read_source(&stream, 16);
        stream.unload();
        fuzz_read_source(&stream, 2);
    }
    if (_driver_audio_memused_get() != 0) abort();
    return 0;
}
