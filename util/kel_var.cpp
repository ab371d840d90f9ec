#include "util/kel_var.h"

#include <float.h>
#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <string_view>

#include "util/kel_log.h"

var var_none_ref;

// Stands in for a null handle, so every operation on none has one implementation.
static var_object* _var_none_static() {
    static _var_none none;
    return &none;
}

static inline void _var_retain(var_object* o) {
    if (o) ++o->_refs;
}

static inline void _var_release(var_object* o) {
    if (o && --o->_refs == 0) delete o;
}

static inline var_object* _var_bind(var_object* o) {
    ++o->_refs;
    return o;
}

// The shared none, emptied before each hand-out; whatever a caller stored there is dropped.
static var& _var_none_ref() {
    var_object* old = var_none_ref._o;
    var_none_ref._o = nullptr;
    _var_release(old);
    return var_none_ref;
}

void var_error(const char* file, int line, const char* func, const char* msg) {
    log_printf(file, line, func, 0, "%s:%d: %s\n", file, line, msg);
}

static void _var_type_error(const char* file, int line, const var_object* o, const char* op) {
    char msg[160];
    snprintf(msg, sizeof msg, "TypeError: '%s' object does not support '%s'",
             var_type_name(o->__type__()), op);
    var_error(file, line, op, msg);
}
#define _VAR_TYPE_ERROR(op) _var_type_error(__FILE__, __LINE__, this, op)

const char* var_type_name(int code) {
    static const char* const names[] = {"none", "number", "string", "list", "dict", "bool"};
    return code >= 0 && code <= 5 ? names[code] : "invalid";
}

// Toward zero, saturating; NaN gives 0.
static int _var_trunc32(double d) {
    if (d != d) return 0;
    if (d >= 2147483647.0) return 2147483647;
    if (d <= -2147483648.0) return -2147483647 - 1;
    return (int)d;
}

static std::string _var_number_text(double v) {
    char buf[400];  // "%f" of the largest double is about 320 characters
    int i = _var_trunc32(v);
    if ((double)i == v) {
        int n = snprintf(buf, sizeof buf, "%ld", (long)i);
        return std::string(buf, (size_t)n);
    }
    int n = snprintf(buf, sizeof buf, "%f", v);
    if (n < 0) return std::string();
    if (n >= (int)sizeof buf) n = (int)sizeof buf - 1;
    if (memchr(buf, '.', (size_t)n))
        while (n > 2 && buf[n - 1] == '0' && buf[n - 2] != '.') --n;
    return std::string(buf, (size_t)n);
}

// The text of a key without copying when it already is a string.
static const std::string& _var_text(const var& v, std::string& tmp) {
    if (_var_string* s = v.as_string()) return s->value;
    tmp = v.str();
    return tmp;
}

// Index normalisation of list access: numeric form truncated, negatives counted from the end.
static bool _var_index(const var& key, size_t count, size_t& out) {
    long long i = _var_trunc32(key.number());
    if (i < 0) i += (long long)count;
    if (i < 0 || i >= (long long)count) return false;
    out = (size_t)i;
    return true;
}

static inline bool _var_lt(const var& a, const var& b) { return a._o ? a._o->__lt__(b) : false; }

// ---- var handle ----

var::var(int v) : _o(_var_bind(new _var_number(v))) {}
var::var(long v) : _o(_var_bind(new _var_number((double)v))) {}
var::var(long long v) : _o(_var_bind(new _var_number((double)v))) {}
var::var(unsigned v) : _o(_var_bind(new _var_number(v))) {}
var::var(unsigned long v) : _o(_var_bind(new _var_number((double)v))) {}
var::var(unsigned long long v) : _o(_var_bind(new _var_number((double)v))) {}
var::var(float v) : _o(_var_bind(new _var_number(v))) {}
var::var(double v) : _o(_var_bind(new _var_number(v))) {}
var::var(bool v) : _o(_var_bind(new _var_bool(v))) {}
var::var(const std::string& s) : _o(_var_bind(new _var_string(s))) {}
var::var(std::string&& s) : _o(_var_bind(new _var_string(std::move(s)))) {}
var::var(const char* s, size_t n) : _o(_var_bind(new _var_string(s ? s : "", s ? n : 0))) {}

var::var(const char* s) : _o(nullptr) {
    if (!s) VAR_ERROR("var", "TypeError: null string");
    _o = _var_bind(new _var_string(s ? s : "", s ? strlen(s) : 0));
}

var::var(var_object* o) : _o(o) { _var_retain(o); }

var::var(int type, int count, ...) : _o(nullptr) {
    va_list ap;
    va_start(ap, count);
    if (type == 3) {
        _var_list* l = new _var_list;
        _o = _var_bind(l);
        if (count > 0) l->elements.reserve((size_t)count);
        for (int i = 0; i < count; ++i) {
            const var* p = va_arg(ap, const var*);
            l->elements.push_back(p ? *p : var());
        }
    } else if (type == 4) {
        _var_dict* d = new _var_dict;
        _o = _var_bind(d);
        std::string tmp;
        for (int i = 0; i + 1 < count; i += 2) {
            const var* k = va_arg(ap, const var*);
            const var* v = va_arg(ap, const var*);
            const std::string& key = k ? _var_text(*k, tmp) : std::string();
            d->at(key.data(), key.size()) = v ? *v : var();
        }
    }
    va_end(ap);
}

var::var(const var& o) : _o(o._o) { _var_retain(_o); }

var::~var() { _var_release(_o); }

// Equal values are interchangeable, so the target keeps its own object then.
static inline bool _var_assign_keeps(const var& target, const var& src) {
    if (target._o) return target._o->__eq__(src);
    return !src._o || src._o->__type__() == 0;
}

var& var::operator=(const var& o) {
    var_object* n = o._o;
    if (n == _o || _var_assign_keeps(*this, o)) return *this;
    _var_retain(n);  // before the release: o may live inside the old object
    var_object* old = _o;
    _o = n;
    _var_release(old);
    return *this;
}

var& var::operator=(var&& o) {
    var_object* n = o._o;
    if (n == _o || _var_assign_keeps(*this, o)) return *this;
    o._o = nullptr;
    var_object* old = _o;
    _o = n;
    _var_release(old);
    return *this;
}

var_object* var::_obj() const { return _o ? _o : _var_none_static(); }

int var::type() const { return _o ? _o->__type__() : 0; }
const char* var::type_name() const { return var_type_name(type()); }
std::string var::str() const { return _o ? _o->__str__() : std::string(); }
double var::number() const { return _o ? _o->__number__() : 0.0; }
int var::to_int() const { return _var_trunc32(number()); }
float var::to_float() const {
    double d = number();  // out-of-range narrowing is undefined in C++; give the IEEE infinity
    if (d > FLT_MAX) return HUGE_VALF;
    if (d < -FLT_MAX) return -HUGE_VALF;
    return (float)d;
}
bool var::truth() const { return _o ? _o->__bool__() : false; }

_var_string* var::as_string() const {
    return _o && _o->__type__() == 2 ? static_cast<_var_string*>(_o) : nullptr;
}
_var_list* var::as_list() const {
    return _o && _o->__type__() == 3 ? static_cast<_var_list*>(_o) : nullptr;
}
_var_dict* var::as_dict() const {
    return _o && _o->__type__() == 4 ? static_cast<_var_dict*>(_o) : nullptr;
}

var& var::operator[](const var& key) const { return _obj()->__get__(key); }

var& var::operator[](int index) const {
    if (_var_list* l = as_list()) {
        long long i = index;
        if (i < 0) i += (long long)l->elements.size();
        if (i >= 0 && i < (long long)l->elements.size()) return l->elements[(size_t)i];
    }
    return _obj()->__get__(var(index));  // errors and dict keys take the general route
}

var& var::operator[](double key) const { return _obj()->__get__(var(key)); }

var& var::operator[](const char* key) const {
    if (!key) return _obj()->__get__(var());
    if (_var_dict* d = as_dict()) return d->at(key, strlen(key));
    return _obj()->__get__(var(key));
}

var& var::operator[](const std::string& key) const {
    if (_var_dict* d = as_dict()) return d->at(key.data(), key.size());
    return _obj()->__get__(var(key));
}

void var::set(const var& key, const var& value) const { _obj()->__set__(key, value); }

void var::set(const char* key, var value) const {
    _var_dict* d = key ? as_dict() : nullptr;
    if (d)
        d->at(key, strlen(key)) = std::move(value);
    else
        _obj()->__set__(key ? var(key) : var(), value);
}

void var::set(const std::string& key, var value) const {
    if (_var_dict* d = as_dict())
        d->at(key.data(), key.size()) = std::move(value);
    else
        _obj()->__set__(var(key), value);
}

void var::set(int index, var value) const { _obj()->__set__(var(index), value); }
void var::set(double key, var value) const { _obj()->__set__(var(key), value); }

bool var::has(const var& key) const { return _obj()->__has__(key); }
void var::del(const var& key) const { _obj()->__del__(key); }
int var::len() const { return _obj()->__len__(); }
var var::slice(int start, int end) const { return _obj()->__slice__(start, end); }
var var::copy() const { return var(_obj()->__copy__()); }
var_object* var::iter() const { return _obj()->__iter__(); }
bool var::next(var& out) const { return _o ? _o->__next__(out) : false; }
bool var::next(var& out_a, var& out_b) const { return _o ? _o->__next__(out_a, out_b) : false; }

bool operator==(const var& a, const var& b) { return a._obj()->__eq__(b); }
bool operator<(const var& a, const var& b) { return _var_lt(a, b); }
var operator+(const var& a, const var& b) { return a._obj()->__add__(b); }
var operator-(const var& a, const var& b) { return a._obj()->__sub__(b); }
var operator*(const var& a, const var& b) { return a._obj()->__mul__(b); }
var operator/(const var& a, const var& b) { return a._obj()->__div__(b); }

// ---- base object: nothing supported ----

var_object::~var_object() {}
int var_object::__type__() const { return -1; }
var_object* var_object::__copy__() const { return new var_object; }

var& var_object::__get__(const var&) {
    _VAR_TYPE_ERROR("__get__");
    return _var_none_ref();
}

void var_object::__set__(const var&, const var&) { _VAR_TYPE_ERROR("__set__"); }

bool var_object::__has__(const var&) const {
    _VAR_TYPE_ERROR("__has__");
    return false;
}

void var_object::__del__(const var&) { _VAR_TYPE_ERROR("__del__"); }

int var_object::__len__() const {
    _VAR_TYPE_ERROR("__len__");
    return 0;
}

var var_object::__slice__(int, int) const {
    _VAR_TYPE_ERROR("__slice__");
    return var();
}

var_object* var_object::__iter__() const { return new var_object; }
bool var_object::__next__(var&) { return false; }
bool var_object::__next__(var&, var&) { return false; }
std::string var_object::__str__() const { return std::string(); }
double var_object::__number__() const { return 0.0; }
bool var_object::__bool__() const { return false; }
bool var_object::__lt__(const var&) const { return false; }
bool var_object::__eq__(const var&) const { return false; }

var var_object::__add__(const var&) const {
    _VAR_TYPE_ERROR("__add__");
    return var();
}

var var_object::__mul__(const var&) const {
    _VAR_TYPE_ERROR("__mul__");
    return var();
}

var var_object::__sub__(const var&) const {
    _VAR_TYPE_ERROR("__sub__");
    return var();
}

var var_object::__div__(const var&) const {
    _VAR_TYPE_ERROR("__div__");
    return var();
}

// ---- none ----

int _var_none::__type__() const { return 0; }
var_object* _var_none::__copy__() const { return new _var_none; }
bool _var_none::__eq__(const var& other) const { return other.type() == 0; }

// ---- number ----

int _var_number::__type__() const { return 1; }
var_object* _var_number::__copy__() const { return new _var_number(value); }
std::string _var_number::__str__() const { return _var_number_text(value); }
double _var_number::__number__() const { return value; }
bool _var_number::__bool__() const { return value != 0.0; }

bool _var_number::__lt__(const var& other) const {
    if (other.type() > 1) return true;
    return value < other.number();
}

bool _var_number::__eq__(const var& other) const {
    return other.type() == 1 && value == other.number();
}

var _var_number::__add__(const var& other) const { return var(value + other.number()); }
var _var_number::__mul__(const var& other) const { return var(value * other.number()); }
var _var_number::__sub__(const var& other) const { return var(value - other.number()); }
var _var_number::__div__(const var& other) const { return var(value / other.number()); }

// ---- bool ----

int _var_bool::__type__() const { return 5; }
var_object* _var_bool::__copy__() const { return new _var_bool(value != 0); }
std::string _var_bool::__str__() const { return value ? "True" : "False"; }
double _var_bool::__number__() const { return value ? 1.0 : 0.0; }
bool _var_bool::__bool__() const { return value != 0; }

bool _var_bool::__eq__(const var& other) const {
    return other.type() == 5 && (value != 0) == other.truth();
}

// ---- string ----

// Slice bounds: negatives count from the end, then clipped to the valid range.
static void _var_slice_bounds(int& start, int& end, int n) {
    if (start < 0) start += n;
    if (start < 0) start = 0;
    if (end < 0) end += n;
    if (end > n) end = n;
}

int _var_string::__type__() const { return 2; }
var_object* _var_string::__copy__() const { return new _var_string(value); }

bool _var_string::__has__(const var& key) const {
    std::string tmp;
    return value.find(_var_text(key, tmp)) != std::string::npos;
}

int _var_string::__len__() const { return (int)value.size(); }

var _var_string::__slice__(int start, int end) const {
    int n = (int)value.size();
    _var_slice_bounds(start, end, n);
    if (start >= n) return var(std::string());
    if (end < start) return var(value.substr((size_t)start));  // to the end of the string
    return var(value.substr((size_t)start, (size_t)(end - start)));
}

var_object* _var_string::__iter__() const { return new _var_string_iter(this); }

std::string _var_string::__str__() const { return value; }
double _var_string::__number__() const { return strtod(value.c_str(), nullptr); }
bool _var_string::__bool__() const { return !value.empty(); }

bool _var_string::__lt__(const var& other) const {
    if (other.type() > 2) return true;
    std::string tmp;
    return value.compare(_var_text(other, tmp)) < 0;
}

bool _var_string::__eq__(const var& other) const {
    _var_string* s = other.as_string();
    return s && s->value == value;
}

var _var_string::__add__(const var& other) const {
    std::string tmp;
    const std::string& t = _var_text(other, tmp);
    std::string r;
    r.reserve(value.size() + t.size());
    r.append(value).append(t);
    return var(std::move(r));
}

// ---- list ----

int _var_list::__type__() const { return 3; }

var_object* _var_list::__copy__() const {
    _var_list* l = new _var_list;
    l->elements = elements;
    return l;
}

var& _var_list::__get__(const var& key) {
    size_t i;
    if (!_var_index(key, elements.size(), i)) {
        VAR_ERROR("__get__", "IndexError: list index out of range");
        return _var_none_ref();
    }
    return elements[i];
}

void _var_list::__set__(const var& key, const var& value) {
    size_t i;
    if (!_var_index(key, elements.size(), i)) {
        VAR_ERROR("__set__", "IndexError: list assignment index out of range");
        return;
    }
    elements[i] = value;
}

bool _var_list::__has__(const var& key) const {
    for (const var& e : elements)
        if (e == key) return true;
    return false;
}

void _var_list::__del__(const var& key) {
    size_t i;
    if (!_var_index(key, elements.size(), i)) {
        VAR_ERROR("_pop", "IndexError: list assignment index out of range");
        return;
    }
    var gone;  // released last, after the list is consistent again
    swap(gone, elements[i]);
    for (size_t j = i; j + 1 < elements.size(); ++j) swap(elements[j], elements[j + 1]);
    elements.pop_back();
}

int _var_list::__len__() const { return (int)elements.size(); }

var _var_list::__slice__(int start, int end) const {
    _var_slice_bounds(start, end, (int)elements.size());
    _var_list* l = new _var_list;
    var r(l);
    if (start < end) l->elements.assign(elements.begin() + start, elements.begin() + end);
    return r;
}

var_object* _var_list::__iter__() const { return new _var_list_iter(this); }

std::string _var_list::__str__() const {
    char buf[64];
    int n = snprintf(buf, sizeof buf, "<list instance at %p>", (const void*)this);
    return std::string(buf, (size_t)n);
}

bool _var_list::__bool__() const { return !elements.empty(); }

bool _var_list::__lt__(const var& other) const {
    if (other.type() > 3) return true;
    return std::less<const void*>()(this, other._o);
}

bool _var_list::__eq__(const var& other) const { return other._o == this; }

var _var_list::__add__(const var& other) const {
    _var_list* o = other.as_list();
    if (!o) {
        VAR_ERROR("__add__", "TypeError: can only concatenate list to list");
        return var();
    }
    _var_list* l = new _var_list;
    var r(l);
    l->elements.reserve(elements.size() + o->elements.size());
    l->elements.insert(l->elements.end(), elements.begin(), elements.end());
    l->elements.insert(l->elements.end(), o->elements.begin(), o->elements.end());
    return r;
}

// ---- dict storage ----

// Erased slots are poisoned so AddressSanitizer still reports a use of a dropped value.
#if defined(__SANITIZE_ADDRESS__)
#define _VAR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define _VAR_ASAN 1
#endif
#endif
#ifdef _VAR_ASAN
#include <sanitizer/asan_interface.h>
#define _VAR_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define _VAR_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define _VAR_POISON(p, n) ((void)(p), (void)(n))
#define _VAR_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

typedef _var_dict_entries::entry _var_entry;
typedef _var_dict_entries::leaf _var_leaf;

// Leaves hold up to 64 entry pointers and inner nodes 32 children. Below the root both stay
// at least a quarter full; a tree made from a sorted run fills them to three quarters, so
// the inserts that follow do not split at once.
enum : uint32_t {
    _VAR_LEAF_MAX = 64,
    _VAR_LEAF_MIN = 16,
    _VAR_LEAF_FILL = 48,
    _VAR_NODE_MAX = 32,
    _VAR_NODE_MIN = 8,
    _VAR_NODE_FILL = 24
};

struct _var_node {
    uint32_t n;
    _var_entry* low[_VAR_NODE_MAX];  // the smallest entry below each child
    void* kid[_VAR_NODE_MAX];
};

// The way down to a leaf position: the node and child taken at each level. With the
// minimum fill, 2^32 entries need fewer than 12 levels.
struct _var_path {
    _var_node* node[24];
    uint32_t kid[24];
    uint32_t depth;
    _var_leaf* leaf;
    uint32_t pos;
    bool found;
};

struct _var_dict_block {
    _var_dict_block* next;
    uint32_t cap, used;
};

static const size_t _VAR_BLOCK_HEAD =
    (sizeof(_var_dict_block) + alignof(_var_entry) - 1) / alignof(_var_entry) * alignof(_var_entry);

static inline _var_entry* _var_block_entries(_var_dict_block* b) {
    return (_var_entry*)((char*)b + _VAR_BLOCK_HEAD);
}

// A block of cap entries, with room for a leaf of cap pointers after them if asked.
static _var_dict_block* _var_block_new(_var_dict_entries* e, uint32_t cap, bool with_leaf) {
    size_t size = _VAR_BLOCK_HEAD + (size_t)cap * sizeof(_var_entry);
    if (with_leaf) size += sizeof(_var_leaf) + (size_t)cap * sizeof(_var_entry*);
    _var_dict_block* b = (_var_dict_block*)::operator new(size);
    b->next = (_var_dict_block*)e->blocks;
    b->cap = cap;
    b->used = 0;
    e->blocks = b;
    return b;
}

static _var_leaf* _var_leaf_init(void* at, uint32_t cap, uint32_t own) {
    _var_leaf* l = (_var_leaf*)at;
    l->next = nullptr;
    l->n = 0;
    l->cap = cap;
    l->own = own;
    return l;
}

static _var_leaf* _var_leaf_new(uint32_t cap) {
    return _var_leaf_init(::operator new(sizeof(_var_leaf) + (size_t)cap * sizeof(_var_entry*)),
                          cap, 1);
}

static void _var_leaf_free(_var_leaf* l) {
    if (l->own) ::operator delete(l);
}

_var_entry* _var_dict_entries::reserve_block(uint32_t n) {
    _var_dict_block* b = _var_block_new(this, n, true);
    root = first = _var_leaf_init(_var_block_entries(b) + n, n, 0);
    height = 0;
    b->used = n;
    return _var_block_entries(b);
}

static inline _var_entry* _var_low(void* x, uint32_t h) {
    return h ? ((_var_node*)x)->low[0] : ((_var_leaf*)x)->slots()[0];
}

// Makes the tree from n entries in key order, over whatever was there.
static void _var_load(_var_dict_entries* e, _var_entry* const* src, uint32_t n) {
    std::vector<void*> level(n <= _VAR_LEAF_MAX ? 1 : (n + _VAR_LEAF_FILL - 1) / _VAR_LEAF_FILL);
    uint32_t k = (uint32_t)level.size(), at = 0;
    for (uint32_t j = 0; j < k; ++j) {
        _var_leaf* l = _var_leaf_new(_VAR_LEAF_MAX);
        l->n = n / k + (j < n % k);
        memcpy(l->slots(), src + at, (size_t)l->n * sizeof *src);
        at += l->n;
        if (j) ((_var_leaf*)level[j - 1])->next = l;
        level[j] = l;
    }
    e->first = (_var_leaf*)level[0];
    uint32_t h = 0;
    while (level.size() > 1) {
        uint32_t m = (uint32_t)level.size();
        std::vector<void*> up(m <= _VAR_NODE_MAX ? 1 : (m + _VAR_NODE_FILL - 1) / _VAR_NODE_FILL);
        k = (uint32_t)up.size();
        at = 0;
        for (uint32_t j = 0; j < k; ++j) {
            _var_node* nd = new _var_node;
            nd->n = m / k + (j < m % k);
            for (uint32_t i = 0; i < nd->n; ++i, ++at) {
                nd->kid[i] = level[at];
                nd->low[i] = _var_low(level[at], h);
            }
            up[j] = nd;
        }
        level.swap(up);
        ++h;
    }
    e->root = level[0];
    e->height = h;
}

// A root leaf larger than a tree's leaves (a dict made in one go) becomes a tree before its
// first single change, which would otherwise shift all of it.
static void _var_treeify(_var_dict_entries* e) {
    _var_leaf* old = (_var_leaf*)e->root;
    _var_load(e, old->slots(), old->n);
    _var_leaf_free(old);
}

static void _var_free_tree(void* x, uint32_t h) {
    if (!h) return _var_leaf_free((_var_leaf*)x);
    _var_node* nd = (_var_node*)x;
    for (uint32_t i = 0; i < nd->n; ++i) _var_free_tree(nd->kid[i], h - 1);
    delete nd;
}

_var_dict_entries::_var_dict_entries(const _var_dict_entries& o) {
    if (!o.count) return;
    _var_entry* e = reserve_block(o.count);
    _var_entry** order = first->slots();
    uint32_t i = 0;
    for (const _var_entry& x : o) {
        new (e + i) _var_entry(x);
        order[i] = e + i;
        ++i;
    }
    first->n = count = o.count;
}

_var_dict_entries::~_var_dict_entries() {
    if (free_slots) {
        for (const_iterator it = begin(); it != end(); ++it) it.l->slots()[it.i]->~_var_entry();
    } else {
        // every used slot is live: go in arrival order, which is the values' memory order
        for (_var_dict_block* b = (_var_dict_block*)blocks; b; b = b->next) {
            _var_entry* e = _var_block_entries(b);
            for (uint32_t i = 0; i < b->used; ++i) e[i].~_var_entry();
        }
    }
    if (root) _var_free_tree(root, height);
    for (_var_dict_block* b = (_var_dict_block*)blocks; b;) {
        _var_dict_block* next = b->next;
        _VAR_UNPOISON(b, _VAR_BLOCK_HEAD + (size_t)b->cap * sizeof(_var_entry));
        ::operator delete(b);
        b = next;
    }
}

// Room for one more entry: an erased slot, the rest of the newest block, or a new block
// as large as all before it.
static _var_entry* _var_slot(_var_dict_entries* e) {
    if (_var_entry* s = e->free_slots) {
        _VAR_UNPOISON(s, sizeof *s);
        memcpy(&e->free_slots, (const void*)s, sizeof e->free_slots);
        return s;
    }
    _var_dict_block* b = (_var_dict_block*)e->blocks;
    if (!b) {
        e->reserve_block(4);
        b = (_var_dict_block*)e->blocks;
        b->used = 0;
    } else if (b->used == b->cap) {
        b = _var_block_new(e, e->count < 4 ? 4 : e->count, false);
    }
    return _var_block_entries(b) + b->used++;
}

static void _var_slot_free(_var_dict_entries* e, _var_entry* s) {
    memcpy((void*)s, &e->free_slots, sizeof e->free_slots);
    e->free_slots = s;
    _VAR_POISON(s, sizeof *s);
}

// Byte order; the first bytes settle most pairs of keys without a call.
static inline int _var_cmp(const std::string& a, const char* k, size_t n) {
    size_t an = a.size(), m = an < n ? an : n;
    const char* ad = a.data();
    if (m && ad[0] != k[0]) return (unsigned char)ad[0] < (unsigned char)k[0] ? -1 : 1;
    int c = m ? memcmp(ad, k, m) : 0;
    if (c) return c;
    return an < n ? -1 : an > n ? 1 : 0;
}

static inline int _var_key_cmp(const std::string& a, const std::string& b) {
    return _var_cmp(a, b.data(), b.size());
}

static void _var_seek(const _var_dict_entries* e, const char* k, size_t n, _var_path& p) {
    p.depth = 0;
    void* x = e->root;
    for (uint32_t h = e->height; h; --h) {
        _var_node* nd = (_var_node*)x;
        uint32_t lo = 1, hi = nd->n;  // the last child whose smallest key is not above k
        while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            if (_var_cmp(nd->low[mid]->first, k, n) <= 0) lo = mid + 1;
            else hi = mid;
        }
        p.node[p.depth] = nd;
        p.kid[p.depth++] = lo - 1;
        x = nd->kid[lo - 1];
    }
    _var_leaf* l = (_var_leaf*)x;
    p.leaf = l;
    p.pos = 0;
    p.found = false;
    if (!l) return;
    _var_entry** s = l->slots();
    uint32_t lo = 0, hi = l->n;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (_var_cmp(s[mid]->first, k, n) < 0) lo = mid + 1;
        else hi = mid;
    }
    p.pos = lo;
    p.found = lo < l->n && _var_cmp(s[lo]->first, k, n) == 0;
}

_var_entry* _var_dict_entries::find(const char* k, size_t n) const {
    _var_path p;
    _var_seek(this, k, n, p);
    return p.found ? p.leaf->slots()[p.pos] : nullptr;
}

_var_dict_entries::const_iterator _var_dict_entries::lower_bound(const char* k, size_t n) const {
    _var_path p;
    _var_seek(this, k, n, p);
    if (!count) return end();
    if (p.pos == p.leaf->n) return const_iterator{p.leaf->next, 0};
    return const_iterator{p.leaf, p.pos};
}

// A leaf's smallest entry changed, and so did that of every subtree the leaf starts.
static void _var_fix_low(_var_path& p, _var_entry* m) {
    for (uint32_t d = p.depth; d-- > 0;) {
        p.node[d]->low[p.kid[d]] = m;
        if (p.kid[d]) return;
    }
}

// Puts right, a new subtree of height h, just after left, whose parent is the path's node at
// depth d - 1; at depth 0 left was the root, and a new root takes both.
static void _var_push(_var_dict_entries* e, _var_path& p, uint32_t d, void* left, void* right,
                      uint32_t h) {
    if (d == 0) {
        _var_node* r = new _var_node;
        r->n = 2;
        r->kid[0] = left;
        r->low[0] = _var_low(left, h);
        r->kid[1] = right;
        r->low[1] = _var_low(right, h);
        e->root = r;
        e->height = h + 1;
        return;
    }
    _var_node *nd = p.node[d - 1], *q = nullptr, *t = nd;
    uint32_t at = p.kid[d - 1] + 1;
    if (nd->n == _VAR_NODE_MAX) {
        q = new _var_node;
        uint32_t half = _VAR_NODE_MAX / 2;
        q->n = nd->n - half;
        memcpy(q->low, nd->low + half, q->n * sizeof *q->low);
        memcpy(q->kid, nd->kid + half, q->n * sizeof *q->kid);
        nd->n = half;
        if (at > half) {
            t = q;
            at -= half;
        }
    }
    memmove(t->low + at + 1, t->low + at, (t->n - at) * sizeof *t->low);
    memmove(t->kid + at + 1, t->kid + at, (t->n - at) * sizeof *t->kid);
    t->low[at] = _var_low(right, h);
    t->kid[at] = right;
    ++t->n;
    if (q) _var_push(e, p, d - 1, nd, q, h + 1);
}

// Puts s at the path's leaf position. A full root leaf below the tree's leaf size grows;
// any other full leaf splits in two.
static void _var_place(_var_dict_entries* e, _var_path& p, _var_entry* s) {
    _var_leaf *l = p.leaf, *r = nullptr, *t = l;
    uint32_t pos = p.pos;
    if (l->n == l->cap) {
        if (e->height == 0 && l->cap < _VAR_LEAF_MAX) {
            uint32_t cap = l->cap < 4 ? 8 : l->cap * 2;
            t = _var_leaf_new(cap < _VAR_LEAF_MAX ? cap : _VAR_LEAF_MAX);
            t->n = l->n;
            memcpy(t->slots(), l->slots(), (size_t)l->n * sizeof(_var_entry*));
            _var_leaf_free(l);
            e->root = e->first = l = t;
        } else {
            r = _var_leaf_new(_VAR_LEAF_MAX);
            uint32_t half = l->n / 2;
            r->n = l->n - half;
            memcpy(r->slots(), l->slots() + half, (size_t)r->n * sizeof(_var_entry*));
            l->n = half;
            r->next = l->next;
            l->next = r;
            if (pos > half) {
                t = r;
                pos -= half;
            }
        }
    }
    _var_entry** sl = t->slots();
    memmove(sl + pos + 1, sl + pos, (size_t)(t->n - pos) * sizeof *sl);
    sl[pos] = s;
    ++t->n;
    if (pos == 0 && t == l) _var_fix_low(p, s);
    if (r) _var_push(e, p, p.depth, l, r, 0);
}

// A new key at the position p found for it; the value starts as none.
static _var_entry* _var_insert(_var_dict_entries* e, _var_path& p, std::string&& key) {
    _var_entry* s = _var_slot(e);  // first: an empty dict's first block brings its leaf
    if (!p.leaf || (e->height == 0 && p.leaf->cap > _VAR_LEAF_MAX)) {
        if (p.leaf) _var_treeify(e);
        _var_seek(e, key.data(), key.size(), p);
    }
    new (s) _var_entry(std::move(key), var());
    _var_place(e, p, s);
    ++e->count;
    ++e->version;
    return s;
}

template <class T>
static void _var_even(T* a, uint32_t an, T* b, uint32_t bn, uint32_t want) {
    if (an > want) {
        uint32_t c = an - want;
        memmove(b + c, b, (size_t)bn * sizeof *b);
        memcpy(b, a + want, (size_t)c * sizeof *b);
    } else {
        uint32_t c = want - an;
        memcpy(a + an, b, (size_t)c * sizeof *b);
        memmove(b, b + c, (size_t)(bn - c) * sizeof *b);
    }
}

// The leaf or node at path depth d (> 0) fell below its minimum: it merges with a
// neighbour when the two fit in one, else the two share evenly. A merge takes a child from
// the parent, which may then need the same; a root left with one child gives way to it.
static void _var_rebalance(_var_dict_entries* e, _var_path& p, uint32_t d) {
    _var_node* up = p.node[d - 1];
    uint32_t bi = p.kid[d - 1] ? p.kid[d - 1] : 1;  // the right one of the pair
    if (d == p.depth) {
        _var_leaf *a = (_var_leaf*)up->kid[bi - 1], *b = (_var_leaf*)up->kid[bi];
        uint32_t total = a->n + b->n;
        if (total > a->cap) {
            _var_even(a->slots(), a->n, b->slots(), b->n, total / 2);
            a->n = total / 2;
            b->n = total - a->n;
            up->low[bi] = b->slots()[0];
            return;
        }
        memcpy(a->slots() + a->n, b->slots(), (size_t)b->n * sizeof(_var_entry*));
        a->n = total;
        a->next = b->next;
        _var_leaf_free(b);
    } else {
        _var_node *a = (_var_node*)up->kid[bi - 1], *b = (_var_node*)up->kid[bi];
        uint32_t total = a->n + b->n;
        if (total > _VAR_NODE_MAX) {
            _var_even(a->low, a->n, b->low, b->n, total / 2);
            _var_even(a->kid, a->n, b->kid, b->n, total / 2);
            a->n = total / 2;
            b->n = total - a->n;
            up->low[bi] = b->low[0];
            return;
        }
        memcpy(a->low + a->n, b->low, b->n * sizeof *b->low);
        memcpy(a->kid + a->n, b->kid, b->n * sizeof *b->kid);
        a->n = total;
        delete b;
    }
    memmove(up->low + bi, up->low + bi + 1, (up->n - bi - 1) * sizeof *up->low);
    memmove(up->kid + bi, up->kid + bi + 1, (up->n - bi - 1) * sizeof *up->kid);
    --up->n;
    if (d > 1) {
        if (up->n < _VAR_NODE_MIN) _var_rebalance(e, p, d - 1);
    } else if (up->n == 1) {
        e->root = up->kid[0];
        --e->height;
        delete up;
    }
}

// Drops the entry at the position p found; the caller has taken its value out.
static void _var_erase(_var_dict_entries* e, _var_path& p) {
    _var_entry* s = p.leaf->slots()[p.pos];
    if (e->height == 0 && p.leaf->cap > _VAR_LEAF_MAX) {
        _var_treeify(e);
        _var_seek(e, s->first.data(), s->first.size(), p);
    }
    _var_leaf* l = p.leaf;
    _var_entry** sl = l->slots();
    memmove(sl + p.pos, sl + p.pos + 1, (size_t)(l->n - p.pos - 1) * sizeof *sl);
    --l->n;
    --e->count;
    ++e->version;
    if (p.depth) {
        if (p.pos == 0 && l->n) _var_fix_low(p, sl[0]);
        if (l->n < _VAR_LEAF_MIN) _var_rebalance(e, p, p.depth);
    }
    s->~_var_entry();
    _var_slot_free(e, s);
}

static bool _var_entry_before(const _var_entry* a, const _var_entry* b) {
    int c = _var_key_cmp(a->first, b->first);
    return c < 0 || (c == 0 && a < b);  // slots are filled in arrival order
}

void dict_build(_var_dict* d, std::string* keys, var* values, size_t n) {
    _var_dict_entries& m = d->entries;
    if (!n || m.root) {
        for (size_t i = 0; i < n; ++i) d->put(std::move(keys[i]), std::move(values[i]));
        return;
    }
    _var_entry* e = m.reserve_block((uint32_t)n);
    _var_entry** order = m.first->slots();
    bool sorted = true;
    for (size_t i = 0; i < n; ++i) {
        new (e + i) _var_entry(std::move(keys[i]), std::move(values[i]));
        order[i] = e + i;
        if (i && sorted && _var_key_cmp(e[i - 1].first, e[i].first) >= 0) sorted = false;
    }
    uint32_t out = (uint32_t)n;
    if (!sorted) {
        std::sort(order, order + n, _var_entry_before);
        out = 0;
        for (size_t i = 0; i < n; ++i) {
            if (i + 1 < n && _var_key_cmp(order[i + 1]->first, order[i]->first) == 0) {
                order[i]->~_var_entry();  // a later value for the same key follows
                _var_slot_free(&m, order[i]);
            } else {
                order[out++] = order[i];
            }
        }
    }
    m.first->n = m.count = out;
}

// ---- dict ----

var& _var_dict::at(const char* key, size_t n) {
    _var_path p;
    _var_seek(&entries, key, n, p);
    if (p.found) return p.leaf->slots()[p.pos]->second;
    return _var_insert(&entries, p, std::string(key, n))->second;
}

void _var_dict::put(std::string&& key, var&& value) {
    _var_path p;
    _var_seek(&entries, key.data(), key.size(), p);
    if (p.found)
        p.leaf->slots()[p.pos]->second = std::move(value);
    else
        _var_insert(&entries, p, std::move(key))->second = std::move(value);
}

int _var_dict::__type__() const { return 4; }

var_object* _var_dict::__copy__() const {
    return new _var_dict(entries);
}

var& _var_dict::__get__(const var& key) {
    std::string tmp;
    const std::string& k = _var_text(key, tmp);
    return at(k.data(), k.size());
}

void _var_dict::__set__(const var& key, const var& value) {
    std::string tmp;
    const std::string& k = _var_text(key, tmp);
    at(k.data(), k.size()) = value;
}

bool _var_dict::__has__(const var& key) const {
    std::string tmp;
    const std::string& k = _var_text(key, tmp);
    return entries.find(k.data(), k.size()) != nullptr;
}

void _var_dict::__del__(const var& key) {
    std::string tmp;
    const std::string& k = _var_text(key, tmp);
    _var_path p;
    _var_seek(&entries, k.data(), k.size(), p);
    if (!p.found) {
        VAR_ERROR("__del__", "dict::__del__:KeyError");
        return;
    }
    var gone;  // the key may live inside the value; release it after the erase
    swap(gone, p.leaf->slots()[p.pos]->second);
    _var_erase(&entries, p);
}

int _var_dict::__len__() const { return (int)entries.size(); }

var_object* _var_dict::__iter__() const { return new _var_dict_iter(this); }

std::string _var_dict::__str__() const {
    char buf[64];
    int n = snprintf(buf, sizeof buf, "<dict instance at %p>", (const void*)this);
    return std::string(buf, (size_t)n);
}

bool _var_dict::__bool__() const { return !entries.empty(); }

bool _var_dict::__lt__(const var& other) const {
    if (other.type() > 4) return true;
    return std::less<const void*>()(this, other._o);
}

bool _var_dict::__eq__(const var& other) const { return other._o == this; }

// ---- iterators ----

_var_string_iter::_var_string_iter(const _var_string* s)
    : src(const_cast<_var_string*>(s)), end((int32_t)s->value.size()) {}

bool _var_string_iter::__next__(var& out) {
    const std::string& v = static_cast<_var_string*>(src._o)->value;
    if (index >= end || (size_t)index >= v.size()) return false;
    out = var((int)(unsigned char)v[(size_t)index++]);
    return true;
}

bool _var_string_iter::__next__(var& out_a, var& out_b) {
    const std::string& v = static_cast<_var_string*>(src._o)->value;
    if (index >= end || (size_t)index >= v.size()) return false;
    out_a = var(index);
    out_b = var((int)(unsigned char)v[(size_t)index++]);
    return true;
}

_var_list_iter::_var_list_iter(const _var_list* l)
    : src(const_cast<_var_list*>(l)), end((int32_t)l->elements.size()) {}

bool _var_list_iter::__next__(var& out) {
    const std::vector<var>& el = static_cast<_var_list*>(src._o)->elements;
    if (index >= end || (size_t)index >= el.size()) return false;
    out = el[(size_t)index++];
    return true;
}

bool _var_list_iter::__next__(var& out_a, var& out_b) {
    const std::vector<var>& el = static_cast<_var_list*>(src._o)->elements;
    if (index >= end || (size_t)index >= el.size()) return false;
    out_a = var(index);
    out_b = el[(size_t)index++];
    return true;
}

_var_dict_iter::_var_dict_iter(const _var_dict* d)
    : dict(const_cast<_var_dict*>(d)), at(d->entries.begin()), version(d->entries.version) {
    if (d->entries.count) next_key = at->first;
    else done = true;
}

// The next entry, or null when done. A walk that reached the end stays there.
const _var_entry* _var_dict_iter::step() {
    if (done) return nullptr;
    const _var_dict_entries& e = static_cast<_var_dict*>(dict._o)->entries;
    if (version != e.version) {
        version = e.version;
        at = e.lower_bound(next_key.data(), next_key.size());
    }
    if (at == e.end()) {
        done = true;
        return nullptr;
    }
    const _var_entry* r = &*at;
    ++at;
    if (at != e.end()) next_key.assign(at->first);
    else done = true;
    return r;
}

bool _var_dict_iter::__next__(var& out) {
    const _var_entry* r = step();
    if (!r) return false;
    out = var(r->first);
    return true;
}

bool _var_dict_iter::__next__(var& out_a, var& out_b) {
    const _var_entry* r = step();
    if (!r) return false;
    out_a = var(r->first);
    out_b = r->second;
    return true;
}

// ---- list utilities ----

void list_append(const var& list, const var& item) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_append", "UnsupportedError");
        return;
    }
    l->elements.push_back(item);
}

void list_append(const var& list, var&& item) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_append", "UnsupportedError");
        return;
    }
    l->elements.push_back(std::move(item));
}

int list_find(const var& list, const var& item) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_find", "UnsupportedError");
        return -1;
    }
    for (size_t i = 0; i < l->elements.size(); ++i)
        if (l->elements[i] == item) return (int)i;
    return -1;
}

void list_insert(const var& list, int position, const var& item) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_insert", "UnsupportedError");
        return;
    }
    long long n = (long long)l->elements.size();
    long long p = position;
    if (p < 0) p += n;
    if (p > n - 1) p = n - 1;
    if (p < 0) p = 0;
    var v(item);  // item may be an element of this list
    l->elements.emplace_back();
    for (long long j = n; j > p; --j) swap(l->elements[(size_t)j], l->elements[(size_t)j - 1]);
    swap(l->elements[(size_t)p], v);
}

void list_extend(const var& list, const var& other) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_extend", "UnsupportedError");
        return;
    }
    _var_list* o = other.as_list();
    if (!o) {
        VAR_ERROR("_extend", "TypeError: lists may only be extended by lists");
        return;
    }
    size_t n = o->elements.size();  // the count before the call, when extending by itself
    l->elements.reserve(l->elements.size() + n);
    for (size_t i = 0; i < n; ++i) l->elements.push_back(o->elements[i]);
}

// Introsort that stays in bounds whatever the relation answers: the ordering across kinds
// is not a strict weak order, so no step may rely on a sentinel.
static void _list_sift(var* a, ptrdiff_t root, ptrdiff_t n) {
    for (;;) {
        ptrdiff_t c = 2 * root + 1;
        if (c >= n) return;
        if (c + 1 < n && _var_lt(a[c], a[c + 1])) ++c;
        if (!_var_lt(a[root], a[c])) return;
        swap(a[root], a[c]);
        root = c;
    }
}

static void _list_heapsort(var* a, ptrdiff_t n) {
    for (ptrdiff_t i = n / 2 - 1; i >= 0; --i) _list_sift(a, i, n);
    for (ptrdiff_t e = n - 1; e > 0; --e) {
        swap(a[0], a[e]);
        _list_sift(a, 0, e);
    }
}

static void _list_insertion(var* a, ptrdiff_t n) {
    for (ptrdiff_t i = 1; i < n; ++i)
        for (ptrdiff_t j = i; j > 0 && _var_lt(a[j], a[j - 1]); --j) swap(a[j], a[j - 1]);
}

static void _list_introsort(var* a, ptrdiff_t n, int depth) {
    while (n > 16) {
        if (depth-- == 0) {
            _list_heapsort(a, n);
            return;
        }
        ptrdiff_t m = n / 2;
        if (_var_lt(a[m], a[0])) swap(a[m], a[0]);
        if (_var_lt(a[n - 1], a[m])) {
            swap(a[n - 1], a[m]);
            if (_var_lt(a[m], a[0])) swap(a[m], a[0]);
        }
        var pivot(a[m]);
        ptrdiff_t i = 0, j = n - 1;
        for (;;) {
            while (i < n && _var_lt(a[i], pivot)) ++i;
            while (j >= 0 && _var_lt(pivot, a[j])) --j;
            if (i >= j) break;
            swap(a[i], a[j]);
            ++i;
            --j;
        }
        // Both parts must shrink, even when the relation is inconsistent.
        ptrdiff_t p = j + 1;
        if (p < 1) p = 1;
        if (p > n - 1) p = n - 1;
        if (p < n - p) {
            _list_introsort(a, p, depth);
            a += p;
            n -= p;
        } else {
            _list_introsort(a + p, n - p, depth);
            n = p;
        }
    }
    _list_insertion(a, n);
}

void list_sort(const var& list) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_sort", "UnsupportedError");
        return;
    }
    ptrdiff_t n = (ptrdiff_t)l->elements.size();
    int depth = 0;
    for (ptrdiff_t k = n; k > 1; k >>= 1) depth += 2;
    _list_introsort(l->elements.data(), n, depth);
}

void list_reverse(const var& list) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("list_reverse", "UnsupportedError");
        return;
    }
    size_t n = l->elements.size();
    for (size_t i = 0; i < n / 2; ++i) swap(l->elements[i], l->elements[n - 1 - i]);
}

// ---- string utilities ----

var str_join(const std::string& separator, const var& list) {
    _var_list* l = list.as_list();
    if (!l) {
        VAR_ERROR("str_join", "TypeError");
        return var();
    }
    std::string r, tmp;
    for (size_t i = 0; i < l->elements.size(); ++i) {
        if (i) r.append(separator);
        r.append(_var_text(l->elements[i], tmp));
    }
    return var(std::move(r));
}

var str_split(const std::string& text, const std::string& separator) {
    var r(3, 0);
    _var_list* l = static_cast<_var_list*>(r._o);
    if (separator.empty()) {
        VAR_ERROR("str_split", "ValueError: empty separator");
        l->elements.push_back(var(text));
        return r;
    }
    size_t from = 0;
    for (;;) {
        size_t at = text.find(separator, from);
        if (at == std::string::npos) break;
        l->elements.push_back(var(text.substr(from, at - from)));
        from = at + separator.size();
    }
    l->elements.push_back(var(text.substr(from)));
    return r;
}

std::string str_replace(const std::string& text, const std::string& pattern,
                        const std::string& replacement) {
    if (pattern.empty()) return text;
    std::string r;
    r.reserve(text.size());
    size_t from = 0;
    for (;;) {
        size_t at = text.find(pattern, from);
        if (at == std::string::npos) break;
        r.append(text, from, at - from).append(replacement);
        from = at + pattern.size();
    }
    r.append(text, from, std::string::npos);
    return r;
}
