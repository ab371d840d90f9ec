#include "util/kel_mixer.h"

#include <time.h>

#include <map>
#include <string>

#include "util/kel_driver-audio.h"
#include "util/kel_driver.h"
#include "util/kel_log.h"

struct MixerEntry {
    int id;            // 0: not found or not loadable
    std::string path;  // empty when not found
    int64_t mtime;
};

typedef std::map<std::string, MixerEntry> MixerMap;

struct MixerState {
    MixerMap samples;
    MixerMap streams;
};

static MixerState* _mixer_state = nullptr;
static long _mixer_last_check = 0;
static mixer_clock_fn _mixer_clock = nullptr;

static const char* const _mixer_ext[] = {"", ".wav", ".ogg", ".mp3", ".aac", ".caf", ".raw"};

void mixer_init() {
    if (!_mixer_state) _mixer_state = new MixerState();
}

void mixer_deinit() {
    delete _mixer_state;
    _mixer_state = nullptr;
}

void mixer_clock_set(mixer_clock_fn fn) { _mixer_clock = fn; }

static long _mixer_now() { return _mixer_clock ? _mixer_clock() : (long)time(nullptr); }

// The data area is searched before the user area.
static std::string _mixer_find(const char* name) {
    for (const char* ext : _mixer_ext) {
        std::string n = std::string(name) + ext;
        if (driver_data_exists(n.c_str())) return driver_data_path(n.c_str());
        if (driver_user_exists(n.c_str())) return driver_user_path(n.c_str());
    }
    return std::string();
}

struct MixerKind {
    const char* func;
    const char* trying;
    const char* unable;
    const char* doing;
    int (*load)(const char*);
};

static const MixerKind _mixer_sample_kind = {"mixer_sample_load", ":: trying load sample %s\n",
                                             "unable to find sample %s\n",
                                             "doing load sample %s\n", driver_audio_sample_load};
static const MixerKind _mixer_stream_kind = {"mixer_stream_load", "trying load stream %s\n",
                                             "unable to find stream %s\n",
                                             "doing load stream %s\n", driver_audio_stream_load};

static int _mixer_load(MixerMap& map, const char* name, const MixerKind& k) {
    if (!name) return 0;
    MixerMap::iterator it = map.find(name);
    if (it != map.end()) return it->second.id;
    KEL_LOG(k.func, k.trying, name);
    std::string path = _mixer_find(name);
    if (path.empty()) {
        KEL_LOG(k.func, k.unable, name);
        log_warn("sound not found: %s", name);
        map[name] = MixerEntry{0, std::string(), 0};
        return 0;
    }
    KEL_LOG(k.func, k.doing, name);
    int id = k.load(path.c_str());
    map[name] = MixerEntry{id, path, driver_file_mtime(path.c_str())};
    return id;
}

int mixer_sample_load(const char* name) {
    return _mixer_state ? _mixer_load(_mixer_state->samples, name, _mixer_sample_kind) : 0;
}

int mixer_stream_load(const char* name) {
    return _mixer_state ? _mixer_load(_mixer_state->streams, name, _mixer_stream_kind) : 0;
}

void mixer_sample_play(int id, float volume, float extra) {
    driver_audio_sample_play(id, volume, extra);
}
void mixer_stream_play(int id, float volume) { driver_audio_stream_play(id, volume); }
void mixer_stream_stop(int id) { driver_audio_stream_stop(id); }
void mixer_stream_pause(int id, int paused) { driver_audio_stream_pause(id, paused); }
void mixer_volume(int id, float volume) { driver_audio_volume(id, volume); }

static void _mixer_check(MixerMap& map, const char* what, void (*reload)(int)) {
    for (MixerMap::value_type& e : map) {
        MixerEntry& m = e.second;
        if (m.path.empty()) continue;
        int64_t t = driver_file_mtime(m.path.c_str());
        if (t == m.mtime) continue;
        KEL_LOG("mixer_reload_auto", "%s reload: %s\n", what, m.path.c_str());
        reload(m.id);
        m.mtime = t;
    }
}

void mixer_reload_auto() {
    if (!_mixer_state) return;
    long now = _mixer_now();
    if (now == _mixer_last_check) return;
    _mixer_last_check = now;
    _mixer_check(_mixer_state->samples, "sample", driver_audio_sample_reload);
    _mixer_check(_mixer_state->streams, "stream", driver_audio_stream_reload);
}

const char* _mixer_sample_path(const char* name) {
    if (!_mixer_state || !name) return nullptr;
    MixerMap::iterator it = _mixer_state->samples.find(name);
    return it == _mixer_state->samples.end() ? nullptr : it->second.path.c_str();
}
