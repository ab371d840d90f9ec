// Screen transitions. Placeholder: the state record exists (with a window) but no
// render targets are made yet, so the transition never becomes ready and every
// name other than "trans:ready" answers none.
#include "src/ext_trans/ext_trans.h"

#include <stdint.h>
#include <stdlib.h>

#include "src/game/game.h"
#include "util/kel_log.h"

struct TransState {
    int32_t ready;           // 1 once the targets exist
    uint32_t framebuffer[4]; // slot 0 the screen; 1..3 targets A, B, C
    uint32_t texture[4];     // colour textures of A, B, C
};

static TransState* _trans;

void ext_trans_init(Game* host) {
    if (!host || host->headless || _trans) return;
    KEL_LOGS("ext_trans_init", "ext_trans_init\n");
    _trans = (TransState*)calloc(1, sizeof(TransState));
    KEL_LOGS("ext_trans_init", "res: %p\n", (void*)_trans);
}

void ext_trans_deinit() {
    free(_trans);
    _trans = nullptr;
}

var ext_trans_call(Game* host, const std::string& name, var args) {
    (void)host;
    (void)args;
    if (!_trans) return var();
    if (name == "trans:init") {
        KEL_LOGS("ext_trans_call", "trans:init\n");
        return var();
    }
    if (name == "trans:ready") return var(_trans->ready != 0);
    return var();
}
