// Sample and stream loading: WAV and Ogg files decoded into the mix format, Vorbis
// streams decoded while mixed, and bad files refused without harm.
#include <stdio.h>

#include <fstream>

#include "tests/engine/test_audio_util.h"
#include "util/kel_log.h"

static AudioSourceMemory* memory_source(int id) {
    return dynamic_cast<AudioSourceMemory*>(_driver_audio_source(id));
}

static std::vector<float> memory_data(int id) {
    AudioSourceMemory* m = memory_source(id);
    return m ? std::vector<float>(m->data, m->data + m->count) : std::vector<float>();
}

static void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

static std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Mixes buffers until secs seconds of output are gathered.
static std::vector<float> mix_seconds(double secs) {
    std::vector<float> out;
    while (out.size() < (size_t)(secs * 44100) * 2) {
        std::vector<float> b = ta_mix();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

struct Expect {
    const char* file;
    int frames;  // at 44100 Hz
    double left_hz, right_hz;
};

TEST_F(AudioTest, SamplesOfEveryFormatDecodeToTheMixFormat) {
    const Expect cases[] = {
        {"s16_mono_44100.wav", 4410, 441, 441},     {"u8_mono_22050.wav", 4410, 441, 441},
        {"s16_stereo_48000.wav", 4410, 441, 882},   {"mono_22050.ogg", 44100, 500, 500},
        {"stereo_44100.ogg", 44100, 441, 882},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.file);
        uint32_t before = _driver_audio_memused_get();
        int id = driver_audio_sample_load(ta_data(e.file).c_str());
        ASSERT_GT(id, 0);
        AudioSourceMemory* m = memory_source(id);
        ASSERT_NE(m, nullptr);
        EXPECT_NEAR(m->count / 2, e.frames, e.frames / 100);
        EXPECT_EQ(m->count % 2, 0);
        EXPECT_EQ(_driver_audio_memused_get() - before, (uint32_t)m->count * 4);
        std::vector<float> d = memory_data(id);
        std::vector<float> l = ta_channel(d, 0), r = ta_channel(d, 1);
        EXPECT_NEAR(ta_peak(l), 0.5f, 0.03f);
        EXPECT_NEAR(ta_freq(l, 44100), e.left_hz, e.left_hz * 0.01);
        EXPECT_NEAR(ta_freq(r, 44100), e.right_hz, e.right_hz * 0.01);
        if (e.left_hz == e.right_hz) {
            EXPECT_EQ(l, r);
        }
    }
}

TEST_F(AudioTest, MissingAndBadFilesLoadAsZero) {
    driver_verbose_set(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(driver_audio_sample_load("missing.ogg"), 0);
    EXPECT_EQ(driver_audio_sample_load("missing.wav"), 0);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("_mixer: error in _sample_load_ogg 'missing.ogg' (driver_file_alloc)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("_mixer: error in _sample_load_wav 'missing.wav'"), std::string::npos);

    std::string wav = read_file(ta_data("s16_mono_44100.wav"));
    std::string ogg = read_file(ta_data("stereo_44100.ogg"));
    std::string noise(4000, '\0');
    for (size_t i = 0; i < noise.size(); i++) noise[i] = (char)(i * 7919 % 251);
    std::string bad_ogg = ogg;  // valid headers, scrambled audio pages
    for (size_t i = 4000; i < bad_ogg.size(); i += 3) bad_ogg[i] = (char)~bad_ogg[i];
    const std::pair<const char*, std::string> bad[] = {
        {"empty.wav", ""},          {"empty.ogg", ""},
        {"noise.wav", noise},       {"noise.ogg", noise},
        {"head.wav", wav.substr(0, 30)}, {"head.ogg", ogg.substr(0, 60)},
        {"riff.wav", "RIFF\xff\xff\xff\x7fWAVEfmt "},
    };
    uint32_t before = _driver_audio_memused_get();
    for (const auto& b : bad) {
        write_file(b.first, b.second);
        EXPECT_EQ(driver_audio_sample_load(b.first), 0) << b.first;
    }
    EXPECT_EQ(_driver_audio_memused_get(), before);
    // damaged data after good headers: loads what it can or nothing, never crashes
    write_file("cut.ogg", ogg.substr(0, ogg.size() / 2));
    write_file("cut.wav", wav.substr(0, wav.size() / 2));
    write_file("scrambled.ogg", bad_ogg);
    for (const char* f : {"cut.ogg", "cut.wav", "scrambled.ogg"}) {
        int id = driver_audio_sample_load(f);
        if (id) {
            EXPECT_LE(memory_source(id)->count, 2 * 44100) << f;
        }
    }
}

TEST_F(AudioTest, VorbisStreamLoadsAtPlayAndUnloadsAtStop) {
    uint32_t before = _driver_audio_memused_get();
    int id = driver_audio_stream_load(ta_data("stereo_44100.ogg").c_str());
    ASSERT_GT(id, 0);
    AudioSourceVorbis* v = dynamic_cast<AudioSourceVorbis*>(_driver_audio_source(id));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->decoder, nullptr);  // registered, not opened
    EXPECT_EQ(_driver_audio_memused_get(), before);
    driver_audio_stream_play(id, 1.0f);
    ASSERT_NE(v->decoder, nullptr);
    EXPECT_EQ(_driver_audio_memused_get() - before, (uint32_t)read_file(ta_data("stereo_44100.ogg")).size());
    EXPECT_EQ(v->length(), 2 * 44100);

    // the stream gives the same signal as the whole-file decode
    int sample = driver_audio_sample_load(ta_data("stereo_44100.ogg").c_str());
    std::vector<float> whole = memory_data(sample);
    std::vector<float> first = ta_mix();
    for (int i = 0; i < TA_FLOATS; i++) ASSERT_NEAR(first[(size_t)i], whole[(size_t)i], 1e-3f) << i;
    // it loops: after its length it starts again at the beginning
    std::vector<float> rest = mix_seconds(1.0 - 1.0 / 44.1);
    (void)rest;
    while (_driver_audio_voices()[0].position != 0) ta_mix();
    EXPECT_EQ(ta_mix(), first);

    uint32_t loaded = _driver_audio_memused_get();
    driver_audio_stream_stop(id);
    EXPECT_EQ(v->decoder, nullptr);
    EXPECT_EQ(ta_voice_count(), 0);
    EXPECT_EQ(loaded - _driver_audio_memused_get(), (uint32_t)read_file(ta_data("stereo_44100.ogg")).size());
    driver_audio_stream_play(id, 1.0f);  // the id stays valid and loads again
    EXPECT_NE(v->decoder, nullptr);
    EXPECT_EQ(ta_mix(), first);
}

TEST_F(AudioTest, StreamAtAnotherRateKeepsItsPitchAndMonoFillsBothChannels) {
    int id = driver_audio_stream_load(ta_data("mono_22050.ogg").c_str());
    driver_audio_stream_play(id, 1.0f);
    EXPECT_NEAR(_driver_audio_source(id)->length(), 2 * 44100, 4);
    std::vector<float> out = mix_seconds(0.9);
    std::vector<float> l = ta_channel(out, 0), r = ta_channel(out, 1);
    EXPECT_NEAR(ta_freq(l, 44100), 500.0, 5.0);
    EXPECT_NEAR(ta_peak(l), 0.5f, 0.03f);
    EXPECT_EQ(l, r);
    // the converter's tail comes out too: one pass gives the whole length
    AudioSourceVorbis* v = dynamic_cast<AudioSourceVorbis*>(_driver_audio_source(id));
    std::vector<float> tmp(TA_FLOATS);
    int total = 0;
    for (int pos = 0; pos < v->length(); pos += TA_FLOATS) total += v->get(pos, TA_FLOATS, tmp.data());
    EXPECT_EQ(total, v->length());
    // restart from the start gives the same opening again
    std::vector<float> a = std::vector<float>(out.begin(), out.begin() + TA_FLOATS);
    driver_audio_stream_play(id, 1.0f);
    EXPECT_EQ(ta_mix(), a);
}

TEST_F(AudioTest, StreamThatCannotLoadPlaysSilenceUntilStopped) {
    int id = driver_audio_stream_load("no_such_stream.ogg");
    ASSERT_GT(id, 0);
    driver_audio_stream_play(id, 1.0f);
    ASSERT_EQ(ta_voice_count(), 1);
    EXPECT_EQ(ta_mix(), std::vector<float>(TA_FLOATS, 0.0f));
    EXPECT_EQ(ta_voice_count(), 1);  // still looping
    driver_audio_stream_stop(id);
    EXPECT_EQ(ta_voice_count(), 0);
    // a WAV stream is loaded whole; a path too long for the stream record is refused
    int w = driver_audio_stream_load(ta_data("beep.wav").c_str());
    EXPECT_NE(dynamic_cast<AudioSourceMemory*>(_driver_audio_source(w)), nullptr);
    EXPECT_EQ(driver_audio_stream_load((std::string(1100, 'x') + ".ogg").c_str()), 0);
}

TEST(AudioNoDevice, EverythingIsANoOp) {
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    _driver_audio_init();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_FALSE(_driver_audio_active());
    EXPECT_EQ(driver_audio_sample_load(ta_data("beep.wav").c_str()), 0);
    EXPECT_EQ(driver_audio_stream_load(ta_data("mono_22050.ogg").c_str()), 0);
    std::atomic<float> level(1.0f);
    EXPECT_EQ(driver_audio_callback_play(new ConstGen(&level), 1.0f), 0);
    driver_audio_sample_play(1, 1.0f, 0.0f);
    driver_audio_stream_play(1, 1.0f);
    driver_audio_stream_stop(1);
    _driver_audio_deinit();
}
