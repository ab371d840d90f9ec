// Loading: bad files refused without harm, a stream at another rate keeping its pitch,
// streams that cannot load. (Every format and looping streams: the game tests, the sound
// manager tests and test_hostile.)
#include <unistd.h>

#include "tests/engine/test_audio_util.h"
#include "tests/test_util.h"

static AudioSourceMemory* memory(int id) {
    return dynamic_cast<AudioSourceMemory*>(_driver_audio_source(id));
}

static std::vector<float> mix_seconds(double secs) {
    std::vector<float> out;
    while (out.size() < (size_t)(secs * 44100) * 2) {
        std::vector<float> b = ta_mix();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST_F(AudioTest, MissingAndBadFilesLoadAsZero) {
    EXPECT_EQ(driver_audio_sample_load("missing.ogg"), 0);
    EXPECT_EQ(driver_audio_sample_load("missing.wav"), 0);
    std::string wav = slurp(ta_data("s16_mono_44100.wav"));
    std::string ogg = slurp(ta_data("stereo_44100.ogg"));
    std::string noise(4000, '\0'), scrambled = ogg;
    for (size_t i = 0; i < noise.size(); i++) noise[i] = (char)(i * 7919 % 251);
    for (size_t i = 4000; i < scrambled.size(); i += 3) scrambled[i] = (char)~scrambled[i];
    // A comment header announcing 1000 comments, the first 2 GB long (stb_vorbis crashed).
    std::string forged = ogg;
    size_t vendor = forged.find("\x03vorbis") + 7;
    size_t count = vendor + 4 + (uint8_t)forged[vendor];
    forged.replace(count, 8, std::string("\xe8\x03\0\0\0\0\0\x80", 8));
    // A data chunk claiming 2 GB: SDL allocated it and loaded what there was.
    std::string huge = wav;
    huge.replace(huge.find("data") + 4, 4, "\xff\xff\xff\x7f");
    const std::pair<const char*, std::string> files[] = {
        {"empty.wav", ""}, {"empty.ogg", ""}, {"noise.wav", noise}, {"noise.ogg", noise},
        {"head.wav", wav.substr(0, 30)}, {"head.ogg", ogg.substr(0, 60)},
        {"riff.wav", "RIFF\xff\xff\xff\x7fWAVEfmt "},
        // damaged after good headers: whatever loads is no longer than the file
        {"cut.ogg", ogg.substr(0, ogg.size() / 2)}, {"cut.wav", wav.substr(0, wav.size() / 2)},
        {"scrambled.ogg", scrambled}, {"forged.ogg", forged}, {"forged.wav", huge}};
    std::string dir = temp_dir("audio_bad");
    for (const auto& f : files) {
        std::string path = dir + "/" + f.first;
        write_file(path, f.second);
        int id = driver_audio_sample_load(path.c_str());
        if (strstr(f.first, ".ogg")) {  // the stream path reads the same headers
            AudioSourceVorbis stream(path.c_str());
            float buf[2048];
            EXPECT_EQ(stream.get(0, 2048, buf) == 0, !id) << f.first;
        }
        bool damaged = !strncmp(f.first, "cut", 3) || !strncmp(f.first, "scr", 3);
        EXPECT_TRUE(damaged ? !id || memory(id)->count <= 2 * 44100 : !id) << f.first;
    }
    rm_rf(dir);
}

TEST_F(AudioTest, StreamAtAnotherRateKeepsItsPitchAndMonoFillsBothChannels) {
    int id = driver_audio_stream_load(ta_data("mono_22050.ogg").c_str());
    driver_audio_stream_play(id, 1.0f);
    AudioSource* v = _driver_audio_source(id);
    EXPECT_EQ(v->length(), 2 * 44100);
    std::vector<float> out = mix_seconds(0.9);
    std::vector<float> l = ta_channel(out, 0);
    EXPECT_NEAR(ta_freq(l, 44100), 500.0, 5.0);
    EXPECT_NEAR(ta_peak(l), 0.5f, 0.03f);
    EXPECT_TRUE(l == ta_channel(out, 1));
    // one pass gives the whole length, the converter's tail included
    std::vector<float> tmp(TA_FLOATS);
    int total = 0;
    for (int pos = 0; pos < v->length(); pos += TA_FLOATS) total += v->get(pos, TA_FLOATS, tmp.data());
    EXPECT_EQ(total, v->length());
    driver_audio_stream_play(id, 1.0f);  // a restart gives the same opening
    EXPECT_EQ(ta_mix(), std::vector<float>(out.begin(), out.begin() + TA_FLOATS));
}

TEST_F(AudioTest, StreamsThatCannotLoadPlaySilence) {
    std::string path = "/tmp/kel_audio_late_" + std::to_string(getpid()) + ".ogg";
    unlink(path.c_str());
    int id = driver_audio_stream_load(path.c_str());
    ASSERT_GT(id, 0);  // only registered
    driver_audio_stream_play(id, 1.0f);
    EXPECT_EQ(ta_mix(), std::vector<float>(TA_FLOATS, 0.0f));
    EXPECT_EQ(ta_voice_count(), 1);  // still looping
    // Failed once, it does not try again while mixed, even when the file turns up ...
    write_file(path, slurp(ta_data("stereo_44100.ogg")));
    EXPECT_EQ(ta_mix(), std::vector<float>(TA_FLOATS, 0.0f));
    // ... but when it is played again.
    driver_audio_stream_play(id, 1.0f);
    EXPECT_GT(ta_peak(ta_mix()), 0.1f);
    driver_audio_stream_stop(id);
    unlink(path.c_str());
    EXPECT_EQ(ta_voice_count(), 0);
    // a WAV stream is loaded whole; a path too long for the stream record is refused
    EXPECT_NE(memory(driver_audio_stream_load(ta_data("beep.wav").c_str())), nullptr);
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
    driver_audio_stream_play(1, 1.0f);
    _driver_audio_deinit();
}
