#include "util/kel_social.h"

#include <stdio.h>

#include "util/kel_log.h"

struct SocialState {
    int signed_in;
    std::string name;
    std::string uuid;
    std::string identity;  // "name:uuid"; a repeated sign-in matches it
    std::string extra;
};

static SocialState* _social = nullptr;  // made on first use, never freed
static social_post_fn _social_post = nullptr;

void social_post_set(social_post_fn post) { _social_post = post; }

// 1 when the record was made by this call (it is then signed out).
static int _social_ensure() {
    if (_social) return 0;
    KEL_LOG("social_init", "social_init\n");
    _social = new SocialState();
    return 1;
}

static void _social_emit(int type) {
    Event e = Event();
    e.type = type;
    if (_social_post) _social_post(e);
}

void social_init() {
    _social_ensure();
    *_social = SocialState();
}

void social_logout() {
    if (_social_ensure() || !_social->signed_in) return;
    KEL_LOG("social_logout", "social_logout: %s\n", _social->identity.c_str());
    _social_emit(SOCIAL_EVT_LOGOUT);
    social_init();
}

void social_login(const char* name, const char* uuid, const char* extra) {
    _social_ensure();
    if (!name || !uuid || !extra) {
        social_logout();
        return;
    }
    // Both parts whole: a cut identity could match another player's.
    std::string identity = std::string(name) + ":" + uuid;
    if (identity == _social->identity) return;
    social_logout();
    _social->signed_in = 1;
    _social->name = name;
    _social->uuid = uuid;
    _social->identity = identity;
    _social->extra = extra;
    KEL_LOG("social_login", "social_login name: %s, uuid: %s\n", name, uuid);
    _social_emit(SOCIAL_EVT_LOGIN);
}

std::string social_identity() {
    _social_ensure();
    return _social->identity;
}

int social_ready() {
    _social_ensure();
    return 1;
}

void social_update() { _social_ensure(); }

std::vector<std::string> social_list() {
    _social_ensure();
    return std::vector<std::string>();
}
