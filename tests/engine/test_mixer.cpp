// The sound manager: name resolution and the once-a-second reload check. (One load per name
// and remembered failures: the warn game and ApiStreams.)
#include "util/kel_mixer.h"

#include <sys/stat.h>


#include "tests/engine/test_audio_util.h"
#include "tests/test_util.h"

static std::string g_root;
static long g_now = 1000;
static const char* datadir() {
    static std::string d;
    return (d = g_root + "/data").c_str();
}
static long fake_clock() { return g_now; }

class MixerTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        g_root = temp_dir("mixer");
        mkdir(datadir(), 0755);
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
        rm_rf(g_root);
        AudioTest::TearDown();
    }
    std::string data(const char* n) { return g_root + "/data/" + n; }
    std::string user(const char* n) { return g_root + "/home/" + n; }
    void put(const char* sound, const std::string& to) { write_file(to, slurp(ta_data(sound))); }
};

TEST_F(MixerTest, NamesResolveByExtensionThenArea) {
    put("s16_mono_44100.wav", data("jump.wav"));
    put("u8_mono_22050.wav", user("jump.wav"));
    put("u8_mono_22050.wav", user("coin.wav"));  // ".wav" is tried before ".ogg"
    put("mono_22050.ogg", data("coin.ogg"));
    put("beep.wav", user("bare"));  // no extension at all
    EXPECT_GT(mixer_sample_load("jump"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("jump")), data("jump.wav"));
    EXPECT_GT(mixer_sample_load("coin"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("coin")), user("coin.wav"));
    EXPECT_GT(mixer_sample_load("bare"), 0);
    EXPECT_EQ(std::string(_mixer_sample_path("bare")), user("bare"));
    int ogg = mixer_sample_load("coin.ogg");
    EXPECT_EQ(std::string(_mixer_sample_path("coin.ogg")), data("coin.ogg"));
    AudioSourceMemory* m = dynamic_cast<AudioSourceMemory*>(_driver_audio_source(ogg));
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(m->count, 2 * 44100, 100);  // decoded as Ogg
}

TEST_F(MixerTest, ChangedFilesAreReportedAtMostOncePerSecond) {
    put("beep.wav", data("beep.wav"));
    put("stereo_44100.ogg", data("song.ogg"));
    auto touch = [&](long t) {
        struct utimbuf u = {(time_t)t, (time_t)t};
        utime(data("beep.wav").c_str(), &u);
        utime(data("song.ogg").c_str(), &u);
    };
    touch(5000);
    int id = mixer_sample_load("beep");
    mixer_stream_load("song");
    mixer_sample_load("ghost");  // no path: never checked
    AudioSource* before = _driver_audio_source(id);

    g_now = 2000;
    EXPECT_EQ(logged(mixer_reload_auto), "");  // nothing changed
    touch(5001);
    EXPECT_EQ(logged(mixer_reload_auto), "");  // same second: not checked
    g_now = 2001;
    std::string log = logged(mixer_reload_auto);
    EXPECT_NE(log.find("sample reload: " + data("beep.wav")), std::string::npos) << log;
    EXPECT_NE(log.find("stream reload: " + data("song.ogg")), std::string::npos) << log;
    g_now = 2002;
    EXPECT_EQ(logged(mixer_reload_auto), "");  // the new time was kept
    EXPECT_EQ(_driver_audio_source(id), before);  // the sound stays as loaded
    EXPECT_EQ(mixer_sample_load("beep"), id);

    mixer_deinit();  // without the manager everything is a no-op
    EXPECT_EQ(mixer_sample_load("beep"), 0);
    EXPECT_EQ(_mixer_sample_path("beep"), nullptr);
    mixer_reload_auto();
    mixer_init();
}
