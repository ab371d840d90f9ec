// Widget trees for scripts: the "gui:*" names, event routing and painting.
#include "src/ext_gui/ext_gui.h"

#include <math.h>

#include <SDL_gamecontroller.h>

#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "src/mods_lua/mods_base.h"
#include "src/mods_misc/mods_event.h"
#include "src/mods_misc/mods_view.h"
#include "util/kel_gfx.h"
#include "util/kel_gui.h"
#include "util/kel_log.h"
#include "util/kel_mixer.h"

// A stick counts as pushed beyond this deflection, and as released below the second.
#define EXT_GUI_STICK_ON 0.5f
#define EXT_GUI_STICK_OFF 0.3f

struct ExtGui {
    int stick_key;  // arrow key the left stick holds, 0 when centred
    // What the boxes were last laid out for; a routed event lays out again only when
    // a call changed the trees or the view changed, and a pointer event also when the
    // states changed (a state's style may size widgets differently). Keys navigate by
    // the boxes as last painted.
    int dirty;
    int moved;
    int pressed;  // the last pointer press fell on a widget
    const ModsAPI* api;
    float view_w, view_h;
};

static ExtGui* _ext_gui = nullptr;

void ext_gui_init(Game* host) {
    (void)host;
    if (!_ext_gui) _ext_gui = new ExtGui();
    *_ext_gui = ExtGui();
    _ext_gui->dirty = 1;
}

void ext_gui_deinit() {
    delete _ext_gui;
    _ext_gui = nullptr;
}

/* ---- lookup and layout ---- */

static Widget* _ext_gui_find(ModsAPI* api, const std::string& name) {
    if (name.empty()) return nullptr;  // the roots are nameless
    for (Container& root : api->gui)
        if (Widget* w = root.find(name)) return w;
    return nullptr;
}

// Each root spans the script's view.
static void _ext_gui_layout(ModsAPI* api, bool always) {
    float w = api->params["view_w"].to_float(), h = api->params["view_h"].to_float();
    ExtGui* x = _ext_gui;
    if (x) {
        if (!always && !x->dirty && x->api == api && x->view_w == w && x->view_h == h) return;
        x->dirty = x->moved = 0;
        x->api = api;
        x->view_w = w;
        x->view_h = h;
    }
    for (Container& root : api->gui) {
        if (root.children.empty()) continue;
        gui_style_step(&root);
        root.style[GUI_BLOCK_LAYOUT].width = w;
        root.style[GUI_BLOCK_LAYOUT].height = h;
        root.box_x = root.box_y = 0;
        root.layout(w, h);
    }
}

// The deepest widget on the focused path of a root, or null when nothing has focus.
static Widget* _ext_gui_focus_leaf(Container* root) {
    Widget* w = root->focused ? root : nullptr;
    for (Container* c = root; c && c->focused_child; c = dynamic_cast<Container*>(w))
        w = c->focused_child;
    return w;
}

/* ---- argument keys ---- */

static const char* const _ext_gui_on_keys[GUI_ON_COUNT] = {
    "click", "down", "up", "motion", nullptr, "activate", "deactivate", "focus"};
static const char* const _ext_gui_sound_keys[GUI_SND_COUNT] = {"click", "down", "up",
                                                               "activate", "focus"};
static const char* const _ext_gui_edge_keys[3] = {"margin", "border", "padding"};
// State tables and the block each fills.
static const struct {
    const char* key;
    int block;
} _ext_gui_states[] = {{"normal", GUI_STATE_NONE + 1},
                       {"active", GUI_STATE_ACTIVE + 1},
                       {"focused", GUI_STATE_FOCUSED + 1},
                       {"both", GUI_STATE_BOTH + 1}};

static bool _ext_gui_has(const var& a, const char* key) { return a.type() == 4 && a.has(key); }

static int32_t _ext_gui_int(const var& v) { return v.is_none() ? GUI_UNSET : v.to_int(); }
static float _ext_gui_float(const var& v) { return v.is_none() ? GUI_UNSETF : v.to_float(); }

static int32_t _ext_gui_place(const var& v) {
    std::string s = v.str();
    if (v.is_none()) return GUI_UNSET;
    if (s == "centre" || s == "center") return GUI_CENTRE;
    return s == "end" ? GUI_END : GUI_START;
}

// An edge set from a number (every side) or a list top, right, bottom, left.
static void _ext_gui_edges(GuiStyle* s, int set, const var& v) {
    int32_t* p = s->p + set * 4;
    for (int side = 0; side < 4; side++)
        p[side] = v.type() == 3 ? (v.len() > side ? _ext_gui_int(v[side]) : GUI_UNSET)
                                : _ext_gui_int(v);
}

// Size, edges, colours, image, label, font and font size of one style block.
static void _ext_gui_style(Widget* w, int block, const var& a) {
    GuiStyle* s = &w->style[block];
    static const struct {
        const char* key;
        int prop;
    } ints[] = {{"background", GUI_P_BACKGROUND},
                {"border_colour", GUI_P_BORDER_COLOUR},
                {"colour", GUI_P_COLOUR},
                {"size", GUI_P_SIZE}};
    static const struct {
        const char* key;
        int prop;
    } texts[] = {{"image", GUI_P_IMAGE}, {"label", GUI_P_LABEL}, {"font", GUI_P_FONT}};
    if (_ext_gui_has(a, "width")) s->width = _ext_gui_float(a["width"]);
    if (_ext_gui_has(a, "height")) s->height = _ext_gui_float(a["height"]);
    for (auto& k : ints)
        if (_ext_gui_has(a, k.key)) s->p[k.prop] = _ext_gui_int(a[k.key]);
    for (auto& k : texts) {
        if (!_ext_gui_has(a, k.key)) continue;
        var v = a[k.key];
        s->p[k.prop] = v.is_none() ? GUI_UNSET : w->text_set(block, k.prop, v.str());
    }
    for (int set = 0; set < 3; set++) {
        const char* key = _ext_gui_edge_keys[set];
        if (_ext_gui_has(a, key)) _ext_gui_edges(s, set, a[key]);
    }
}

// The handler values come back wrapped with the widget's name, so the routed answer
// says which widget gave it.
static void _ext_gui_on(Widget* w, const var& on) {
    for (int i = 0; i < GUI_ON_COUNT; i++) {
        const char* key = _ext_gui_on_keys[i];
        if (!key || !_ext_gui_has(on, key)) continue;
        var v = on[key];
        w->handlers[i] = v.is_none() ? var() : var(4, 0);
        if (v.is_none()) continue;
        w->handlers[i].set("name", var(w->name));
        w->handlers[i].set("value", v);
    }
}

static void _ext_gui_sounds(Widget* w, const var& sounds) {
    for (int i = 0; i < GUI_SND_COUNT; i++) {
        const char* key = _ext_gui_sound_keys[i];
        if (!_ext_gui_has(sounds, key)) continue;
        var v = sounds[key];
        int id = v.is_none() ? 0 : mixer_sample_load(v.str().c_str());
        w->sounds[i] = id ? id : GUI_UNSET;
    }
}

// Every key of gui:add and gui:set except name, parent, root and kind.
static void _ext_gui_apply(Widget* w, const var& a) {
    GuiStyle* base = &w->style[GUI_BLOCK_BASE];
    _ext_gui_style(w, GUI_BLOCK_BASE, a);
    for (auto& st : _ext_gui_states)
        if (_ext_gui_has(a, st.key)) _ext_gui_style(w, st.block, a[st.key]);
    if (_ext_gui_has(a, "focusable")) w->focusable = a["focusable"].truth();
    if (_ext_gui_has(a, "disabled")) w->disabled = a["disabled"].truth();
    if (_ext_gui_has(a, "visible")) w->visible = a["visible"].truth();
    if (_ext_gui_has(a, "direction"))
        base->p[GUI_P_DIRECTION] = a["direction"].str() == "row" ? GUI_ROW : GUI_COLUMN;
    if (_ext_gui_has(a, "spacing")) base->p[GUI_P_SPACING] = _ext_gui_int(a["spacing"]);
    if (_ext_gui_has(a, "align")) base->p[GUI_P_ALIGN] = _ext_gui_place(a["align"]);
    if (_ext_gui_has(a, "justify")) base->p[GUI_P_JUSTIFY] = _ext_gui_place(a["justify"]);
    if (_ext_gui_has(a, "scroll_x")) w->scroll_x = a["scroll_x"].to_float();
    if (_ext_gui_has(a, "scroll_y")) w->scroll_y = a["scroll_y"].to_float();
    if (_ext_gui_has(a, "on")) _ext_gui_on(w, a["on"]);
    if (_ext_gui_has(a, "sounds")) _ext_gui_sounds(w, a["sounds"]);
}

/* ---- the names ---- */

static var _ext_gui_fail(const char* call, const char* why, const std::string& name) {
    KEL_LOG("ext_gui_call", "%s: %s \"%s\"\n", call, why, name.c_str());
    return var(false);
}

// A root by its number, null for anything but 0 and 1.
static Container* _ext_gui_root(ModsAPI* api, const var& a) {
    int r = _ext_gui_has(a, "root") ? a["root"].to_int() : 0;
    return r == 0 || r == 1 ? &api->gui[r] : nullptr;
}

static var _ext_gui_add(ModsAPI* api, const var& a) {
    std::string name = _ext_gui_has(a, "name") ? a["name"].str() : std::string();
    std::string parent = _ext_gui_has(a, "parent") ? a["parent"].str() : std::string();
    std::string kind = _ext_gui_has(a, "kind") ? a["kind"].str() : std::string("widget");
    if (name.empty()) return _ext_gui_fail("gui:add", "missing name", name);
    if (kind != "widget" && kind != "container")
        return _ext_gui_fail("gui:add", "unknown kind", kind);
    if (_ext_gui_find(api, name)) return _ext_gui_fail("gui:add", "duplicate name", name);
    Container* into = parent.empty() ? _ext_gui_root(api, a)
                                     : dynamic_cast<Container*>(_ext_gui_find(api, parent));
    if (!into) return _ext_gui_fail("gui:add", "unknown parent", parent);
    Widget* w = kind == "container" ? new Container(name) : new Widget(name);
    w->focusable = kind == "widget";
    _ext_gui_apply(w, a);
    into->add(w);
    return var(true);
}

// The widget a call names; gui:set also reaches a root by "root" when no name is given.
static Widget* _ext_gui_target(ModsAPI* api, const var& a, bool roots) {
    std::string name = _ext_gui_has(a, "name") ? a["name"].str() : std::string();
    if (name.empty() && roots) return _ext_gui_root(api, a);
    return _ext_gui_find(api, name);
}

static var _ext_gui_remove(Widget* w) {
    Container* parent = static_cast<Container*>(w->parent);
    if (!parent) return var(false);
    // The focus path must not lead into what is deleted: blur it from the root.
    if (w->focused) {
        Widget* root = parent;
        while (root->parent) root = root->parent;
        Event blur = Event();
        blur.type = GUI_EVT_BLUR;
        root->handle(&blur);
    }
    parent->remove(w);
    return var(true);
}

static var _ext_gui_get(ModsAPI* api, Widget* w) {
    _ext_gui_layout(api, false);
    float b[4];
    gui_box(w, b);
    var d(4, 0);
    d.set("x", var(b[0]));
    d.set("y", var(b[1]));
    d.set("width", var(b[2]));
    d.set("height", var(b[3]));
    d.set("state", var(w->state));
    d.set("focused", var(w->focused != 0));
    d.set("active", var(w->active != 0));
    d.set("disabled", var(w->disabled != 0));
    return d;
}

var ext_gui_call(Game* host, const std::string& name, var args) {
    if (name.compare(0, 4, "gui:") != 0) return var();
    ModsAPI* api = host ? host->api : nullptr;
    if (!api) return var(false);
    if (_ext_gui) _ext_gui->dirty = 1;
    if (name == "gui:add") return _ext_gui_add(api, args);
    if (name == "gui:clear") {
        Container* root = _ext_gui_root(api, args);
        if (!root) return _ext_gui_fail("gui:clear", "unknown root", args.str());
        root->clear();
        root->focused = root->active = 0;
        gui_state_sync(root);
        return var(true);
    }
    bool set = name == "gui:set";
    if (!set && name != "gui:remove" && name != "gui:focus" && name != "gui:select" &&
        name != "gui:get")
        return var();
    Widget* w = _ext_gui_target(api, args, set);
    if (!w) return _ext_gui_fail(name.c_str(), "unknown widget", args.str());
    if (set) {
        _ext_gui_apply(w, args);
        return var(true);
    }
    if (name == "gui:remove") return _ext_gui_remove(w);
    if (name == "gui:get") return _ext_gui_get(api, w);
    if (name == "gui:focus") w->focus();
    else w->select();
    return var(true);
}

/* ---- routing ---- */

// Controller input in the tree's terms: d-pad and left stick as arrow keys, the A
// button as return. False for controller input that means nothing to the tree.
static bool _ext_gui_from_pad(Event* e) {
    if (e->type == EVT_JOYDOWN || e->type == EVT_JOYUP) {
        static const int keys[][2] = {{SDL_CONTROLLER_BUTTON_DPAD_UP, DRIVER_KEY_UP},
                                      {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, DRIVER_KEY_RIGHT},
                                      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, DRIVER_KEY_DOWN},
                                      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, DRIVER_KEY_LEFT},
                                      {SDL_CONTROLLER_BUTTON_A, DRIVER_KEY_RETURN}};
        for (auto& k : keys) {
            if (e->button != k[0]) continue;
            e->type = e->type == EVT_JOYDOWN ? EVT_KEYDOWN : EVT_KEYUP;
            e->key = k[1];
            return true;
        }
        return false;
    }
    if (e->type != EVT_JOYMOTION || e->button != -1) return false;
    // The stick presses an arrow once when it leaves the centre in that direction.
    float ax = fabsf(e->x), ay = fabsf(e->y);
    int key = _ext_gui->stick_key;
    if (ax < EXT_GUI_STICK_OFF && ay < EXT_GUI_STICK_OFF) key = 0;
    else if (ax >= EXT_GUI_STICK_ON && ax >= ay) key = e->x > 0 ? DRIVER_KEY_RIGHT : DRIVER_KEY_LEFT;
    else if (ay >= EXT_GUI_STICK_ON) key = e->y > 0 ? DRIVER_KEY_DOWN : DRIVER_KEY_UP;
    bool press = key && key != _ext_gui->stick_key;
    _ext_gui->stick_key = key;
    e->type = press ? EVT_KEYDOWN : 0;
    e->key = key;
    return true;
}

// Keys a focused tree keeps for itself, even when they change nothing.
static bool _ext_gui_menu_key(const Event& e) {
    if (e.type == 0) return true;  // stick motion that pressed nothing
    if (e.type != EVT_KEYDOWN && e.type != EVT_KEYUP) return false;
    return (e.key >= DRIVER_KEY_UP && e.key <= DRIVER_KEY_LEFT) || e.key == DRIVER_KEY_RETURN ||
           e.key == DRIVER_KEY_SPACE || e.key == DRIVER_KEY_TAB;
}

// Whether (x, y), in the coordinates of w's parent's content, falls on a widget that
// shows: any widget but a container, or a container that paints something itself.
static bool _ext_gui_hit(Widget* w, float x, float y) {
    if (!w->visible || w->disabled || x < w->box_x || x >= w->box_x + w->outer_w ||
        y < w->box_y || y >= w->box_y + w->outer_h)
        return false;
    Container* c = dynamic_cast<Container*>(w);
    const int32_t* p = w->style[GUI_BLOCK_LAYOUT].p;
    if (!c || p[GUI_P_BACKGROUND] != GUI_UNSET || p[GUI_P_IMAGE] != GUI_UNSET ||
        p[GUI_P_BORDER_COLOUR] != GUI_UNSET)
        return true;
    x += c->scroll_x - c->box_x - c->inset_x;
    y += c->scroll_y - c->box_y - c->inset_y;
    for (Widget* child : c->children)
        if (_ext_gui_hit(child, x, y)) return true;
    return false;
}

bool ext_gui_route(Game* host, const Event& in) {
    ModsAPI* api = host ? host->api : nullptr;
    if (!api || !_ext_gui) return false;
    Container* root = !api->gui[1].children.empty()   ? &api->gui[1]
                      : !api->gui[0].children.empty() ? &api->gui[0]
                                                      : nullptr;
    if (!root) return false;
    Event e = in;
    bool pointer = false;
    switch (e.type) {
    case EVT_KEYDOWN:
    case EVT_KEYUP: break;
    case EVT_DOWN:
    case EVT_MOTION:
    case EVT_UP:
    case EVT_WHEEL:
        pointer = true;
        mods_view_apply(api);
        if (gfx_ready()) mods_event_to_view(&e);
        break;
    case EVT_JOYDOWN:
    case EVT_JOYUP:
    case EVT_JOYMOTION:
        if (!_ext_gui_from_pad(&e)) return false;
        break;
    default: return false;
    }
    _ext_gui_layout(api, pointer && _ext_gui->moved);
    Widget* focus0 = _ext_gui_focus_leaf(root);
    Widget* active0 = root->active_leaf();
    var v = e.type ? root->_event(&e) : var();
    bool moved = _ext_gui_focus_leaf(root) != focus0 || root->active_leaf() != active0;
    if (moved) _ext_gui->moved = 1;
    bool consumed = !v.is_none();
    if (pointer) {
        // A press on a widget and its release belong to the tree; presses elsewhere
        // (which only leave the active path) and moves are the game's.
        bool hit = (e.type == EVT_DOWN || e.type == EVT_UP) && _ext_gui_hit(root, e.x, e.y);
        consumed = consumed || hit || (e.type == EVT_UP && _ext_gui->pressed);
        if (e.type == EVT_DOWN) _ext_gui->pressed = hit;
        if (e.type == EVT_UP) _ext_gui->pressed = 0;
    } else {
        consumed = consumed || moved || (focus0 && _ext_gui_menu_key(e));
    }
    if (v.type() == 4 && v.has("name")) {
        var d(4, 0);
        d.set("type", var("gui"));
        d.set("name", v["name"]);
        d.set("value", v["value"]);
        // The value is the script's own data: it goes in as a table, never as text.
        if (host->mod && host->mod->overrides(ModsBase::OP_EVENT)) host->mod->event_exact(d);
    }
    return consumed;
}

void ext_gui_paint(Game* host) {
    ModsAPI* api = host ? host->api : nullptr;
    if (!api || !gfx_ready()) return;
    if (api->gui[0].children.empty() && api->gui[1].children.empty()) return;
    _ext_gui_layout(api, true);  // every frame: sizes step toward their targets
    mods_view_apply(api);
    gfx_ortho();
    for (Container& root : api->gui) root._paint();
}
