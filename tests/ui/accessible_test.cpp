// What a screen reader finds in the window (its IAccessible tree, asked for as a reader does, through
// AccessibleObjectFromWindow) on every page in English and Spanish, what it can do there, the events
// it is told, and the painted links in the keyboard's reach: Tab, Enter, Space and the focus ring.
#include "ui_test_support.h"

#include <oleacc.h>

#include <string>
#include <vector>

#include "core/launcher_state.h"
#include "core/message_box.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/keyboard_focus.h"
#include "ui/links.h"
#include "ui/pages.h"
#include "ui/server_cards.h"
#include "ui/paint_pages.h"
#include "ui/status.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "uninstall/uninstall.h"
#include "updates/update_worker.h"
#include "web/web_lookups.h"

namespace {

std::vector<int> links_run;
void record_link(int action) { links_run.push_back(action); }

void press(UINT key) {
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    pump_messages(30);
}

std::string utf8(BSTR text) {
    if (!text) return "";
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out((size_t)(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    SysFreeString(text);
    return out;
}

// A Windows-1252 text of the program as a reader receives it (UTF-8 here, to compare).
std::string as_read(const char* text) {
    wchar_t wide[1000];
    int n = MultiByteToWideChar(1252, 0, text, -1, wide, 1000);
    char out[2000];
    WideCharToMultiByte(CP_UTF8, 0, wide, n, out, sizeof out, nullptr, nullptr);
    return out;
}

VARIANT child(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

const char* role_word(long role) {
    switch (role) {
        case ROLE_SYSTEM_STATICTEXT: return "text";
        case ROLE_SYSTEM_LINK: return "link";
        case ROLE_SYSTEM_PUSHBUTTON: return "button";
        case ROLE_SYSTEM_STATUSBAR: return "status";
        case ROLE_SYSTEM_PROGRESSBAR: return "progress";
        case ROLE_SYSTEM_CLIENT: return "client";
        default: return "other";
    }
}

// One element as a reader hears it: "role: name" and " = value" when it has one.
struct Element {
    std::string line;
    long state = 0;
    std::string action;
};

Element describe(IAccessible* object, long id) {
    Element e;
    BSTR text = nullptr;
    object->get_accName(child(id), &text);
    std::string name = utf8(text);
    VARIANT role;
    VariantInit(&role);
    object->get_accRole(child(id), &role);
    text = nullptr;
    object->get_accValue(child(id), &text);
    std::string value = utf8(text);
    e.line = std::string(role_word(role.vt == VT_I4 ? role.lVal : -1)) + ": " + name + (value.empty() ? "" : " = " + value);
    VARIANT state;
    VariantInit(&state);
    object->get_accState(child(id), &state);
    e.state = state.vt == VT_I4 ? state.lVal : 0;
    text = nullptr;
    object->get_accDefaultAction(child(id), &text);
    e.action = utf8(text);
    return e;
}

IAccessible* window_object(HWND window) {
    IAccessible* object = nullptr;
    AccessibleObjectFromWindow(window, (DWORD)OBJID_CLIENT, IID_IAccessible, (void**)&object);
    return object;
}

// The children of the window's client as a reader walks them: simple elements of the client, and
// child controls as their own objects (the edit box's is the system's, a stub under Wine).
std::vector<Element> walk(IAccessible* client) {
    std::vector<Element> out;
    long count = 0;
    client->get_accChildCount(&count);
    std::vector<VARIANT> children((size_t)count);
    long got = 0;
    if (count > 0) AccessibleChildren(client, 0, count, children.data(), &got);
    for (long i = 0; i < got; i++) {
        VARIANT& v = children[(size_t)i];
        if (v.vt == VT_I4) {
            out.push_back(describe(client, v.lVal));
        } else if (v.vt == VT_DISPATCH && v.pdispVal) {
            IAccessible* control = nullptr;
            v.pdispVal->QueryInterface(IID_IAccessible, (void**)&control);
            Element e = control ? describe(control, CHILDID_SELF) : Element{};
            long role = 0;
            VARIANT r;
            VariantInit(&r);
            if (control && control->get_accRole(child(CHILDID_SELF), &r) == S_OK && r.vt == VT_I4) role = r.lVal;
            if (role != ROLE_SYSTEM_PUSHBUTTON) e.line = "control";  // the system's object: not ours to check
            if (control) control->Release();
            v.pdispVal->Release();
            out.push_back(e);
        } else {
            out.push_back(Element{"?"});
        }
    }
    return out;
}

std::vector<std::string> lines(const std::vector<Element>& elements) {
    std::vector<std::string> out;
    for (const Element& e : elements) out.push_back(e.line);
    return out;
}

std::string joined(const std::vector<std::string>& v) {
    std::string all;
    for (const std::string& s : v) all += "\n  " + s;
    return all;
}

// The page states the table shows.
enum Scene { LOGIN, LOGIN_WAITING, SERVER, MAIN, MAIN_DOWNLOADING, TERMS, FOLDER };

void set_scene(Scene scene) {
    login_view = LoginView{};
    launcher.update_checked = false;
    update_done = 0;
    update_progress = UpdateProgress{};
    window_ui.folder_message[0] = 0;
    set_login_status("", false);
    switch (scene) {
        case LOGIN:
            show_page(PAGE_LOGIN);
            set_login_status(lookup_text("Please wait a moment and try again."), true);
            break;
        case LOGIN_WAITING:
            login_view.browser_waiting = true;
            copy_text(login_view.user_code, sizeof login_view.user_code, "QX7-4KD");
            show_page(PAGE_LOGIN);
            break;
        case SERVER: show_page(PAGE_SERVER); break;
        case MAIN:
            show_page(PAGE_MAIN);
            set_status_text("");
            break;
        case MAIN_DOWNLOADING:
            login_view.logged_in = true;
            login_view.not_you_offered = true;
            copy_text(login_view.display_name, sizeof login_view.display_name, "Nico");
            launcher.update_checked = true;
            update_progress.phase = PHASE_DOWNLOADING;
            update_progress.total_bytes = 100ull << 20;
            update_progress.done_bytes = 8ull << 20;
            show_page(PAGE_MAIN);
            set_status_text("Updating ZANDOR: 8 % (8 of 100 MB)");
            break;
        case TERMS: show_page(PAGE_TERMS); break;
        case FOLDER:
            show_page(PAGE_FOLDER);
            copy_text(window_ui.folder_message, sizeof window_ui.folder_message, "This folder does not exist: C:\\x");
            break;
    }
    take_shot();  // the links of a page exist once it is painted
}

std::string text(const char* kind, const char* source) {
    return std::string(kind) + ": " + as_read(lookup_text(source));
}

// Every page's expected children, in reading order, in the language of the run.
std::vector<std::string> expected_children(Scene scene) {
    std::string header = "text: ZANDOR";
    switch (scene) {
        case LOGIN:
            return {header, "text: LAUNCHER", text("text", "Log in"),
                    text("text", "ZANDOR accounts log in with Google. Your browser opens; sign in there, then come back here."),
                    text("text", "Please wait a moment and try again."), text("button", "Log in with Google"),
                    text("link", "No account yet? Make one"), text("link", "Need help?"),
                    text("text", "By logging in you accept the ZANDOR terms."), text("link", "Read the terms"),
                    text("link", "Uninstall ZANDOR")};
        case LOGIN_WAITING:
            return {header, "text: LAUNCHER", text("text", "Log in"),
                    text("text", "Your browser is open: sign in with Google there. The page shows this code - check that it is the same:"),
                    "text: QX7-4KD", text("text", "Waiting for your browser..."), text("link", "Open the page again"),
                    text("button", "Log in with Google"), text("link", "No account yet? Make one"),
                    text("link", "Need help?"), text("text", "By logging in you accept the ZANDOR terms."),
                    text("link", "Read the terms"), text("link", "Uninstall ZANDOR")};
        case SERVER:
            return {header, "text: LAUNCHER", text("text", "Where do you want to play?"),
                    text("button", "Play on the ZANDOR server"), text("button", "Play on any server"),
                    text("text", "Your game keeps the server it uses now. The ZANDOR extras (8-player rooms, the relay, bot "
                                 "takeover, the calm camera ...) still work there, and updates still come from ZANDOR."),
                    text("text", "You can change this later: \"Change server\" in this window.")};
        case MAIN:
            return {header, "text: LAUNCHER", text("text", "Not logged in"), text("text", "Server: not chosen yet"),
                    "status: ", text("button", "Change server"), text("button", "Log out"), text("button", "Play now"),
                    text("link", "Uninstall ZANDOR")};
        case MAIN_DOWNLOADING: {
            char account[100];
            format_text(account, sizeof account, lookup_text("Logged in as %s"), "Nico");
            return {header, "text: Nico", "text: " + as_read(account), text("text", "Server: not chosen yet"),
                    "status: Updating ZANDOR: 8 % (8 of 100 MB)", text("progress", "Update progress") + " = 8 %",
                    text("button", "Change server"), text("button", "Log out"), text("button", "Play now"),
                    text("link", "Uninstall ZANDOR"), text("link", "Not you? Log in with another account")};
        }
        case TERMS:
            return {header, "text: LAUNCHER", text("text", "New ZANDOR terms"),
                    text("text", "The ZANDOR terms have changed. New: match data. When you play with ZANDOR, your matches "
                                 "are recorded (match events, your controller inputs, the players' and the ball's "
                                 "positions, the results and the connection quality) and sent to the ZANDOR server, to "
                                 "find cheating and to train the ZANDOR bots. No files are taken from your PC. Please "
                                 "read the terms and accept them to go on."),
                    text("link", "Read the terms"), text("button", "Log out"), text("button", "I accept")};
        case FOLDER:
            return {header, "text: LAUNCHER", text("text", "Where is your PES6?"),
                    text("text", "ZANDOR did not find pes6.exe next to the launcher or in the usual folder (Program Files "
                                 "(x86)\\KONAMI\\Pro Evolution Soccer 6). Paste the folder where pes6.exe is (or the "
                                 "full path of pes6.exe), or click Browse... to find it."),
                    text("text", "PES6 folder:"), "control", text("button", "Browse..."),
                    "text: This folder does not exist: C:\\x", text("button", "Use this folder")};
    }
    return {};
}

const Scene ALL_SCENES[] = {LOGIN, LOGIN_WAITING, SERVER, MAIN, MAIN_DOWNLOADING, TERMS, FOLDER};

// The window made anew in a language (the controls take their captions when they are made).
void reopen_in(const char* language) {
    if (main_window()) DestroyWindow(main_window());
    pump_messages(20);
    forget_language();
    decide_language_from_value(language);
    open_window(GetModuleHandleA(nullptr), PAGE_MAIN);
    KillTimer(main_window(), TIMER_STATUS);
}

struct WinEvent {
    DWORD event;
    HWND window;
    LONG object, child;
};
std::vector<WinEvent> events;

void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window == main_window()) events.push_back({event, window, object, child});
}

}  // namespace

struct Accessible : WindowTest {
    void SetUp() override {
        WindowTest::SetUp();
        links_run.clear();
        window_hooks.link_action = record_link;
    }
    void TearDown() override {
        set_login_status("", false);
        window_ui.folder_message[0] = 0;
        WindowTest::TearDown();
    }
};

TEST_F(Accessible, EveryPageReadsAsItIsPaintedInEnglishAndSpanish) {
    for (const char* language : {"en", "es"}) {
        reopen_in(language);
        window_hooks.link_action = record_link;
        for (Scene scene : ALL_SCENES) {
            set_scene(scene);
            IAccessible* client = window_object(main_window());
            ASSERT_NE(client, nullptr) << "no object for the window";
            std::vector<Element> found = walk(client);
            EXPECT_EQ(lines(found), expected_children(scene))
                << language << " scene " << scene << ":" << joined(lines(found));
            for (const Element& e : found) {
                if (e.line.rfind("link: ", 0) == 0) {
                    EXPECT_EQ(e.action, as_read(lookup_text("click"))) << e.line;
                    EXPECT_TRUE(e.state & STATE_SYSTEM_FOCUSABLE) << e.line;
                    EXPECT_TRUE(e.state & STATE_SYSTEM_LINKED) << e.line;
                } else if (e.line.rfind("button: ", 0) == 0) {
                    EXPECT_EQ(e.action, as_read(lookup_text("press"))) << e.line;
                    EXPECT_TRUE(e.state & STATE_SYSTEM_FOCUSABLE) << e.line;
                }
            }
            client->Release();
        }
    }
    EXPECT_EQ(as_read(lookup_text("click")), "hacer clic");
    reopen_in("en");
}

// A server card is a button that says its texts: its caption is its name, the rest its children and
// its description.
TEST_F(Accessible, AServerCardIsAButtonWithItsTexts) {
    set_scene(SERVER);
    IAccessible* card = window_object(control_window(ID_SERVER_CARD));
    ASSERT_NE(card, nullptr);
    Element self = describe(card, CHILDID_SELF);
    EXPECT_EQ(self.line, "button: Play on the ZANDOR server");
    EXPECT_TRUE(self.state & STATE_SYSTEM_FOCUSED) << "the page gives the card the focus";
    std::vector<std::string> texts = lines(walk(card));
    // The players line is there once a count was read (an earlier test of this program may have).
    char players[120];
    bool counted = players_line(players_online_count(), players, sizeof players);
    std::vector<std::string> expected = {"text: RECOMMENDED"};
    if (counted) expected.push_back(std::string("text: ") + players);
    expected.push_back(
        "text: Your game connects to the ZANDOR server. Rooms, 8-player matches and updates all come from ZANDOR.");
    EXPECT_EQ(texts, expected);
    BSTR description = nullptr;
    card->get_accDescription(child(CHILDID_SELF), &description);
    EXPECT_EQ(utf8(description), std::string("RECOMMENDED ") + (counted ? std::string(players) + " " : "") +
                                     "Your game connects to the ZANDOR server. Rooms, 8-player matches and updates all "
                                     "come from ZANDOR.");
    IDispatch* parent = nullptr;
    ASSERT_EQ(card->get_accParent(&parent), S_OK);
    IAccessible* client = nullptr;
    parent->QueryInterface(IID_IAccessible, (void**)&client);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(describe(client, CHILDID_SELF).line, "client: ZANDOR Launcher");
    client->Release();
    parent->Release();
    card->Release();

    IAccessible* other = window_object(control_window(ID_ANY_SERVER));
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(lines(walk(other)), std::vector<std::string>{"text: " + as_read(ANY_SERVER_SUBTITLE)});
    other->Release();
}

// A disabled button says so; hit testing and locations match what is painted; the reader's "click"
// acts as the player's.
TEST_F(Accessible, AReaderFindsAndActsOnWhatIsPainted) {
    set_scene(MAIN);
    IAccessible* client = window_object(main_window());
    ASSERT_NE(client, nullptr);
    std::vector<Element> found = walk(client);
    long uninstall = 0, play_now = 0;
    for (size_t i = 0; i < found.size(); i++) {
        if (found[i].line == "link: Uninstall ZANDOR") uninstall = (long)i + 1;
        if (found[i].line == "button: Play now") play_now = (long)i + 1;
    }
    ASSERT_GT(uninstall, 0);
    ASSERT_GT(play_now, 0);

    RECT painted = window_ui.links[0].rect;
    MapWindowPoints(main_window(), nullptr, (POINT*)&painted, 2);
    long x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(client->accLocation(&x, &y, &w, &h, child(uninstall)), S_OK);
    EXPECT_EQ(x, painted.left);
    EXPECT_EQ(y, painted.top);
    EXPECT_EQ(w, painted.right - painted.left);
    VARIANT hit;
    VariantInit(&hit);
    ASSERT_EQ(client->accHitTest((painted.left + painted.right) / 2, (painted.top + painted.bottom) / 2, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, uninstall);
    RECT button = control_rect(ID_PLAY_NOW);
    MapWindowPoints(main_window(), nullptr, (POINT*)&button, 2);
    ASSERT_EQ(client->accHitTest(button.left + 3, button.top + 3, &hit), S_OK);
    EXPECT_EQ(hit.lVal, play_now);

    // The reader's default action on the link runs it from the message loop, as a click does.
    EXPECT_EQ(client->accDoDefaultAction(child(uninstall)), S_OK);
    EXPECT_TRUE(links_run.empty()) << "not inside the reader's call";
    pump_messages(50);
    EXPECT_EQ(links_run, std::vector<int>{LINK_UNINSTALL});

    // A button's default action presses it; a disabled one says so and does nothing.
    IAccessible* play = window_object(control_window(ID_PLAY_NOW));
    ASSERT_NE(play, nullptr);
    EnableWindow(control_window(ID_CHANGE_SERVER), FALSE);
    IAccessible* change = window_object(control_window(ID_CHANGE_SERVER));
    ASSERT_NE(change, nullptr);
    EXPECT_TRUE(describe(change, CHILDID_SELF).state & STATE_SYSTEM_UNAVAILABLE);
    change->accDoDefaultAction(child(CHILDID_SELF));
    pump_messages(50);
    EXPECT_EQ(window_ui.page, PAGE_MAIN);
    EnableWindow(control_window(ID_CHANGE_SERVER), TRUE);
    EXPECT_FALSE(describe(change, CHILDID_SELF).state & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(change->accDoDefaultAction(child(CHILDID_SELF)), S_OK);
    pump_messages(50);
    EXPECT_EQ(window_ui.page, PAGE_SERVER);
    change->Release();
    play->Release();
    client->Release();
}

// Tab goes over the buttons, then over the painted links in the order they are read; Enter and
// Space on a link act as a click; the page's first control follows the last link.
TEST_F(Accessible, TabReachesEveryLinkAfterTheButtonsAndEnterOrSpaceActsOnIt) {
    set_scene(LOGIN);
    ASSERT_EQ(GetDlgCtrlID(GetFocus()), ID_LOGIN);
    std::vector<int> reached;
    for (int i = 0; i < 5; i++) {
        press(VK_TAB);
        reached.push_back(GetFocus() == link_focus_window() ? focused_link() : -GetDlgCtrlID(GetFocus()));
    }
    std::vector<int> expected = {LINK_SIGNUP, LINK_HELP, LINK_TERMS, LINK_UNINSTALL, -ID_LOGIN};
    EXPECT_EQ(reached, expected);

    press(VK_TAB);
    press(VK_TAB);  // "Need help?"
    press(VK_RETURN);
    press(VK_TAB);  // "Read the terms"
    press(VK_SPACE);
    EXPECT_EQ(links_run, (std::vector<int>{LINK_HELP, LINK_TERMS}));
    EXPECT_EQ(window_ui.page, PAGE_LOGIN) << "Enter on a link is not the page's Enter";

    // The main page: "Play now" has the focus; Tab goes to the links, then round to "Change server".
    set_scene(MAIN_DOWNLOADING);
    reached.clear();
    for (int i = 0; i < 3; i++) {
        press(VK_TAB);
        reached.push_back(GetFocus() == link_focus_window() ? focused_link() : -GetDlgCtrlID(GetFocus()));
    }
    expected = {LINK_UNINSTALL, LINK_NOT_YOU, -ID_CHANGE_SERVER};
    EXPECT_EQ(reached, expected);

    // Pages without links keep Tab on their controls.
    set_scene(SERVER);
    press(VK_TAB);
    press(VK_TAB);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), ID_SERVER_CARD);
}

// Leaving the window for another program and coming back gives the keyboard focus back where it was,
// on a link as on a button, not to the window itself.
TEST_F(Accessible, TheFocusComesBackWhereItWasWhenTheWindowIsActiveAgain) {
    set_scene(LOGIN);
    HWND window = main_window();
    auto leave_and_return = [&]() {
        SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
        SetFocus(nullptr);
        pump_messages(20);
        SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
        pump_messages(20);
    };
    press(VK_TAB);
    press(VK_TAB);
    ASSERT_EQ(focused_link(), LINK_HELP);
    leave_and_return();
    EXPECT_EQ(GetFocus(), link_focus_window());
    EXPECT_EQ(focused_link(), LINK_HELP);

    SetFocus(control_window(ID_LOGIN));
    leave_and_return();
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), ID_LOGIN);
}

// The keyboard's whole road to the uninstall question, with the real link action: Tab to
// "Uninstall ZANDOR", Enter, the question is asked; No leaves the window as it was.
namespace {
std::vector<std::string> questions;
int answer_no(void*, const char* text, unsigned) {
    questions.push_back(text);
    return IDNO;
}
}  // namespace

TEST_F(Accessible, TabToUninstallAndEnterAsksTheQuestion) {
    window_hooks.link_action = run_link_action;
    uninstall_attach();
    questions.clear();
    set_message_box_answer(answer_no);
    set_scene(MAIN);
    press(VK_TAB);
    ASSERT_EQ(focused_link(), LINK_UNINSTALL);
    press(VK_RETURN);
    set_message_box_answer(nullptr);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].rfind("This removes everything ZANDOR put on this PC:", 0), 0u) << questions[0];
    EXPECT_NE(main_window(), nullptr) << "declined: the window stays";
    EXPECT_FALSE(launcher.start_step_taken);
}

// The focus ring shows around the focused link only; once the focus leaves, the page is as before.
TEST_F(Accessible, TheFocusRingShowsOnlyWhileALinkHasTheKeyboardFocus) {
    set_scene(LOGIN);
    Shot before = take_shot();
    RECT link = window_ui.links[0].rect;  // "No account yet? ..."
    press(VK_TAB);
    ASSERT_EQ(focused_link(), LINK_SIGNUP);
    Shot ringed = take_shot();
    int changed = 0;
    for (int y = link.top - scale(2); y < link.bottom + scale(2); y++) {
        for (int x = link.left - scale(3); x < link.right + scale(3); x++) changed += ringed.at(x, y) != before.at(x, y);
    }
    EXPECT_GT(changed, (link.right - link.left) / 2) << "a ring round the link";
    int outside = 0;
    for (int y = 0; y < before.height; y++) {
        for (int x = 0; x < before.width; x++) {
            bool by_link = x >= link.left - scale(4) && x < link.right + scale(4) && y >= link.top - scale(3) &&
                        y < link.bottom + scale(3);
            if (!by_link) outside += ringed.at(x, y) != before.at(x, y) && !(y > scale(300) && y < scale(370) && x > scale(330));
        }
    }
    EXPECT_EQ(outside, 0) << "only the ring (and the button that lost the focus) changed";

    SetFocus(control_window(ID_LOGIN));
    Shot after = take_shot();
    int differ = 0;
    for (size_t i = 0; i < before.pixels.size(); i++) differ += after.pixels[i] != before.pixels[i];
    EXPECT_EQ(differ, 0) << "the focus back on the button: the page as before";
}

// The reader is told when the keyboard focus moves between links, when the status line changes and
// when the progress moves (at most twice a second).
TEST_F(Accessible, ReadersAreToldOfFocusStatusAndProgress) {
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, on_event,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    set_scene(MAIN_DOWNLOADING);
    pump_messages(50);
    events.clear();
    press(VK_TAB);
    press(VK_TAB);
    pump_messages(50);
    IAccessible* client = window_object(main_window());
    ASSERT_NE(client, nullptr);
    std::vector<Element> found = walk(client);
    auto id_of = [&](const std::string& line) {
        for (size_t i = 0; i < found.size(); i++) {
            if (found[i].line.rfind(line, 0) == 0) return (long)i + 1;
        }
        return 0L;
    };
    std::vector<long> focus_ids;
    for (const WinEvent& e : events) {
        if (e.event == EVENT_OBJECT_FOCUS && e.object == OBJID_CLIENT) focus_ids.push_back(e.child);
    }
    EXPECT_EQ(focus_ids, (std::vector<long>{id_of("link: Uninstall ZANDOR"), id_of("link: Not you?")}));
    VARIANT focus;
    VariantInit(&focus);
    ASSERT_EQ(client->get_accFocus(&focus), S_OK);
    EXPECT_EQ(focus.lVal, id_of("link: Not you?"));

    events.clear();
    update_progress.done_bytes = 9ull << 20;
    set_status_text("Updating ZANDOR: 9 % (9 of 100 MB)");
    update_progress.done_bytes = 10ull << 20;
    set_status_text("Updating ZANDOR: 10 % (10 of 100 MB)");  // too soon for another value change
    update_done = 1;
    set_status_text("ZANDOR is up to date");  // the end is always told
    pump_messages(50);
    int names = 0, values = 0;
    for (const WinEvent& e : events) {
        if (e.event == EVENT_OBJECT_NAMECHANGE && e.child == id_of("status: ")) names++;
        if (e.event == EVENT_OBJECT_VALUECHANGE && e.child == id_of("progress: ")) values++;
    }
    EXPECT_EQ(names, 3);
    EXPECT_EQ(values, 2);
    BSTR value = nullptr;
    client->get_accValue(child(id_of("progress: ")), &value);
    EXPECT_EQ(utf8(value), "100 %");
    client->Release();
    UnhookWinEvent(hook);
}
