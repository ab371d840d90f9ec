// Miscellaneous extensions. Served so far: "image:load" and "image:sub"; every other
// name answers none and the script sees "null".
#include "src/ext_misc/ext_misc.h"

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"

void ext_misc_init(Game* host) { (void)host; }

static float _ext_num(const var& args, const char* key) {
    return args.type() == 4 && args.has(key) ? args[key].to_float() : 0.0f;
}

static std::string _ext_str(const var& args, const char* key) {
    return args.type() == 4 && args.has(key) ? args[key].str() : std::string();
}

// Loads an image, optionally with its own "filter"; the script's filter is put back.
static void _ext_image_load(Game* host, const var& args) {
    ModsAPI* api = host ? host->api : nullptr;
    std::string name = _ext_str(args, "name");
    if (!api) {
        gfx_img_load(name.c_str());
        return;
    }
    var saved = api->params.has("filter") ? api->params["filter"] : var();
    if (args.type() == 4 && args.has("filter")) api->params.set("filter", args["filter"]);
    gfx_img_load(name.c_str());
    if (saved.is_none()) api->params.del("filter");
    else api->params.set("filter", saved);
}

// Registers a named part of an image; all ten values are fractions of the source frame.
static void _ext_image_sub(const var& args) {
    std::string source = _ext_str(args, "source"), name = _ext_str(args, "name");
    float x = _ext_num(args, "x"), y = _ext_num(args, "y");
    float w = _ext_num(args, "width"), h = _ext_num(args, "height");
    float sx = _ext_num(args, "shape_x"), sy = _ext_num(args, "shape_y");
    float sw = _ext_num(args, "shape_width"), sh = _ext_num(args, "shape_height");
    if (sw == 0) sw = w;
    if (sh == 0) sh = h;
    KEL_LOG("ext_misc_call", "%s: %f,%f,%f,%f %f,%f,%f,%f\n", name.c_str(), x, y, w, h, sx, sy,
            sw, sh);
    int src = gfx_img_load(source.c_str());
    if (!src) {
        KEL_LOG("ext_misc_call", "error loading source: \"%s\"\n", source.c_str());
        return;
    }
    GfxImg g = gfx_img_get(src);
    gfx_img_register(name.c_str(), g.texture, g.fx + x * g.fw, g.fy + y * g.fh, w * g.fw,
                     h * g.fh, sx * g.fw, sy * g.fh, sw * g.fw, sh * g.fh);
}

var ext_misc_call(Game* host, const std::string& name, var args) {
    if (name == "image:load") {
        _ext_image_load(host, args);
    } else if (name == "image:sub") {
        _ext_image_sub(args);
    }
    return var();
}
