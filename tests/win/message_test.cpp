// The message box's one-at-a-time rule: a caller on another thread waits until the open box
// has been answered; a box opened from inside another on the same thread goes ahead. And the
// answer Esc gives in every kind of box the program raises.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/messages.h"
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

} // namespace
