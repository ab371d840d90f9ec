// Fuzzes the atlas description parser: any text is read without fault, and it registers
// at most one image per member of "frames", each on the atlas texture.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "util/kel_driver.h"
#include "util/kel_gfx.h"
#include "util/kel_json.h"
#include "util/kel_var.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (driver_verbose_set(0), true);
    (void)quiet;
    gfx_init();  // no GL context: the image table only
    std::string text((const char*)data, size);
    int before = gfx_img_count();
    gfx_atlas_parse_text(1, text, "fuzz.json");
    int added = gfx_img_count() - before;
    var doc;
    size_t members = 0;
    if (json_decode(doc, text.data(), (int)text.size()) == 0 && doc.type() == 4 &&
        doc.has("frames") && doc["frames"].type() == 4)
        members = doc["frames"].as_dict()->entries.size();
    if (added < 0 || (size_t)added > members) abort();
    for (int i = before; i < gfx_img_count(); i++)
        if (gfx_img_get(i).texture != 1 || gfx_img_get(i).index != i) abort();
    gfx_deinit();
    return 0;
}
