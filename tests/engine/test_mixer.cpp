// The sample and stream manager: name resolution, one load per name, remembered
// failures, the once-a-second reload check.
#include "util/kel_mixer.h"

#include <sys/stat.h>
#include <utime.h>

#include <fstream>

#include "tests/engine/test_audio_util.h"

static std::string g_root;

static const char* datadir() {
    static std::string d;
    d = g_root + "/data";
    return d.c_str();
}

static long g_now = 1000;
static long fake_clock() { return g_now; }

static void copy_file(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream(to, std::ios::binary) << in.rdbuf();
}

static void set_mtime(const std::string& path, long t) {
    struct utimbuf u = {(time_t)t, (time_t)t};
    utime(path.c_str(), &u);
}

class MixerTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        char tmpl[] = "/tmp/kel_mixer_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        g_root = tmpl;
        mkdir((g_root + "/data").c_str(), 0755);
        mkdir((g_root + "/home").c_str(), 0755);
        setenv("HOME", (g_root + "/home").c_str(), 1);
        driver_appid_set("kelmixertest");
        driver_datadir_query_set(datadir);
        driver_verbose_set(1);
        mixer_clock_set(fake_clock);
        mixer_init();
    }
    void TearDown() override {
        mixer_deinit();
        mixer_clock_set(nullptr);
        driver_datadir_query_set(nullptr);
        driver_appid_set("");
        std::string cmd = "rm -rf '" + g_root + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        AudioTest::TearDown();
    }
    std::string data(const char* n) { return g_root + "/data/" + n; }
    std::string user(const char* n) { return g_root + "/home/" + n; }
};

TEST_F(MixerTest, NamesResolveByExtensionThenArea) {
    copy_file(ta_data("s16_mono_44100.wav"), data("jump.wav"));
    copy_file(ta_data("u8_mono_22050.wav"), user("jump.wav"));
    copy_file(ta_data("u8_mono_22050.wav"), user("coin.wav"));  // .wav comes before .ogg
    copy_file(ta_data("mono_22050.ogg"), data("coin.ogg"));
    copy_file(ta_data("stereo_44100.ogg"), data("music.ogg"));
    copy_file(ta_data("beep.wav"), user("bare"));  // a file without extension

    EXPECT_GT(mixer_sample_load("jump"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("jump")), data("jump.wav"));
    EXPECT_GT(mixer_sample_load("coin"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("coin")), user("coin.wav"));
    EXPECT_GT(mixer_sample_load("music.ogg"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("music.ogg")), data("music.ogg"));
    EXPECT_GT(mixer_sample_load("bare"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("bare")), user("bare"));
    // the file found under .ogg is decoded as Ogg
    AudioSourceMemory* m =
        dynamic_cast<AudioSourceMemory*>(_driver_audio_source(mixer_sample_load("coin.ogg")));
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(m->count, 2 * 44100, 100);
}

TEST_F(MixerTest, EachNameLoadsOnceAndFailuresAreRemembered) {
    copy_file(ta_data("beep.wav"), data("beep.wav"));
    testing::internal::CaptureStdout();
    int a = mixer_sample_load("beep");
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find(":: trying load sample beep"), std::string::npos) << log;
    EXPECT_NE(log.find("doing load sample beep"), std::string::npos);
    ASSERT_GT(a, 0);
    uint32_t used = _driver_audio_memused_get();
    testing::internal::CaptureStdout();
    EXPECT_EQ(mixer_sample_load("beep"), a);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(_driver_audio_memused_get(), used);
    EXPECT_EQ(_driver_audio_source(a + 1), nullptr);  // nothing else was loaded

    testing::internal::CaptureStdout();
    EXPECT_EQ(mixer_sample_load("ghost"), 0);
    log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("unable to find sample ghost"), std::string::npos) << log;
    copy_file(ta_data("beep.wav"), data("ghost.wav"));  // too late: the miss is kept
    testing::internal::CaptureStdout();
    EXPECT_EQ(mixer_sample_load("ghost"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    std::ofstream(data("broken.wav")) << "not a wave file";
    EXPECT_EQ(mixer_sample_load("broken"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("broken")), data("broken.wav"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(mixer_sample_load("broken"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // streams are a separate map with their own messages; an Ogg stream only registers
    testing::internal::CaptureStdout();
    int s = mixer_stream_load("beep");
    int g = mixer_stream_load("ghost2");
    log = testing::internal::GetCapturedStdout();
    EXPECT_GT(s, a);
    EXPECT_EQ(g, 0);
    EXPECT_NE(log.find("trying load stream beep"), std::string::npos) << log;
    EXPECT_EQ(log.find(":: trying load stream"), std::string::npos);
    EXPECT_NE(log.find("doing load stream beep"), std::string::npos);
    EXPECT_NE(log.find("unable to find stream ghost2"), std::string::npos);
    EXPECT_EQ(mixer_stream_load("beep"), s);
    copy_file(ta_data("stereo_44100.ogg"), data("song.ogg"));
    used = _driver_audio_memused_get();
    int song = mixer_stream_load("song");
    EXPECT_GT(song, 0);
    EXPECT_EQ(_driver_audio_memused_get(), used);
    mixer_stream_play(song, 1.0f);
    EXPECT_GT(_driver_audio_memused_get(), used);
    mixer_stream_stop(song);
    EXPECT_EQ(_driver_audio_memused_get(), used);
}

TEST_F(MixerTest, ChangedFilesAreReportedAtMostOncePerSecond) {
    copy_file(ta_data("beep.wav"), data("beep.wav"));
    copy_file(ta_data("stereo_44100.ogg"), data("song.ogg"));
    set_mtime(data("beep.wav"), 5000);
    set_mtime(data("song.ogg"), 5000);
    int id = mixer_sample_load("beep");
    mixer_stream_load("song");
    mixer_sample_load("ghost");  // no path: never checked
    AudioSourceMemory* before = dynamic_cast<AudioSourceMemory*>(_driver_audio_source(id));
    ASSERT_NE(before, nullptr);
    float first = before->data[100];

    g_now = 2000;
    testing::internal::CaptureStdout();
    mixer_reload_auto();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // nothing changed

    set_mtime(data("beep.wav"), 5001);
    set_mtime(data("song.ogg"), 5001);
    testing::internal::CaptureStdout();
    mixer_reload_auto();  // same second: no check
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    g_now = 2001;
    testing::internal::CaptureStdout();
    mixer_reload_auto();
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("sample reload: " + data("beep.wav")), std::string::npos) << log;
    EXPECT_NE(log.find("stream reload: " + data("song.ogg")), std::string::npos) << log;

    g_now = 2002;
    testing::internal::CaptureStdout();
    mixer_reload_auto();  // the new time was stored
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // the sound in memory stays as loaded
    EXPECT_EQ(_driver_audio_source(id), before);
    EXPECT_EQ(before->data[100], first);
    EXPECT_EQ(mixer_sample_load("beep"), id);
}

TEST_F(MixerTest, IdZeroAndMissingStateAreHarmless) {
    mixer_sample_play(0, 1.0f, 0.0f);
    mixer_stream_play(0, 1.0f);
    mixer_stream_pause(0, 1);
    mixer_volume(0, 0.5f);
    mixer_stream_stop(0);
    EXPECT_EQ(ta_voice_count(), 0);
    EXPECT_EQ(mixer_sample_load(nullptr), 0);
    mixer_deinit();
    EXPECT_EQ(mixer_sample_load("beep"), 0);
    EXPECT_EQ(_mixer_sample_path("beep"), nullptr);
    mixer_reload_auto();
    mixer_init();
}

TEST_F(MixerTest, PassThroughsReachTheMixer) {
    copy_file(ta_data("beep.wav"), data("beep.wav"));
    int s = mixer_sample_load("beep");
    int t = mixer_stream_load("beep");
    mixer_sample_play(s, 0.25f, 3.0f);
    mixer_stream_play(t, 1.0f);
    mixer_volume(t, 0.5f);
    mixer_stream_pause(t, 1);
    std::vector<AudioVoice> vs = _driver_audio_voices();
    ASSERT_EQ(vs.size(), 2u);
    EXPECT_EQ(vs[0].id, s);
    EXPECT_EQ(vs[0].loop, 0);
    EXPECT_FLOAT_EQ(vs[0].extra, 3.0f);
    EXPECT_EQ(vs[1].id, t);
    EXPECT_EQ(vs[1].loop, 1);
    EXPECT_FLOAT_EQ(vs[1].volume, 0.5f);
    EXPECT_EQ(vs[1].paused, 1);
    mixer_stream_stop(t);
    EXPECT_EQ(ta_voice_count(), 1);
}

TEST(MixerNoDevice, NamesFoundButNothingLoads) {
    mixer_init();
    std::string dir = std::string(KEL_SOURCE_DIR) + "/tests/data/audio";
    static std::string d;
    d = dir;
    driver_datadir_query_set([]() { return d.c_str(); });
    EXPECT_EQ(mixer_sample_load("beep"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("beep")), dir + "/beep.wav");
    driver_datadir_query_set(nullptr);
    mixer_deinit();
}
