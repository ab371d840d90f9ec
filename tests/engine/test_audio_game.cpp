// End to end: the sound test game runs with a window (under Xvfb) and SDL's disk
// audio driver; what the device received must hold the game's sounds at the right
// level and pitch, in order.
#include "tests/engine/test_audio_util.h"
#include "tests/test_util.h"

TEST(AudioGame, WindowedGamePlaysSampleAndStreamThroughTheDevice) {
    std::string game = std::string(KEL_BINARY_DIR) + "/kelgame";
    if (access(game.c_str(), X_OK)) GTEST_SKIP() << "kelgame not built";
    std::string x = getenv("DISPLAY") ? "" : "xvfb-run -a ";
    if (!getenv("DISPLAY") && system("command -v xvfb-run >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no display and no xvfb-run";
    std::string dir = temp_dir("audio_game"), raw = dir + "/out.raw", log = dir + "/log.txt";
    std::string src = KEL_SOURCE_DIR;
    // Mesa's unloaded modules leave leaks that only full stacks can attribute.
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    std::string cmd = "cd '" + dir + "' && HOME='" + dir + "' ASAN_OPTIONS='" + asan +
                      ":fast_unwind_on_malloc=0' SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" +
                      raw + "' timeout " + std::to_string(60 * KEL_TIMEOUT_SCALE) + " " + x +
                      KEL_RUN_PREFIX + "'" + game + "' --verbose -crash exit -mod '" + src +
                      "/tests/mods/sound_game/main.lua' -datadir '" + src +
                      "/tests/data/audio' >'" + log + "' 2>&1";
    int rc = system(cmd.c_str());
    std::string out = slurp(log);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("Sanitizer"), std::string::npos) << out;
    EXPECT_NE(out.find("_mixer: audio_init: OK"), std::string::npos) << out;
    // the second kel_stream_play only changes the volume; the second stop does nothing
    size_t play = out.find("_mixer: stream_play");
    ASSERT_NE(play, std::string::npos) << out;
    EXPECT_EQ(out.find("_mixer: stream_play", play + 1), std::string::npos);
    size_t stop = out.find("_mixer: stream_stop");
    ASSERT_NE(stop, std::string::npos);
    EXPECT_EQ(out.find("_mixer: stream_stop", stop + 1), std::string::npos);

    std::string bytes = slurp(raw);
    ASSERT_GT(bytes.size(), (size_t)(2.5 * 44100 * 8)) << "device output too short";
    std::vector<float> st(bytes.size() / 4);
    memcpy(st.data(), bytes.data(), st.size() * 4);
    std::vector<float> l = ta_channel(st, 0), r = ta_channel(st, 1);
    float lr = 0.0f;  // mono sounds on both channels (ramps step per sample, not frame)
    for (size_t i = 0; i < l.size(); i++) lr = fmaxf(lr, fabsf(l[i] - r[i]));
    EXPECT_LT(lr, 5e-3f);
    EXPECT_LE(ta_peak(l), 1.0f);

    // 50 ms windows by frequency and level: the beep, the stream at true pitch
    // (500 Hz, not an octave high), then the stream at half volume. A loaded machine
    // stretches or shrinks the phases and a window may straddle two of them, so a tone
    // counts only in runs of three windows or more, and the phases are judged by order.
    struct Tone {
        double hz, rms;
        int count, first, run;
    } tones[] = {{1000, 0.354, 0, -1, 0}, {500, 0.354, 0, -1, 0}, {500, 0.177, 0, -1, 0}};
    const size_t w = 2205;
    double last_rms = 1.0;
    std::string trace;  // hz/rms per window, shown on failure
    for (size_t i = 0; i + w <= l.size(); i += w) {
        std::vector<float> part(l.begin() + (long)i, l.begin() + (long)(i + w));
        double sum = 0;
        for (float v : part) sum += (double)v * v;
        double rms = sqrt(sum / w), hz = ta_freq(part, 44100);
        char buf[32];
        snprintf(buf, sizeof buf, " %.0f/%.3f", hz, rms);
        trace += buf;
        for (Tone& t : tones) {
            if (fabs(hz - t.hz) > t.hz * 0.03 || fabs(rms - t.rms) > 0.015) {
                t.run = 0;
                continue;
            }
            if (++t.run < 3) continue;
            t.count += t.run == 3 ? 3 : 1;
            if (t.first < 0) t.first = (int)(i / w) - 2;
        }
        last_rms = rms;
    }
    EXPECT_GE(tones[0].count, 8) << trace;
    EXPECT_LE(tones[0].count, 11) << trace;  // the beep alone, at its own length
    EXPECT_GE(tones[1].count, 10) << trace;
    EXPECT_GE(tones[2].count, 10) << trace;
    EXPECT_TRUE(tones[0].first >= 0 && tones[0].first < tones[1].first &&
                tones[1].first < tones[2].first)
        << trace;
    EXPECT_LT(last_rms, 0.001) << "still sounding after stop";
    rm_rf(dir);
}
