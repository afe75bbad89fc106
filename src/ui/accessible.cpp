// The accessible objects of the window, its buttons and the link focus window: one plain record and
// one static IAccessible table of free functions. Each object answers for itself (child id 0) and
// for its parts (child ids 1..n, in reading order), which it lists afresh from the window's state on
// every question; a part that is a child control is also reachable as that control's own object.
#define CINTERFACE
#define COBJMACROS
#include "ui/accessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include "core/shared_counter.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/accessible_parts.h"
#include "ui/keyboard_focus.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

// A screen reader's "do the default action" on a link, run from the message loop rather than inside
// the reader's call (an action may ask a question and wait for the player).
static const UINT WM_RUN_LINK = WM_APP + 10;
static const UINT_PTR BUTTON_SUBCLASS = 1;
static const DWORD PROGRESS_EVENT_GAP_MS = 500;

struct AccessibleObject {
    IAccessible iface;  // first: the interface pointer is the record's address
    LONG references;
    HWND window;        // the main window, a button or the link focus window
};

struct AnnouncedProgress {
    int percent;  // the last value told; -1 before
    DWORD tick;   // when
};

static AnnouncedProgress announced = {-1, 0};

static AccessibleObject* record(IAccessible* self) {
    return (AccessibleObject*)self;
}

// ---- texts for the reader ----

static BSTR make_bstr(const char* text) {
    // The painted texts are Windows-1252 bytes (ANSI_CHARSET fonts).
    int length = MultiByteToWideChar(1252, 0, text, -1, nullptr, 0);
    if (length <= 0) return SysAllocString(L"");
    BSTR result = SysAllocStringLen(nullptr, (UINT)(length - 1));
    if (result) MultiByteToWideChar(1252, 0, text, -1, result, length);
    return result;
}

static HRESULT give_text(const char* text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!text || !text[0]) return S_FALSE;
    *out = make_bstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// ---- which part a child id means ----

// The part a VARIANT names in the object's list: the object itself for CHILDID_SELF.
static const AccessiblePart* part_of(const PartList* list, VARIANT id) {
    if (id.vt != VT_I4) return nullptr;
    if (id.lVal == CHILDID_SELF) return &list->self;
    if (id.lVal < 1 || id.lVal > list->count) return nullptr;
    return &list->parts[id.lVal - 1];
}

static bool list_for(IAccessible* self, PartList* list) {
    HWND window = record(self)->window;
    if (!IsWindow(window)) return false;
    list_window_parts(window, list);
    return true;
}

static PartList* scratch_list() {
    static PartList list;  // the window thread only: every call comes through its message loop
    return &list;
}

#define WITH_PART(self, id, part)                                   \
    PartList* list = scratch_list();                                \
    if (!list_for(self, list)) return RPC_E_DISCONNECTED;           \
    const AccessiblePart* part = part_of(list, id);                 \
    if (!part) return E_INVALIDARG

static HWND control_of(const AccessiblePart* part) {
    return part->kind == PART_CONTROL ? control_window(part->control) : nullptr;
}

static long state_of(HWND owner, const AccessiblePart* part, bool is_self) {
    long state = 0;
    HWND control = control_of(part);
    if (is_self && owner != main_window() && owner != link_focus_window()) control = owner;
    if (control) {
        state |= STATE_SYSTEM_FOCUSABLE;
        if (GetFocus() == control) state |= STATE_SYSTEM_FOCUSED;
        if (!IsWindowEnabled(control)) state |= STATE_SYSTEM_UNAVAILABLE;
        if (!IsWindowVisible(control)) state |= STATE_SYSTEM_INVISIBLE;
    } else if (part->kind == PART_LINK) {
        state |= STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED;
        if (part->link && focused_link() == part->link) state |= STATE_SYSTEM_FOCUSED;
    } else if (part->kind == PART_TEXT || part->kind == PART_STATUS || part->kind == PART_PROGRESS) {
        state |= STATE_SYSTEM_READONLY;
    } else if (part->kind == PART_WINDOW) {
        state |= STATE_SYSTEM_FOCUSABLE;
        if (GetFocus() == owner) state |= STATE_SYSTEM_FOCUSED;
    }
    return state;
}

// A part's rect on the screen.
static RECT screen_rect(HWND owner, const AccessiblePart* part) {
    RECT rect = part->rect;
    // The link focus window speaks for a link of the main window, in the main window's coordinates.
    HWND origin = owner == link_focus_window() ? main_window() : owner;
    MapWindowPoints(origin, nullptr, (POINT*)&rect, 2);
    return rect;
}

static VARIANT child_variant(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// ---- IUnknown and IDispatch ----

static HRESULT STDMETHODCALLTYPE query_interface(IAccessible* self, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IAccessible)) {
        *out = self;
        IAccessible_AddRef(self);
        return S_OK;
    }
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE add_ref(IAccessible* self) {
    return (ULONG)InterlockedIncrement(&record(self)->references);
}

static ULONG STDMETHODCALLTYPE release(IAccessible* self) {
    LONG left = InterlockedDecrement(&record(self)->references);
    if (left == 0) HeapFree(GetProcessHeap(), 0, record(self));
    return (ULONG)left;
}

static HRESULT STDMETHODCALLTYPE get_type_info_count(IAccessible*, UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE get_type_info(IAccessible*, UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE get_ids_of_names(IAccessible*, REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE invoke(IAccessible*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                        UINT*) {
    return E_NOTIMPL;
}

// ---- the tree ----

static HRESULT STDMETHODCALLTYPE get_acc_parent(IAccessible* self, IDispatch** parent) {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    HWND window = record(self)->window;
    if (!IsWindow(window)) return RPC_E_DISCONNECTED;
    // The window's client sits in the system's window object; a button and the link focus window
    // sit in the window's client, as its children.
    bool is_client = window == main_window();
    return AccessibleObjectFromWindow(main_window(), (DWORD)(is_client ? OBJID_WINDOW : OBJID_CLIENT), IID_IDispatch,
                                      (void**)parent);
}

static HRESULT STDMETHODCALLTYPE get_acc_child_count(IAccessible* self, long* count) {
    if (!count) return E_POINTER;
    PartList* list = scratch_list();
    if (!list_for(self, list)) return RPC_E_DISCONNECTED;
    *count = list->count;
    return S_OK;
}

// A child control is its own object (the buttons' are ours, the edit box's the system's); painted
// parts are simple elements of this object.
static HRESULT STDMETHODCALLTYPE get_acc_child(IAccessible* self, VARIANT id, IDispatch** child) {
    if (!child) return E_POINTER;
    *child = nullptr;
    WITH_PART(self, id, part);
    if (part == &list->self) return E_INVALIDARG;
    HWND control = control_of(part);
    if (!control) return S_FALSE;
    LONG object = part->control == ID_FOLDER_EDIT ? OBJID_WINDOW : OBJID_CLIENT;
    return AccessibleObjectFromWindow(control, (DWORD)object, IID_IDispatch, (void**)child);
}

static HRESULT STDMETHODCALLTYPE get_acc_name(IAccessible* self, VARIANT id, BSTR* name) {
    WITH_PART(self, id, part);
    return give_text(part->name, name);
}

static HRESULT STDMETHODCALLTYPE get_acc_value(IAccessible* self, VARIANT id, BSTR* value) {
    WITH_PART(self, id, part);
    if (part->kind == PART_CONTROL && part->control == ID_FOLDER_EDIT) {
        char text[600] = "";
        GetWindowTextA(control_window(ID_FOLDER_EDIT), text, sizeof text);
        return give_text(text, value);
    }
    return give_text(part->value, value);
}

// A server card's description is its other texts, so that a reader says them with the card.
static HRESULT STDMETHODCALLTYPE get_acc_description(IAccessible* self, VARIANT id, BSTR* description) {
    WITH_PART(self, id, part);
    if (part != &list->self || part->kind != PART_CONTROL) return give_text("", description);
    char text[800] = "";
    for (int i = 0; i < list->count; i++) {
        if (text[0]) append_text(text, sizeof text, " ");
        append_text(text, sizeof text, list->parts[i].name);
    }
    return give_text(text, description);
}

static HRESULT STDMETHODCALLTYPE get_acc_role(IAccessible* self, VARIANT id, VARIANT* role) {
    if (!role) return E_POINTER;
    VariantInit(role);
    WITH_PART(self, id, part);
    *role = child_variant(part->role);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE get_acc_state(IAccessible* self, VARIANT id, VARIANT* state) {
    if (!state) return E_POINTER;
    VariantInit(state);
    WITH_PART(self, id, part);
    *state = child_variant(state_of(record(self)->window, part, part == &list->self));
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE get_acc_help(IAccessible*, VARIANT, BSTR* help) {
    return give_text("", help);
}

static HRESULT STDMETHODCALLTYPE get_acc_help_topic(IAccessible*, BSTR* file, VARIANT, long* topic) {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE get_acc_keyboard_shortcut(IAccessible*, VARIANT, BSTR* shortcut) {
    return give_text("", shortcut);
}

// The focused part: a focused link or control of the window, or the object itself.
static HRESULT STDMETHODCALLTYPE get_acc_focus(IAccessible* self, VARIANT* focus) {
    if (!focus) return E_POINTER;
    VariantInit(focus);
    PartList* list = scratch_list();
    if (!list_for(self, list)) return RPC_E_DISCONNECTED;
    HWND window = record(self)->window;
    if (state_of(window, &list->self, true) & STATE_SYSTEM_FOCUSED) {
        *focus = child_variant(CHILDID_SELF);
        return S_OK;
    }
    for (int i = 0; i < list->count; i++) {
        if (state_of(window, &list->parts[i], false) & STATE_SYSTEM_FOCUSED) {
            *focus = child_variant(i + 1);
            return S_OK;
        }
    }
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE get_acc_selection(IAccessible*, VARIANT* selection) {
    if (!selection) return E_POINTER;
    VariantInit(selection);
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE get_acc_default_action(IAccessible* self, VARIANT id, BSTR* action) {
    WITH_PART(self, id, part);
    if (part->kind == PART_LINK) return give_text(lookup_text("click"), action);
    bool button = part->kind == PART_CONTROL && part->role == ROLE_SYSTEM_PUSHBUTTON;
    if (button) return give_text(lookup_text("press"), action);
    return give_text("", action);
}

// Taking the focus: a link gets the keyboard focus through the link focus window, a control its own.
static HRESULT STDMETHODCALLTYPE acc_select(IAccessible* self, long flags, VARIANT id) {
    WITH_PART(self, id, part);
    if (!(flags & SELFLAG_TAKEFOCUS)) return S_FALSE;
    if (part->kind == PART_LINK) return focus_link(part->link) ? S_OK : S_FALSE;
    HWND control = control_of(part);
    if (part == &list->self && record(self)->window != main_window()) control = record(self)->window;
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return S_FALSE;
    SetFocus(control);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE acc_location(IAccessible* self, long* left, long* top, long* width, long* height,
                                              VARIANT id) {
    if (!left || !top || !width || !height) return E_POINTER;
    WITH_PART(self, id, part);
    RECT rect = screen_rect(record(self)->window, part);
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE acc_navigate(IAccessible* self, long direction, VARIANT start, VARIANT* end) {
    if (!end) return E_POINTER;
    VariantInit(end);
    PartList* list = scratch_list();
    if (!list_for(self, list)) return RPC_E_DISCONNECTED;
    if (start.vt != VT_I4) return E_INVALIDARG;
    long from = start.lVal, to = 0;
    if (from == CHILDID_SELF) {
        if (direction == NAVDIR_FIRSTCHILD) to = 1;
        else if (direction == NAVDIR_LASTCHILD) to = list->count;
        else return S_FALSE;  // the object's siblings are its parent's to tell
    } else {
        if (from < 1 || from > list->count) return E_INVALIDARG;
        if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) to = from + 1;
        else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) to = from - 1;
        else return S_FALSE;
    }
    if (to < 1 || to > list->count) return S_FALSE;
    *end = child_variant(to);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE acc_hit_test(IAccessible* self, long x, long y, VARIANT* hit) {
    if (!hit) return E_POINTER;
    VariantInit(hit);
    PartList* list = scratch_list();
    if (!list_for(self, list)) return RPC_E_DISCONNECTED;
    HWND window = record(self)->window;
    POINT point = {x, y};
    // Controls first: they lie above the painted texts.
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < list->count; i++) {
            const AccessiblePart* part = &list->parts[i];
            if ((part->kind == PART_CONTROL) != (pass == 0)) continue;
            RECT rect = screen_rect(window, part);
            if (PtInRect(&rect, point)) {
                *hit = child_variant(i + 1);
                return S_OK;
            }
        }
    }
    RECT whole = screen_rect(window, &list->self);
    if (!PtInRect(&whole, point)) return S_FALSE;
    *hit = child_variant(CHILDID_SELF);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE acc_do_default_action(IAccessible* self, VARIANT id) {
    WITH_PART(self, id, part);
    if (part->kind == PART_LINK) {
        PostMessageA(main_window(), WM_RUN_LINK, (WPARAM)part->link, 0);
        return S_OK;
    }
    HWND control = control_of(part);
    if (part == &list->self && part->kind == PART_CONTROL) control = record(self)->window;
    if (!control || part->role != ROLE_SYSTEM_PUSHBUTTON) return DISP_E_MEMBERNOTFOUND;
    if (!IsWindowVisible(control) || !IsWindowEnabled(control)) return S_FALSE;
    PostMessageA(control, BM_CLICK, 0, 0);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE put_acc_name(IAccessible*, VARIANT, BSTR) {
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE put_acc_value(IAccessible*, VARIANT, BSTR) {
    return E_NOTIMPL;
}

static IAccessibleVtbl ACCESSIBLE_FUNCTIONS = {
    query_interface,
    add_ref,
    release,
    get_type_info_count,
    get_type_info,
    get_ids_of_names,
    invoke,
    get_acc_parent,
    get_acc_child_count,
    get_acc_child,
    get_acc_name,
    get_acc_value,
    get_acc_description,
    get_acc_role,
    get_acc_state,
    get_acc_help,
    get_acc_help_topic,
    get_acc_keyboard_shortcut,
    get_acc_focus,
    get_acc_selection,
    get_acc_default_action,
    acc_select,
    acc_location,
    acc_navigate,
    acc_hit_test,
    acc_do_default_action,
    put_acc_name,
    put_acc_value,
};

// ---- the windows' side ----

bool answer_get_object(HWND window, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    if ((LONG)lparam != OBJID_CLIENT) return false;
    AccessibleObject* object = (AccessibleObject*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *object);
    if (!object) return false;
    object->iface.lpVtbl = &ACCESSIBLE_FUNCTIONS;
    object->references = 1;
    object->window = window;
    *result = LresultFromObject(IID_IAccessible, wparam, (IUnknown*)&object->iface);
    IAccessible_Release(&object->iface);
    return true;
}

static LRESULT CALLBACK button_procedure(HWND button, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                         DWORD_PTR) {
    if (message == WM_GETOBJECT) {
        LRESULT result = 0;
        if (answer_get_object(button, wparam, lparam, &result)) return result;
    }
    return DefSubclassProc(button, message, wparam, lparam);
}

void make_window_accessible(HWND window, HINSTANCE instance) {
    for (int i = 0; i < CONTROL_COUNT; i++) {
        HWND control = window_ui.controls[i];
        if (control && GetDlgCtrlID(control) != ID_FOLDER_EDIT) {
            SetWindowSubclass(control, button_procedure, BUTTON_SUBCLASS, 0);
        }
    }
    create_link_focus(window, instance);
}

bool accessibility_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    if (message == WM_GETOBJECT) return answer_get_object(window, wparam, lparam, result);
    if (message == WM_RUN_LINK) {
        if (window_hooks.link_action) window_hooks.link_action((int)wparam);
        *result = 0;
        return true;
    }
    if (message == WM_ACTIVATE && on_activate(window, wparam)) {
        *result = 0;
        return true;
    }
    if (message == WM_UPDATEUISTATE) {
        // The focus cues changed: the focused link's ring follows.
        *result = DefWindowProcA(window, message, wparam, lparam);
        if (focused_link()) InvalidateRect(window, nullptr, FALSE);
        return true;
    }
    return false;
}

// The child id of the first part of this kind (and link action) in the window's list; 0 if none.
static long part_id(int kind, int link) {
    static PartList own;  // not the readers' list: a focus change may come in the middle of their call
    PartList* list = &own;
    list_window_parts(main_window(), list);
    for (int i = 0; i < list->count; i++) {
        if (list->parts[i].kind == kind && (kind != PART_LINK || list->parts[i].link == link)) return i + 1;
    }
    return 0;
}

void announce_link_focus(int action) {
    long id = action ? part_id(PART_LINK, action) : 0;
    if (id) NotifyWinEvent(EVENT_OBJECT_FOCUS, main_window(), OBJID_CLIENT, id);
}

void announce_status_change() {
    HWND window = main_window();
    if (!window || window_ui.page != PAGE_MAIN) return;
    long status = part_id(PART_STATUS, 0);
    if (status) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, status);
    long bar = part_id(PART_PROGRESS, 0);
    if (!bar) return;
    int percent = progress_percent(update_done != 0, counter_read(&update_progress.done_bytes),
                                   counter_read(&update_progress.total_bytes));
    DWORD now = GetTickCount();
    bool due = announced.percent < 0 || now - announced.tick >= PROGRESS_EVENT_GAP_MS || percent == 100;
    if (percent == announced.percent || !due) return;
    announced.percent = percent;
    announced.tick = now;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, bar);
}
