// Helpers of the audio tests: a mixer whose device is paused, so tests run the
// mixing callback themselves; small sources; signal measures.
#ifndef TEST_AUDIO_UTIL_H
#define TEST_AUDIO_UTIL_H

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <vector>

#include "util/kel_driver-audio.h"
#include "util/kel_driver.h"

enum { TA_FRAMES = 1024, TA_FLOATS = 2 * TA_FRAMES, TA_BYTES = 4 * TA_FLOATS };

// Writes one level everywhere; the level may change between buffers.
struct ConstGen : AudioCallback {
    std::atomic<float>* level;
    explicit ConstGen(std::atomic<float>* l) : level(l) {}
    int get_samples(float* buf, int n) override {
        for (int i = 0; i < n; i++) buf[i] = level->load();
        return n;
    }
};

inline std::string ta_data(const char* name) {
    return std::string(KEL_SOURCE_DIR) + "/tests/data/audio/" + name;
}

inline int ta_memory(const std::vector<float>& data) {
    AudioSourceMemory* m = new AudioSourceMemory((int)data.size());
    std::copy(data.begin(), data.end(), m->data);
    return _driver_audio_source_add(m);
}

// One callback's output in the mix format.
inline std::vector<float> ta_mix() {
    std::vector<float> out(TA_FLOATS, 123.0f);
    _driver_audio_mix((unsigned char*)out.data(), TA_BYTES);
    return out;
}

inline int ta_voice_count() { return (int)_driver_audio_voices().size(); }

inline std::vector<float> ta_channel(const std::vector<float>& st, int ch) {
    std::vector<float> out;
    for (size_t i = (size_t)ch; i < st.size(); i += 2) out.push_back(st[i]);
    return out;
}

// Frequency from the upward zero crossings.
inline double ta_freq(const std::vector<float>& s, double rate) {
    int first = -1, last = -1, count = 0;
    for (size_t i = 1; i < s.size(); i++) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            if (first < 0) first = (int)i;
            last = (int)i;
            count++;
        }
    }
    return count < 2 ? 0.0 : (count - 1) * rate / (last - first);
}

inline float ta_peak(const std::vector<float>& s) {
    float p = 0.0f;
    for (float v : s) p = fmaxf(p, fabsf(v));
    return p;
}

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        _driver_audio_init();
        ASSERT_TRUE(_driver_audio_active());
        _driver_audio_pause(1);
    }
    void TearDown() override { _driver_audio_deinit(); }
};

#endif
