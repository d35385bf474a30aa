// The message box's one-at-a-time rule: a caller on another thread waits until the open box
// has been answered; a box opened from inside another on the same thread goes ahead. The
// answer Esc gives in every kind of box the program raises, and the whole of every text.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/job.h"
#include "engine/messages.h"
#include "keys/analyser.h"
#include "keys/keystore.h"
#include "resource.h"
#include "ui/message_win.h"

namespace {

struct Shown {
    HWND box;
    std::string text;
};

// Collects the visible boxes of this process (a named callback: a lambda is not CALLBACK on
// 32-bit Windows).
BOOL CALLBACK collectBox(HWND w, LPARAM p) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char text[256] = "";
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && GetDlgItem(w, IDE_MESSAGE_TEXT)) {
        GetDlgItemTextA(w, IDE_MESSAGE_TEXT, text, sizeof text);
        reinterpret_cast<std::vector<Shown>*>(p)->push_back({w, text});
    }
    return TRUE;
}

// The visible boxes of this process, with their texts.
std::vector<Shown> openBoxes() {
    std::vector<Shown> boxes;
    EnumWindows(collectBox, LPARAM(&boxes));
    return boxes;
}

bool waitFor(const std::function<bool()>& check) {
    for (int i = 0; i < 400; ++i) {
        if (check()) {
            return true;
        }
        Sleep(25);
    }
    return false;
}

HWND boxWithText(const std::string& text) {
    for (const Shown& s : openBoxes()) {
        if (s.text == text) {
            return s.box;
        }
    }
    return nullptr;
}

TEST(MessageBoxGuard, ACallerOnAnotherThreadWaitsForTheOpenBox) {
    std::atomic<int> first{0}, second{0};
    std::thread a([&] {
        first = int(showMessage(nullptr, MessageRequest{"first", "OK", "No", 0, AnswerYes}));
    });
    ASSERT_TRUE(waitFor([] { return boxWithText("first") != nullptr; }));
    std::thread b([&] {
        second = int(showMessage(nullptr, MessageRequest{"second", "OK", "No", 1, AnswerYes}));
    });
    Sleep(500);
    EXPECT_EQ(openBoxes().size(), 1u) << "the second box opened while the first was open";
    EXPECT_TRUE(messageBoxOpen());

    PostMessageA(GetDlgItem(boxWithText("first"), IDB_MESSAGE_YES), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitFor([] { return boxWithText("second") != nullptr; }));
    EXPECT_EQ(openBoxes().size(), 1u);
    PostMessageA(GetDlgItem(boxWithText("second"), IDB_MESSAGE_NO), BM_CLICK, 0, 0);
    a.join();
    b.join();
    EXPECT_EQ(first, int(AnswerYes));
    EXPECT_EQ(second, int(AnswerNo));
    EXPECT_FALSE(messageBoxOpen());
}

std::atomic<int> gNestedAnswer{0};

void CALLBACK openNestedBox(HWND, UINT, UINT_PTR timer, DWORD) {
    // Inside the outer box's loop means once that box shows: until then the next tick asks again.
    if (!boxWithText("outer")) {
        return;
    }
    KillTimer(nullptr, timer);
    gNestedAnswer = int(showMessage(nullptr, MessageRequest{"nested", "OK", "No", 0, AnswerYes}));
}

TEST(MessageBoxGuard, ABoxOpenedInsideAnotherOnTheSameThreadDoesNotWait) {
    std::atomic<int> outer{0};
    gNestedAnswer = 0;
    std::thread a([&] {
        // A timer that fires inside the first box's message loop, as a job's report can.
        SetTimer(nullptr, 0, 200, openNestedBox);
        outer = int(showMessage(nullptr, MessageRequest{"outer", "OK", "No", 0, AnswerYes}));
    });
    ASSERT_TRUE(waitFor([] { return boxWithText("nested") != nullptr; })) << "the nested box never opened";
    EXPECT_TRUE(boxWithText("outer") != nullptr);
    PostMessageA(GetDlgItem(boxWithText("nested"), IDB_MESSAGE_NO), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitFor([] { return gNestedAnswer != 0; }));
    PostMessageA(GetDlgItem(boxWithText("outer"), IDB_MESSAGE_YES), BM_CLICK, 0, 0);
    a.join();
    EXPECT_EQ(gNestedAnswer, int(AnswerNo));
    EXPECT_EQ(outer, int(AnswerYes));
}

// Esc, and Enter on the button that has the focus when the box opens, leave data and program
// as they are: "OK" where the other button quits or opens the ReadMe, the lower button where
// the upper one acts. The caption pairs are the program's own.
TEST(MessageBoxEscape, GivesTheHarmlessAnswerInEveryKindOfBox) {
    struct Kind {
        const char* yes;
        const char* no;
        MessageAnswer escape;
    };
    const Kind kinds[] = {
        {kOk, kQuit, AnswerYes},                            // errors
        {kOk, kOpenReadMe, AnswerYes},                      // advice
        {kKeyStoreAdviceYes, kKeyStoreAdviceNo, AnswerYes}, // the KeyStore's advice
        {kOverwrite, kAbortXor, AnswerNo},                  // keeps the existing output
        {kKeyStoreSetUpYes, kKeyStoreSetUpNo, AnswerNo},    // leaves the pad file where it is
        {kKeyStoreDrawYes, kKeyStoreDrawNo, AnswerNo},      // draws nothing from the store
    };
    for (const Kind& kind : kinds) {
        for (WPARAM key : {WPARAM(VK_ESCAPE), WPARAM(VK_RETURN)}) {
            SCOPED_TRACE(std::string(kind.yes) + " / " + kind.no + (key == VK_ESCAPE ? ", Esc" : ", Enter"));
            std::atomic<int> answer{0};
            std::atomic<DWORD> thread{0};
            std::thread shown([&] {
                thread = GetCurrentThreadId();
                answer =
                    int(showMessage(nullptr, MessageRequest{"escape", kind.yes, kind.no, 0, kind.escape}));
            });
            ASSERT_TRUE(waitFor([] { return boxWithText("escape") != nullptr; }));
            // The key goes where the keyboard's would: to the focused button.
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            ASSERT_TRUE(GetGUIThreadInfo(thread, &gui) && gui.hwndFocus);
            PostMessageA(gui.hwndFocus, WM_KEYDOWN, key, 0);
            shown.join();
            EXPECT_EQ(answer, int(kind.escape));
        }
    }
}

// Every character of the text within the field's visible area: the first line at the top and
// the last line above the bottom. Only a box as tall as the screen may scroll instead.
bool wholeTextShown(HWND box, std::string& why) {
    HWND text = GetDlgItem(box, IDE_MESSAGE_TEXT);
    HDC dc = GetDC(text);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(text, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
    RECT client;
    GetClientRect(text, &client);
    int length = GetWindowTextLengthW(text);
    LRESULT last = SendMessageW(text, EM_POSFROMCHAR, WPARAM(length - 1), 0);
    int bottom = short(HIWORD(last)) + metrics.tmHeight;
    bool fits = SendMessageW(text, EM_GETFIRSTVISIBLELINE, 0, 0) == 0 && bottom <= client.bottom;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT frame;
    GetWindowRect(box, &frame);
    bool fullScreen = frame.bottom - frame.top >= monitor.rcWork.bottom - monitor.rcWork.top;
    bool scrolls = (GetWindowLongPtrW(text, GWL_STYLE) & WS_VSCROLL) != 0;
    why = "last line ends at " + std::to_string(bottom) + " of " + std::to_string(client.bottom) +
          (scrolls ? ", scrolling" : "") + (fullScreen ? ", as tall as the screen" : "");
    return fits || (scrolls && fullScreen);
}

// The longest texts the program shows, in the font each is shown in, at 96 DPI and after the box
// moved to a 192-DPI screen (its fonts double, its layout stays).
TEST(MessageBoxText, TheLongestTextsAreShownWhole) {
    const std::string longPath = "C:\\" + std::string(1000, 'p') + "\\report.txt";
    char readError[kMessageCapacity];
    composeReadError(longPath.c_str(), readError, sizeof readError);
    char keyFileExists[kMessageCapacity];
    composeAroundPath(kKeyFileExistsLead, longPath.c_str(), kKeyFileExistsTail, keyFileExists,
                      sizeof keyFileExists);
    char pending[kMessageCapacity];
    composeAroundPath(kKeyStoreFileLead, longPath.c_str(), kPendingTail, pending, sizeof pending);
    char jobReport[kMessageCapacity];
    ASSERT_TRUE(composeJobReport(ResultWriteError, 0, longPath.c_str(), longPath.c_str(),
                                 "There is not enough space on the disk.", jobReport, sizeof jobReport));
    struct Case {
        const char* what;
        const char* text;
        uint32_t compact;
    } cases[] = {
        {"the excellent verdict", verdictText(VerdictExcellent), 1},
        {"the very bad verdict", verdictText(VerdictVeryBad), 1},
        {"the version error", kVersionError, 0},
        {"a read error on a long path", readError, 1},
        {"the key file question on a long path", keyFileExists, 1},
        {"a pending KeyStore change on a long path", pending, 1},
        {"a job's write error on a long path", jobReport, 0},
        {"the public key question", kPublicKeyQuestion, 1},
        {"the KeyStore too small for the file", kKeyStoreTooSmallText, 1},
    };
    for (const Case& c : cases) {
        for (UINT dpi : {96u, 192u}) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(dpi) + " DPI");
            std::thread shown([&] {
                showMessage(nullptr, MessageRequest{c.text, "Yes", "No", c.compact, AnswerNo});
            });
            HWND box = nullptr;
            ASSERT_TRUE(waitFor([&] {
                std::vector<Shown> boxes = openBoxes();
                box = boxes.empty() ? nullptr : boxes[0].box;
                return box != nullptr;
            }));
            if (dpi != 96) {
                RECT suggested{0, 0, 0, 0};
                SendMessageW(box, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), LPARAM(&suggested));
            }
            std::string why;
            EXPECT_TRUE(wholeTextShown(box, why)) << why;
            PostMessageA(GetDlgItem(box, IDB_MESSAGE_NO), BM_CLICK, 0, 0);
            shown.join();
        }
    }
}

} // namespace
