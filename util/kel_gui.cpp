// Widget tree: style steps, layout, painting, routing and focus navigation.
#include "util/kel_gui.h"

#include <math.h>

#include <GLES/gl.h>

#include "util/kel_font.h"
#include "util/kel_gfx.h"
#include "util/kel_log.h"
#include "util/kel_mixer.h"

// Label font when a widget names none.
static const char _gui_font_default[] = "fonts/dejavu";
enum { GUI_FONT_SIZE_DEFAULT = 16 };

// Truncates toward zero, saturating: a script may give any size.
static int _gui_int(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return (-2147483647 - 1);
    return (int)v;
}

static float _gui_f(float v) { return v == GUI_UNSETF ? 0.0f : v; }
static int _gui_i(int32_t v) { return v == GUI_UNSET ? 0 : v; }

static Event _gui_event(int type) {
    Event e = Event();
    e.type = type;
    return e;
}

/* ---- Widget ---- */

Widget::Widget(const std::string& n)
    : parent(nullptr), tab_target(nullptr), inset_x(0), inset_y(0), content_w(0), content_h(0),
      box_x(0), box_y(0), outer_w(0), outer_h(0), scroll_x(0), scroll_y(0), name(n), active(0),
      focused(0), both(0), state(GUI_STATE_NONE), disabled(0), focusable(0), visible(1),
      clips(1) {
    for (GuiStyle& s : style) {
        s.width = s.height = GUI_UNSETF;
        for (int32_t& p : s.p) p = GUI_UNSET;
    }
    for (int32_t& s : sounds) s = GUI_UNSET;
}

Widget::~Widget() {}

Widget* Widget::find(const std::string& n) { return name == n ? this : nullptr; }
int Widget::_hook1(int) { return 0; }
int Widget::_hook2(int a) { return a; }
int Widget::_hook3(int) { return 0; }
int Widget::_hook4(int a) { return a; }
var Widget::value() { return var(); }
int Widget::_hook6(int a) { return a; }
Widget* Widget::active_leaf() { return nullptr; }
std::vector<Widget*> Widget::descendants() { return std::vector<Widget*>(); }
bool Widget::has_focus() { return focused != 0; }
int Widget::arrange(int a) { return a; }
int Widget::paint_children(int a) { return a; }

void gui_state_sync(Widget* w) {
    w->both = w->focused && w->active;
    w->state = w->both     ? GUI_STATE_BOTH
               : w->focused ? GUI_STATE_FOCUSED
               : w->active  ? GUI_STATE_ACTIVE
                            : GUI_STATE_NONE;
}

static Widget* _gui_root(Widget* w) {
    while (w->parent) w = w->parent;
    return w;
}

// Blurs (or deactivates) from the root, then marks the path from w up as focused
// (or active), each node recorded as its parent's focused (or active) child.
static var _gui_path(Widget* w, bool focus) {
    Event off = _gui_event(focus ? GUI_EVT_BLUR : GUI_EVT_DEACTIVATE);
    var kept = _gui_root(w)->handle(&off);
    for (Widget* n = w; n; n = n->parent) {
        Event on = _gui_event(focus ? GUI_EVT_FOCUS : GUI_EVT_ACTIVATE);
        var v = n->_event(&on);
        if (!v.is_none()) kept = v;
        if (Container* p = static_cast<Container*>(n->parent)) {
            if (focus) p->focused_child = n;
            else p->active_child = n;
        }
    }
    return kept;
}

var Widget::focus() { return focused ? var() : _gui_path(this, true); }
var Widget::activate() { return active ? var() : _gui_path(this, false); }

var Widget::select() {
    var a = activate();
    var f = focus();
    return f.is_none() ? a : f;
}

var Widget::handle(Event* e) {
    switch (e->type) {
    case EVT_KEYDOWN:
        switch (e->key) {
        case DRIVER_KEY_TAB:
            if (tab_target) tab_target->focus();
            return var();
        case DRIVER_KEY_UP: return _nav(this, 0, -1);
        case DRIVER_KEY_RIGHT: return _nav(this, 1, 0);
        case DRIVER_KEY_DOWN: return _nav(this, 0, 1);
        case DRIVER_KEY_LEFT: return _nav(this, -1, 0);
        }
        return var();
    case GUI_EVT_FOCUS:
        focused = 1;
        gui_state_sync(this);
        return handlers[GUI_ON_FOCUS];
    case GUI_EVT_BLUR:
        focused = 0;
        gui_state_sync(this);
        return var();
    case GUI_EVT_ACTIVATE:
        active = 1;
        gui_state_sync(this);
        return handlers[GUI_ON_ACTIVATE];
    case GUI_EVT_DEACTIVATE:
        active = 0;
        gui_state_sync(this);
        return handlers[GUI_ON_DEACTIVATE];
    case GUI_EVT_CLICK: return handlers[GUI_ON_CLICK];
    case EVT_DOWN: return handlers[GUI_ON_DOWN];
    case EVT_UP: return handlers[GUI_ON_UP];
    case EVT_MOTION: return handlers[GUI_ON_MOTION];
    }
    return var();
}

void Widget::measure(float, float) {
    content_w = _gui_f(style[GUI_BLOCK_LAYOUT].width);
    content_h = _gui_f(style[GUI_BLOCK_LAYOUT].height);
}

// Measures like any other request, so a container lays out its children here too.
void Widget::measure_fixed(float w, float h) { measure(w, h); }

static int _gui_sound_slot(int type) {
    switch (type) {
    case GUI_EVT_CLICK: return GUI_SND_CLICK;
    case EVT_DOWN: return GUI_SND_DOWN;
    case EVT_UP: return GUI_SND_UP;
    case GUI_EVT_ACTIVATE: return GUI_SND_ACTIVATE;
    case GUI_EVT_FOCUS: return GUI_SND_FOCUS;
    }
    return -1;
}

var Widget::_event(Event* e) {
    Event local = *e;
    local.x -= inset_x;
    local.y -= inset_y;
    int slot = _gui_sound_slot(local.type);
    if (slot >= 0 && sounds[slot] != GUI_UNSET) mixer_sample_play(sounds[slot], 1.0f, 0.0f);
    return handle(&local);
}

void Widget::edge_sums(float* t, float* r, float* b, float* l) const {
    const int32_t* p = style[GUI_BLOCK_LAYOUT].p;
    float s[4] = {0, 0, 0, 0};
    for (int set = 0; set < 3; set++)
        for (int side = 0; side < 4; side++) s[side] += (float)_gui_i(p[set * 4 + side]);
    *t = s[0], *r = s[1], *b = s[2], *l = s[3];
}

// Insets and outer size from the edge sums around the measured content.
static void _gui_wrap(Widget* w, float t, float r, float b, float l) {
    w->inset_x = l;
    w->inset_y = t;
    w->outer_w = l + w->content_w + r;
    w->outer_h = t + w->content_h + b;
}

void Widget::layout(float avail_w, float avail_h) {
    float t, r, b, l;
    edge_sums(&t, &r, &b, &l);
    measure_fixed(avail_w - (r + l), avail_h - (t + b));
    _gui_wrap(this, t, r, b, l);
}

void Widget::_resize() {
    float t, r, b, l;
    edge_sums(&t, &r, &b, &l);
    measure(GUI_UNSETF, GUI_UNSETF);
    _gui_wrap(this, t, r, b, l);
}

int Widget::text_set(int block, int prop, const std::string& s) {
    if (block < 0 || block >= GUI_BLOCKS || prop < GUI_P_IMAGE || prop > GUI_P_FONT) return -1;
    size_t slot = (size_t)(block * 3 + (prop - GUI_P_IMAGE));
    if (texts.size() <= slot) texts.resize(slot + 1);
    texts[slot] = s;
    return (int)slot;
}

const char* Widget::text_of(int32_t id) const {
    return id >= 0 && (size_t)id < texts.size() ? texts[(size_t)id].c_str() : nullptr;
}

static void _gui_label(const Widget* w, const char* text) {
    const int32_t* p = w->style[GUI_BLOCK_LAYOUT].p;
    const char* font_name = w->text_of(p[GUI_P_FONT]);
    int size = p[GUI_P_SIZE] == GUI_UNSET ? GUI_FONT_SIZE_DEFAULT : p[GUI_P_SIZE];
    int font = font_load(font_name ? font_name : _gui_font_default, size);
    if (!font) return;
    uint32_t c = p[GUI_P_COLOUR] == GUI_UNSET ? 0xFFFFFFu : (uint32_t)p[GUI_P_COLOUR];
    glColor4ub((c >> 16) & 255, (c >> 8) & 255, c & 255, 255);
    float x = w->box_x + w->inset_x, y = w->box_y + w->inset_y;
    float th = font_height(font, text, 0.0f);
    font_draw(font, text, 0, x, y + (w->content_h - th) * 0.5f, w->content_w);
    glColor4ub(255, 255, 255, 255);
}

// Margin transparent, border in its colour, background and image inside the border,
// label centred in the content.
void Widget::_paint() {
    if (!visible) return;
    const int32_t* p = style[GUI_BLOCK_LAYOUT].p;
    float m[4], bd[4];
    for (int i = 0; i < 4; i++) {
        m[i] = (float)_gui_i(p[GUI_EDGE_MARGIN + i]);
        bd[i] = (float)_gui_i(p[GUI_EDGE_BORDER + i]);
    }
    float x = box_x + m[3], y = box_y + m[0];
    float w = outer_w - m[1] - m[3], h = outer_h - m[0] - m[2];
    if (p[GUI_P_BORDER_COLOUR] != GUI_UNSET) {
        uint32_t c = (uint32_t)p[GUI_P_BORDER_COLOUR];
        if (bd[0] > 0) gfx_rect_fill(c, x, y, w, bd[0]);
        if (bd[2] > 0) gfx_rect_fill(c, x, y + h - bd[2], w, bd[2]);
        if (bd[3] > 0) gfx_rect_fill(c, x, y + bd[0], bd[3], h - bd[0] - bd[2]);
        if (bd[1] > 0) gfx_rect_fill(c, x + w - bd[1], y + bd[0], bd[1], h - bd[0] - bd[2]);
    }
    x += bd[3], y += bd[0];
    w -= bd[1] + bd[3], h -= bd[0] + bd[2];
    if (w > 0 && h > 0) {
        if (p[GUI_P_BACKGROUND] != GUI_UNSET)
            gfx_rect_fill((uint32_t)p[GUI_P_BACKGROUND], x, y, w, h);
        if (const char* image = text_of(p[GUI_P_IMAGE])) {
            glColor4ub(255, 255, 255, 255);
            gfx_img_draw(x, y, w, h, gfx_img_load(image));
        }
    }
    if (const char* label = text_of(p[GUI_P_LABEL])) _gui_label(this, label);
    paint_children(0);
}

/* ---- style steps and outer boxes ---- */

static float _gui_toward(float cur, float target) {
    if (cur == GUI_UNSETF || target == GUI_UNSETF) return target;
    float d = target - cur;
    if (d > 1000.0f) d = 1000.0f;
    if (d < -1000.0f) d = -1000.0f;
    return cur + d;
}

void gui_style_step(Widget* w) {
    const GuiStyle& base = w->style[GUI_BLOCK_BASE];
    const GuiStyle& st = w->style[w->state + 1];
    GuiStyle& c = w->style[GUI_BLOCK_LAYOUT];
    c.width = _gui_toward(c.width, st.width != GUI_UNSETF ? st.width : base.width);
    c.height = _gui_toward(c.height, st.height != GUI_UNSETF ? st.height : base.height);
    for (int i = 0; i < GUI_PROPS; i++) c.p[i] = st.p[i] != GUI_UNSET ? st.p[i] : base.p[i];
}

void gui_box(const Widget* w, float out[4]) {
    int px = 0, py = 0;
    for (const Widget* n = w; n; n = n->parent) {
        px = _gui_int((double)px + n->inset_x);
        px = _gui_int((double)px + n->box_x);
        py = _gui_int((double)py + n->inset_y);
        py = _gui_int((double)py + n->box_y);
        if (n->parent) {
            px = _gui_int((double)px - n->parent->scroll_x);
            py = _gui_int((double)py - n->parent->scroll_y);
        }
    }
    out[0] = (float)px - w->inset_x;
    out[1] = (float)py - w->inset_y;
    out[2] = w->outer_w;
    out[3] = w->outer_h;
}

/* ---- navigation ---- */

// The part of the outer-box walk above a run of siblings. When every value on the
// parent's chain is a whole number (the usual case) the walk's truncations change
// nothing there, so that part is summed once per parent instead of per widget.
struct GuiChain {
    const Widget* parent;
    bool whole;
    int64_t x, y;
};

static bool _gui_whole(float v) { return fabsf(v) < 1048576.0f && v == floorf(v); }

static void _gui_chain(GuiChain* ch, const Widget* p) {
    ch->parent = p;
    ch->whole = !p || (_gui_whole(p->scroll_x) && _gui_whole(p->scroll_y));
    ch->x = ch->y = 0;
    for (const Widget* n = p; n && ch->whole; n = n->parent) {
        float sx = n->parent ? n->parent->scroll_x : 0.0f, sy = n->parent ? n->parent->scroll_y : 0.0f;
        ch->whole = _gui_whole(n->inset_x) && _gui_whole(n->box_x) && _gui_whole(n->inset_y) &&
                    _gui_whole(n->box_y) && _gui_whole(sx) && _gui_whole(sy);
        ch->x += (int64_t)n->inset_x + (int64_t)n->box_x - (int64_t)sx;
        ch->y += (int64_t)n->inset_y + (int64_t)n->box_y - (int64_t)sy;
    }
}

// gui_box with the chain above w taken from ch (refreshed when the parent changes).
static void _gui_box_chained(const Widget* w, GuiChain* ch, float out[4]) {
    if (ch->parent != w->parent) _gui_chain(ch, w->parent);
    if (!ch->whole) return gui_box(w, out);
    int px = _gui_int(_gui_int(w->inset_x) + (double)w->box_x);
    int py = _gui_int(_gui_int(w->inset_y) + (double)w->box_y);
    if (w->parent) {
        px = _gui_int((double)px - w->parent->scroll_x);
        py = _gui_int((double)py - w->parent->scroll_y);
    }
    out[0] = (float)_gui_int((double)(px + ch->x)) - w->inset_x;
    out[1] = (float)_gui_int((double)(py + ch->y)) - w->inset_y;
    out[2] = w->outer_w;
    out[3] = w->outer_h;
}

// Distances from 32768 pixels on would overflow into the index bits of a score;
// they are clamped, so all far candidates tie and the pre-order index decides.
static const int64_t GUI_NAV_DIST_MAX = 32767;

var _nav(Widget* from, int dx, int dy) {
    if (!from || !from->has_focus() || !from->focusable) return var();
    std::vector<Widget*> all = _gui_root(from)->descendants();
    float s[4];
    gui_box(from, s);
    int scx = _gui_int(s[0] + s[2] * 0.5), scy = _gui_int(s[1] + s[3] * 0.5);
    // The map of the scores keeps only its smallest entry: that is all it is read for.
    Widget* best = nullptr;
    int64_t best_score = 0;
    unsigned long count = 0;
    GuiChain chain = {nullptr, false, 0, 0};
    _gui_chain(&chain, nullptr);
    for (size_t i = 0; i < all.size(); i++) {
        Widget* c = all[i];
        if (c == from || c->focused || c->disabled || !c->focusable) continue;
        float b[4];
        _gui_box_chained(c, &chain, b);
        int ccx = _gui_int(b[0] + b[2] * 0.5), ccy = _gui_int(b[1] + b[3] * 0.5);
        if ((dy < 0 && ccy >= scy) || (dy > 0 && ccy <= scy) || (dx > 0 && ccx <= scx) ||
            (dx < 0 && ccx >= scx))
            continue;
        int64_t gx = dx > 0   ? (int64_t)_gui_int(b[0]) - _gui_int(s[0] + s[2])
                     : dx < 0 ? (int64_t)_gui_int(b[0] + b[2]) - _gui_int(s[0])
                              : (int64_t)ccx - scx;
        int64_t gy = dy > 0   ? (int64_t)_gui_int(b[1]) - _gui_int(s[1] + s[3])
                     : dy < 0 ? (int64_t)_gui_int(b[1] + b[3]) - _gui_int(s[1])
                              : (int64_t)ccy - scy;
        if (dx != 0) gy *= 2;
        if (dy != 0) gx *= 2;
        double dist = sqrt((double)gx * (double)gx + (double)gy * (double)gy);
        int64_t d = dist > GUI_NAV_DIST_MAX ? GUI_NAV_DIST_MAX : (int64_t)dist;
        int64_t score = (d << 16) + (int64_t)i;
        count++;
        if (!best || score <= best_score) best = c, best_score = score;
    }
    KEL_LOG("_nav", "res.size: %lu\n", count);
    return best ? best->select() : var();
}

/* ---- Container ---- */

Container::Container(const std::string& n)
    : Widget(n), active_child(nullptr), focused_child(nullptr) {}

Container::~Container() { clear(); }

void Container::add(Widget* child) {
    if (!child) return;
    child->parent = this;
    children.push_back(child);
}

void Container::remove(Widget* child) {
    for (size_t i = 0; i < children.size(); i++) {
        if (children[i] != child) continue;
        children.erase(children.begin() + (long)i);
        if (active_child == child) active_child = nullptr;
        if (focused_child == child) focused_child = nullptr;
        delete child;
        return;
    }
}

void Container::clear() {
    for (Widget* c : children) delete c;
    children.clear();
    active_child = focused_child = nullptr;
}

Widget* Container::find(const std::string& n) {
    for (Widget* c : children)
        if (Widget* hit = c->find(n)) return hit;
    return Widget::find(n);
}

Widget* Container::active_leaf() {
    if (!active_child) return nullptr;
    Widget* leaf = active_child->active_leaf();
    return leaf ? leaf : active_child;
}

std::vector<Widget*> Container::descendants() {
    std::vector<Widget*> out;
    out.reserve(children.size());
    for (Widget* c : children) {
        out.push_back(c);
        std::vector<Widget*> sub = c->descendants();
        out.insert(out.end(), sub.begin(), sub.end());
    }
    return out;
}

bool Container::has_focus() { return focused_child ? false : focused != 0; }

static bool _gui_contains(const Widget* c, float x, float y) {
    return c->box_x <= x && x < c->box_x + c->outer_w && c->box_y <= y &&
           y < c->box_y + c->outer_h;
}

// Delivers a copy of e with another code and the position made relative to c's box.
static var _gui_send(Widget* c, const Event* e, int type) {
    Event f = *e;
    f.type = type;
    f.x -= c->box_x;
    f.y -= c->box_y;
    return c->_event(&f);
}

static void _gui_keep(var* kept, const var& v) {
    if (!v.is_none()) *kept = v;
}

// Pointer motion with no button held and code 19 route like any other event here:
// motion goes to the active child, whatever the buttons.
var Container::handle(Event* e) {
    var kept = Widget::handle(e);
    int t = e->type;
    if (t == GUI_EVT_FOCUS || t == GUI_EVT_ACTIVATE || t == GUI_EVT_CLICK) return kept;
    if (t == GUI_EVT_BLUR) {
        if (focused_child) {
            Event f = *e;
            _gui_keep(&kept, focused_child->_event(&f));
        }
        focused_child = nullptr;
    }
    // Deactivation follows the active path, as blurring follows the focused one: sent
    // down the focused path it would miss a widget made active by a press without
    // taking the focus, which then stayed active for good.
    if (t == GUI_EVT_DEACTIVATE) {
        if (active_child) {
            Event f = *e;
            _gui_keep(&kept, active_child->_event(&f));
        }
        active_child = nullptr;
        return kept;
    }
    // The children are drawn moved by the scroll offset, so they are hit there too.
    Event scrolled = *e;
    scrolled.x += scroll_x;
    scrolled.y += scroll_y;
    e = &scrolled;
    if (t == EVT_DOWN || t == EVT_UP) {
        Widget* hit = nullptr;
        for (size_t i = children.size(); i-- > 0;) {
            Widget* c = children[i];
            if (!c->disabled && c->visible && _gui_contains(c, e->x, e->y)) {
                hit = c;
                break;
            }
        }
        if (hit != active_child) {
            if (active_child) _gui_send(active_child, e, GUI_EVT_DEACTIVATE);
            if (hit) _gui_send(hit, e, GUI_EVT_ACTIVATE);
            active_child = hit;
        }
        if (t == EVT_DOWN) {
            for (size_t i = children.size(); i-- > 0;) {
                Widget* c = children[i];
                if (c->disabled || !c->visible || !c->focusable || !_gui_contains(c, e->x, e->y))
                    continue;
                if (c != focused_child) c->focus();
                break;
            }
        }
    }
    Widget* target = t == EVT_DOWN || t == EVT_MOTION || t == EVT_WHEEL ? active_child
                                                                       : focused_child;
    if (!target) return kept;
    _gui_keep(&kept, _gui_send(target, e, t));
    if (t == EVT_UP && target == active_child) {
        _gui_keep(&kept, _gui_send(target, e, GUI_EVT_CLICK));
    } else if (t == EVT_KEYUP && (e->key == DRIVER_KEY_RETURN || e->key == DRIVER_KEY_SPACE)) {
        Event f = *e;
        f.type = GUI_EVT_CLICK;
        f.x = target->outer_w * 0.5f;
        f.y = target->outer_h * 0.5f;
        _gui_keep(&kept, target->_event(&f));
    }
    return kept;
}

void Container::measure(float avail_w, float avail_h) {
    const GuiStyle& s = style[GUI_BLOCK_LAYOUT];
    bool row = s.p[GUI_P_DIRECTION] == GUI_ROW;
    float spacing = (float)_gui_i(s.p[GUI_P_SPACING]);
    // Children are offered the container's own size when it has one.
    float aw = s.width != GUI_UNSETF ? s.width : avail_w;
    float ah = s.height != GUI_UNSETF ? s.height : avail_h;
    float along = 0, across = 0;
    for (size_t i = 0; i < children.size(); i++) {
        Widget* c = children[i];
        gui_style_step(c);
        c->layout(aw, ah);
        float m = row ? c->outer_w : c->outer_h, x = row ? c->outer_h : c->outer_w;
        along += m + (i ? spacing : 0.0f);
        if (x > across) across = x;
    }
    content_w = s.width != GUI_UNSETF ? s.width : row ? along : across;
    content_h = s.height != GUI_UNSETF ? s.height : row ? across : along;
    arrange(0);
}

static float _gui_place(int align, float free) {
    return align == GUI_CENTRE ? free * 0.5f : align == GUI_END ? free : 0.0f;
}

int Container::arrange(int a) {
    const int32_t* p = style[GUI_BLOCK_LAYOUT].p;
    bool row = p[GUI_P_DIRECTION] == GUI_ROW;
    float spacing = (float)_gui_i(p[GUI_P_SPACING]);
    float along = 0;
    for (size_t i = 0; i < children.size(); i++)
        along += (row ? children[i]->outer_w : children[i]->outer_h) + (i ? spacing : 0.0f);
    float pos = _gui_place(p[GUI_P_JUSTIFY], (row ? content_w : content_h) - along);
    for (Widget* c : children) {
        float m = row ? c->outer_w : c->outer_h, x = row ? c->outer_h : c->outer_w;
        float cross = _gui_place(p[GUI_P_ALIGN], (row ? content_h : content_w) - x);
        c->box_x = row ? pos : cross;
        c->box_y = row ? cross : pos;
        pos += m + spacing;
    }
    return a;
}

int Container::paint_children(int a) {
    if (children.empty()) return a;
    float tx = box_x + inset_x - scroll_x, ty = box_y + inset_y - scroll_y;
    gfx_translate(tx, ty);
    if (clips) gfx_clip_push(scroll_x, scroll_y, content_w, content_h);
    for (Widget* c : children) c->_paint();
    if (clips) gfx_clip_pop();
    gfx_translate(-tx, -ty);
    return a;
}
