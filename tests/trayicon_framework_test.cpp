// The framework pieces the main form and the tray icon stand on: forms, labels, timers
// and pop-up menus.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "application.h"
#include "exception.h"
#include "form.h"
#include "label.h"
#include "menu.h"
#include "pump.h"
#include "shown_exceptions.h"
#include "timer.h"
#include "trayicon_probe.h"

namespace {

using namespace winapp;
using testsupport::PumpFor;
using testsupport::PumpUntil;

// A form built the way the program builds its own: properties set while loading, then
// the creation finished. It is owned by the application, as real forms are.
struct FormDeleter {
    void operator()(TForm* form) const { TComponent::Free(form); }
};
using FormPtr = std::unique_ptr<TForm, FormDeleter>;

FormPtr NewStrip(bool visible = true) {
    FormPtr form(new TForm(Application));
    form->SetBorderStyle(TFormBorderStyle::bsNone);
    form->SetClientWidth(121);
    form->SetClientHeight(13);
    form->SetLeft(420);
    form->SetTop(479);
    form->SetPosition(TPosition::poScreenCenter);
    form->SetFormStyle(TFormStyle::fsStayOnTop);
    form->SetVisible(visible);
    return form;
}

RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

TEST(Form, AFormRecordedVisibleWhileLoadingShowsOnlyAfterItsCreateHandler) {
    FormPtr form = NewStrip();
    bool visibleDuringCreate = true;
    form->OnCreate = [&](TObject*) {
        visibleDuringCreate = form->Handle() != nullptr && IsWindowVisible(form->Handle());
    };
    EXPECT_EQ(form->Handle(), nullptr) << "nothing is shown while loading";
    form->AfterConstruction();
    EXPECT_FALSE(visibleDuringCreate);
    ASSERT_NE(form->Handle(), nullptr);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(form->Visible());
}

TEST(Form, AnExceptionInTheCreateHandlerIsShownAndTheFormStillShows) {
    testsupport::ShownExceptions().clear();
    FormPtr form = NewStrip();
    form->OnCreate = [](TObject*) { throw Exception("Address already in use"); };
    form->AfterConstruction();
    ASSERT_EQ(testsupport::ShownExceptions().size(), 1u);
    EXPECT_EQ(testsupport::ShownExceptions()[0], "Address already in use");
    ASSERT_NE(form->Handle(), nullptr);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST(Form, ABorderlessStayOnTopStripIsCentredTopmostAndOwnedByTheApplicationWindow) {
    FormPtr form = NewStrip();
    form->AfterConstruction();
    HWND window = form->Handle();
    const RECT r = WindowRect(window);
    EXPECT_EQ(r.right - r.left, 121);
    EXPECT_EQ(r.bottom - r.top, 13);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 121) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 13) / 2);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_NE(style & WS_POPUP, 0);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindow(window, GW_OWNER), Application->Handle());
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 121);
    EXPECT_EQ(client.bottom, 13);
}

TEST(Form, OnlyTheFirstShowingCentresTheWindow) {
    FormPtr form = NewStrip();
    form->AfterConstruction();
    form->SetVisible(false);
    form->SetLeft(10);
    form->SetTop(20);
    form->SetVisible(true);
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
}

TEST(Form, ASizeableFormGetsItsClientSizeInsideItsFrame) {
    FormPtr form(new TForm(Application));
    form->SetClientWidth(200);
    form->SetClientHeight(100);
    form->SetVisible(true);
    form->AfterConstruction();
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
    EXPECT_NE(GetWindowLongPtrA(form->Handle(), GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_EQ(GetWindowLongPtrA(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST(Form, TheApplicationWindowIsShownWhileAnyFormIsVisible) {
    HWND application = Application->Handle();
    EXPECT_FALSE(IsWindowVisible(application));
    FormPtr first = NewStrip();
    first->AfterConstruction();
    EXPECT_TRUE(IsWindowVisible(application));
    FormPtr second = NewStrip();
    second->AfterConstruction();
    first->SetVisible(false);
    EXPECT_TRUE(IsWindowVisible(application)) << "the second form is still shown";
    second.reset();
    EXPECT_FALSE(IsWindowVisible(application));
}

TEST(Form, CloseRunsTheCloseHandlerAndHidesAFormThatIsNotTheMainForm) {
    struct Case {
        TCloseAction setByHandler;
        bool visibleAfter;
    } cases[] = {{TCloseAction::caHide, false}, {TCloseAction::caNone, true}};
    for (const Case& c : cases) {
        FormPtr form = NewStrip();
        int calls = 0;
        TCloseAction given = TCloseAction::caNone;
        form->OnClose = [&](TObject* sender, TCloseAction& action) {
            ++calls;
            given = action;
            action = c.setByHandler;
            EXPECT_EQ(sender, form.get());
        };
        form->AfterConstruction();
        SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(given, TCloseAction::caHide) << "the action starts as hide";
        EXPECT_EQ(IsWindowVisible(form->Handle()) != FALSE, c.visibleAfter);
        EXPECT_FALSE(Application->Terminated());
    }
}

TEST(Form, AMaximisedFormFillsTheScreenAndKeepsItsNormalBounds) {
    FormPtr form = NewStrip();
    form->AfterConstruction();
    form->SetWindowState(TWindowState::wsMaximized);
    EXPECT_TRUE(IsZoomed(form->Handle()));
    const RECT r = WindowRect(form->Handle());
    EXPECT_GE(r.right - r.left, GetSystemMetrics(SM_CXSCREEN) / 2);
    form->SetWindowState(TWindowState::wsNormal);
    const RECT normal = WindowRect(form->Handle());
    EXPECT_EQ(normal.right - normal.left, 121);
}

// The extent of the pixels that differ from the background, in client coordinates.
struct Ink {
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
    bool Empty() const { return right < 0; }
};

Ink InkOf(HWND window, int width, int height, COLORREF background) {
    PumpFor(100);
    UpdateWindow(window);
    // One copy of the client area into memory: reading pixel by pixel from the window
    // would cross to the display for every pixel.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t backgroundPixel = (static_cast<uint32_t>(GetRValue(background)) << 16) |
                                     (static_cast<uint32_t>(GetGValue(background)) << 8) |
                                     GetBValue(background);
    Ink ink;
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((pixels[y * width + x] & 0xFFFFFFu) == backgroundPixel)
                continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    SelectObject(memoryDc, previous);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return ink;
}

TEST(Label, TheCaptionIsDrawnCentredOverTheFormColourAndBoldIsWider) {
    FormPtr form = NewStrip();
    form->SetClientWidth(200);
    form->SetClientHeight(20);
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    label->SetAutoSize(false);
    label->SetBounds(0, 0, 200, 20);
    label->SetAlignment(TAlignment::taCenter);
    label->SetCaption("Holvik Quendra");
    form->AfterConstruction();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);

    const Ink regular = InkOf(form->Handle(), 200, 20, face);
    ASSERT_FALSE(regular.Empty()) << "the caption is drawn";
    const int leftMargin = regular.left;
    const int rightMargin = 199 - regular.right;
    // Glyph side bearings leave the ink a few pixels off the exact middle.
    EXPECT_LE(std::abs(leftMargin - rightMargin), 4) << leftMargin << " / " << rightMargin;
    EXPECT_GT(leftMargin, 20);

    TFont bold = form->Font();
    bold.SetBold(true);
    label->SetFont(bold);
    const Ink heavy = InkOf(form->Handle(), 200, 20, face);
    EXPECT_GT(heavy.right - heavy.left, regular.right - regular.left);

    label->SetAlignment(TAlignment::taLeftJustify);
    EXPECT_LE(InkOf(form->Handle(), 200, 20, face).left, 2);
}

TEST(Label, AnAutoSizedLabelFollowsItsCaptionAndAFixedOneKeepsItsBounds) {
    FormPtr form = NewStrip();
    auto* sized = new TLabel(form.get());
    sized->SetParent(form.get());
    sized->SetCaption("Holvik Quendra");
    const int width = sized->Width();
    EXPECT_GT(width, 20);
    EXPECT_GT(sized->Height(), 5);
    sized->SetCaption("Holvik Quendra Holvik Quendra");
    EXPECT_GT(sized->Width(), width);

    auto* fixed = new TLabel(form.get());
    fixed->SetParent(form.get());
    fixed->SetAutoSize(false);
    fixed->SetBounds(0, 0, 121, 13);
    fixed->SetCaption("a much longer caption than the label can hold");
    EXPECT_EQ(fixed->Width(), 121);
    EXPECT_EQ(fixed->Height(), 13);
}

TEST(Label, ALabelTakesItsParentsFontUntilGivenItsOwn) {
    FormPtr form = NewStrip();
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    EXPECT_TRUE(label->ParentFont());
    EXPECT_EQ(label->Font().Name(), "MS Sans Serif");
    EXPECT_EQ(label->Font().Height(), -11);
    EXPECT_FALSE(label->Font().Bold());
    TFont bold = form->Font();
    bold.SetBold(true);
    label->SetFont(bold);
    EXPECT_FALSE(label->ParentFont());
    EXPECT_TRUE(label->Font().Bold());
    EXPECT_FALSE(form->Font().Bold()) << "the form keeps its own font";
}

TEST(Label, FreeingTheFormFreesTheLabelsPlacedOnIt) {
    FormPtr form = NewStrip();
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    ASSERT_EQ(form->Controls().size(), 1u);
    TComponent::Free(label);
    EXPECT_TRUE(form->Controls().empty());
    EXPECT_TRUE(form->Components().empty());
}

TEST(Timer, TicksArriveOnlyWhileEnabledWithAnIntervalAndAHandler) {
    struct Case {
        const char* name;
        bool enabled;
        UINT interval;
        bool handler;
        bool ticks;
    } cases[] = {
        {"all set", true, 30, true, true},
        {"disabled", false, 30, true, false},
        {"zero interval", true, 0, true, false},
        {"no handler", true, 30, false, false},
    };
    for (const Case& c : cases) {
        int ticks = 0;
        TTimer timer(nullptr);
        timer.SetEnabled(c.enabled);
        timer.SetInterval(c.interval);
        if (c.handler)
            timer.SetOnTimer([&](TObject* sender) {
                ++ticks;
                EXPECT_EQ(sender, &timer);
            });
        EXPECT_EQ(timer.Armed(), c.ticks) << c.name;
        PumpUntil([&] { return ticks >= 2; }, 400);
        EXPECT_EQ(ticks >= 2, c.ticks) << c.name;
    }
}

TEST(Timer, SwitchingOffInsideTheHandlerStopsTheTicks) {
    int ticks = 0;
    TTimer timer(nullptr);
    timer.SetInterval(20);
    timer.SetOnTimer([&](TObject*) {
        ++ticks;
        timer.SetEnabled(false);
    });
    ASSERT_TRUE(PumpUntil([&] { return ticks == 1; }, 2000));
    PumpFor(200);
    EXPECT_EQ(ticks, 1);
}

TEST(Timer, TheIntervalCountsFromWhenTheTimerIsArmed) {
    DWORD firstTick = 0;
    TTimer timer(nullptr);
    timer.SetInterval(300);
    const DWORD armed = GetTickCount();
    timer.SetOnTimer([&](TObject*) {
        if (firstTick == 0)
            firstTick = GetTickCount();
    });
    ASSERT_TRUE(PumpUntil([&] { return firstTick != 0; }, 3000));
    EXPECT_GE(firstTick - armed, 250u);
    EXPECT_LT(firstTick - armed, 1500u);
}

TEST(Timer, AnExceptionFromTheHandlerIsShownAndTheTimerGoesOn) {
    testsupport::ShownExceptions().clear();
    int ticks = 0;
    TTimer timer(nullptr);
    timer.SetInterval(20);
    timer.SetOnTimer([&](TObject*) {
        ++ticks;
        throw Exception("tick failed");
    });
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }, 2000));
    ASSERT_GE(testsupport::ShownExceptions().size(), 2u);
    EXPECT_EQ(testsupport::ShownExceptions()[0], "tick failed");
}

// A menu of items owned by one holder, as a form owns them.
struct TestMenu {
    TComponent owner{nullptr};
    TPopupMenu* menu = new TPopupMenu(&owner);
    std::vector<std::string> clicks;

    TMenuItem* Add(const std::string& caption, bool isDefault = false) {
        auto* item = new TMenuItem(&owner);
        item->SetCaption(caption);
        item->SetDefault(isDefault);
        item->OnClick = [this, caption](TObject*) { clicks.push_back(caption); };
        menu->Items().Add(item);
        return item;
    }
};

TEST(PopupMenu, OpensAtThePointWithItsItemsAndTheFirstDefaultItem) {
    TestMenu m;
    m.Add("Open");
    m.Add("Exit", true);
    m.Add("Later default", true);
    testsupport::TOpenMenu seen;
    testsupport::ProbeNextMenu(seen);
    m.menu->Popup(100, 120);
    ASSERT_TRUE(seen.Seen);
    EXPECT_EQ(seen.Rect.left, 100);
    EXPECT_EQ(seen.Rect.top, 120);
    const std::vector<std::string> captions = {"Open", "Exit", "Later default"};
    EXPECT_EQ(seen.Captions, captions);
    EXPECT_EQ(seen.DefaultIndex, 1);
    PumpFor(100);
    EXPECT_TRUE(m.clicks.empty()) << "a closed menu runs nothing";
}

TEST(PopupMenu, AChosenItemRunsFromTheMessageLoopAfterTheMenuHasClosed) {
    TestMenu m;
    m.Add("Open");
    m.Add("Exit");
    testsupport::TOpenMenu seen;
    testsupport::ProbeNextMenu(seen, [](HWND menu) { testsupport::ChooseMenuItem(menu, 1); });
    m.menu->Popup(50, 50);
    ASSERT_TRUE(seen.Seen);
    EXPECT_TRUE(m.clicks.empty()) << "nothing runs inside the menu's own loop";
    ASSERT_TRUE(PumpUntil([&] { return !m.clicks.empty(); }, 3000));
    EXPECT_EQ(m.clicks, std::vector<std::string>{"Exit"});
}

TEST(PopupMenu, AnItemThatIsFreedLeavesTheMenuAndItsCommandDoesNothing) {
    TestMenu m;
    m.Add("Open");
    TMenuItem* exit = m.Add("Exit");
    const WORD command = exit->Command();
    TComponent::Free(exit);
    EXPECT_EQ(m.menu->Items().Count(), 1);
    PostMessageA(m.menu->Handle(), WM_COMMAND, command, 0);
    PumpFor(100);
    EXPECT_TRUE(m.clicks.empty());
}

TEST(PopupMenu, ItemsHaveDistinctCommands) {
    TestMenu m;
    const WORD first = m.Add("a")->Command();
    const WORD second = m.Add("b")->Command();
    EXPECT_NE(first, 0);
    EXPECT_NE(first, second);
    PostMessageA(m.menu->Handle(), WM_COMMAND, second, 0);
    ASSERT_TRUE(PumpUntil([&] { return !m.clicks.empty(); }, 1000));
    EXPECT_EQ(m.clicks, std::vector<std::string>{"b"});
}

} // namespace
