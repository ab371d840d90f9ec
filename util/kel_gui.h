// kel_gui: a retained widget tree with painting, event routing and focus navigation.
//
// A Widget is a box with style blocks, handler values and a focus state; a Container
// owns child widgets, lays them out as a column or a row and routes events to them.
// Events answer with the handler value of the widget that took them (none when there
// is nothing to say). The arrow keys move the focus to the nearest focusable widget in
// that direction, anywhere in the tree (_nav).
//
//   Container root;
//   Widget* b = new Widget("play");
//   b->style[0].width = 80; b->style[0].height = 24; b->focusable = 1;
//   b->handlers[GUI_ON_CLICK] = var("play");
//   root.add(b);
//   root.style[2].width = 320; root.style[2].height = 200;
//   root.layout(320, 200);
//   b->focus();
//   Event e = Event(); e.type = EVT_KEYDOWN; e.key = DRIVER_KEY_DOWN;
//   var v = root._event(&e);       // the value of whatever the key led to
//   root._paint();                 // immediate drawing in the current view
//
// Coordinates: an event given to a widget's _event is relative to its outer box; the
// box of a child is relative to its parent's content (after the insets). Style fields
// have a distinct unset value, read as 0 by every computation.
#ifndef KEL_GUI_H
#define KEL_GUI_H

#include <stdint.h>

#include <string>
#include <vector>

#include "util/kel_driver-input.h"
#include "util/kel_var.h"

// The unset value of style fields.
#define GUI_UNSET (-16777215)
#define GUI_UNSETF (-16777215.0f)

// Event codes of the tree itself, beyond those of input polling.
enum {
    GUI_EVT_FOCUS = 24, GUI_EVT_BLUR = 25, GUI_EVT_ACTIVATE = 26, GUI_EVT_DEACTIVATE = 27,
    GUI_EVT_CLICK = 28,
};

// Handler value slots (slot 4 answers no event).
enum {
    GUI_ON_CLICK = 0, GUI_ON_DOWN = 1, GUI_ON_UP = 2, GUI_ON_MOTION = 3, GUI_ON_ACTIVATE = 5,
    GUI_ON_DEACTIVATE = 6, GUI_ON_FOCUS = 7, GUI_ON_COUNT = 8,
};

// Sound slots: played for events 28, 8, 10, 26 and 24.
enum { GUI_SND_CLICK, GUI_SND_DOWN, GUI_SND_UP, GUI_SND_ACTIVATE, GUI_SND_FOCUS, GUI_SND_COUNT };

// State codes, and the style block of each (block = state + 1).
enum { GUI_STATE_NONE = 0, GUI_STATE_ACTIVE = 2, GUI_STATE_FOCUSED = 3, GUI_STATE_BOTH = 4 };
enum { GUI_BLOCK_BASE = 0, GUI_BLOCK_LAYOUT = 2, GUI_BLOCKS = 7 };

// Integer properties of a style block. The three edge sets come first, each top,
// right, bottom, left: margin (outside the border), border, padding.
enum {
    GUI_EDGE_MARGIN = 0, GUI_EDGE_BORDER = 4, GUI_EDGE_PADDING = 8,
    GUI_P_BACKGROUND = 12,  // 0xRRGGBB, unset: not filled
    GUI_P_BORDER_COLOUR,    // 0xRRGGBB, unset: no border drawn
    GUI_P_COLOUR,           // label colour, unset: white
    GUI_P_IMAGE,            // index into the widget's texts: image name
    GUI_P_LABEL,            // index into the widget's texts: label text
    GUI_P_FONT,             // index into the widget's texts: font name (text_set)
    GUI_P_SIZE,             // font size
    GUI_P_DIRECTION,        // container: GUI_COLUMN (unset) or GUI_ROW
    GUI_P_SPACING,          // container: gap between children
    GUI_P_ALIGN,            // container: cross-axis placement, GUI_START/CENTRE/END
    GUI_P_JUSTIFY,          // container: main-axis placement of the run of children
    GUI_PROPS = 33,
};
enum { GUI_COLUMN = 0, GUI_ROW = 1 };
enum { GUI_START = 0, GUI_CENTRE = 1, GUI_END = 2 };

// 35 words: a width, a height and the integer properties.
struct GuiStyle {
    float width, height;
    int32_t p[GUI_PROPS];
};

class Widget {
public:
    explicit Widget(const std::string& name = std::string());
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    Widget* parent;
    Widget* tab_target;  // focused by the tab key
    float inset_x, inset_y;
    float content_w, content_h;
    float box_x, box_y;
    float outer_w, outer_h;
    float scroll_x, scroll_y;  // subtracted from the children's positions
    var handlers[GUI_ON_COUNT];
    std::string name;
    GuiStyle style[GUI_BLOCKS];
    int32_t sounds[GUI_SND_COUNT];  // sample ids, GUI_UNSET for none
    int32_t active;
    int32_t focused;
    int32_t both;
    int32_t state;
    int32_t disabled;   // out of navigation and hit-tests
    int32_t focusable;  // may take the focus by navigation or a press
    int32_t visible;    // painted
    int32_t clips;      // a container clips its children's painting to its content
    // Strings the style blocks refer to by index: one slot per block and text property,
    // so a label changed every frame replaces its text instead of adding one.
    std::vector<std::string> texts;

    virtual Widget* find(const std::string& n);
    virtual int _hook1(int a);
    virtual int _hook2(int a);
    virtual int _hook3(int a);
    virtual int _hook4(int a);
    virtual var value();
    virtual int _hook6(int a);
    virtual var focus();
    virtual var activate();
    virtual Widget* active_leaf();
    virtual var select();
    virtual std::vector<Widget*> descendants();
    virtual bool has_focus();
    virtual var handle(Event* e);
    virtual int arrange(int a);        // container: places the measured children
    virtual int paint_children(int a); // container: draws the children
    virtual void measure(float w, float h);
    virtual void measure_fixed(float w, float h);
    virtual var _event(Event* e);
    virtual void _paint();
    virtual void _resize();
    virtual void layout(float avail_w, float avail_h);
    virtual ~Widget();

    // Stores s as the text of a block's GUI_P_IMAGE, _LABEL or _FONT and returns the
    // index to put in that property; -1 for another property or block.
    int text_set(int block, int prop, const std::string& s);
    // The text a property refers to, null when unset or out of range.
    const char* text_of(int32_t id) const;
    void edge_sums(float* t, float* r, float* b, float* l) const;
};

class Container : public Widget {
public:
    explicit Container(const std::string& name = std::string());

    std::vector<Widget*> children;  // owned, in insertion order
    Widget* active_child;
    Widget* focused_child;

    void add(Widget* child);
    // Removes and deletes a child; the routing pointers that named it are cleared.
    void remove(Widget* child);
    void clear();  // deletes every child

    Widget* find(const std::string& n) override;
    Widget* active_leaf() override;
    std::vector<Widget*> descendants() override;
    bool has_focus() override;
    var handle(Event* e) override;
    int arrange(int a) override;
    int paint_children(int a) override;
    void measure(float w, float h) override;
    ~Container() override;
};

// One style step of a child before its layout: properties follow the state's block
// (falling back to the base block); the size moves toward its target by at most 1000.
void gui_style_step(Widget* w);
// Sets both and state from focused and active.
void gui_state_sync(Widget* w);
// Outer box of a widget in the coordinates of its root: left, top, width, height.
void gui_box(const Widget* w, float out[4]);
// Moves the focus from a focused widget to the nearest one in direction (dx, dy).
var _nav(Widget* from, int dx, int dy);

#endif
