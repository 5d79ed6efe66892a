// One uninstall run through the entry: start-up, confirmation, the phases, teardown and the
// exit code, with the hidden owner window and its message queue.
#include <gtest/gtest.h>

#include <string>

#include "app/owner_window.h"
#include "failure_driver.h"
#include "log/log_format.h"
#include "test_support.h"

namespace {

class Entry : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        InstallProgram();
    }
    void InstallProgram() {
        test::InstallProgram(tidewell::EncodeLog({{BLOCK_MESSAGES, 0, 0, tidewell::MessagesPayload({test::Catalogue()}), std::nullopt}}));
    }
    // A second process: a new world with the same program file.
    void NewProcess() {
        fake::Reset();
        ResetRunContext();
        InstallProgram();
    }
    int Run(const char* arguments = "") { return test::RunProgram(arguments); }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const fake::ShownBox& box : fake::Boxes()) texts.push_back(box.text);
        return texts;
    }
    // A normal run ends with everything released and the owner window gone.
    void ExpectReleased() {
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        EXPECT_EQ(fake::LiveObjects(), 0u);
        EXPECT_FALSE(fake::DeletedStockObject());
        EXPECT_EQ(fake::OleUninitCount(), 1);
        ASSERT_EQ(fake::Windows().size(), 1u);
        EXPECT_TRUE(fake::Windows()[0].destroyed);
        EXPECT_FALSE(fake::WaitedOnEmptyQueue());
    }
};

TEST_F(Entry, ConfirmedRunAsksThenReportsAndReleasesEverything) {
    fake::AnswerBoxes({IDOK, IDOK});
    EXPECT_EQ(Run(), EXIT_OK);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Remove the package?", "Removed."}));
    EXPECT_EQ(fake::Boxes()[0].flags, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(fake::Boxes()[1].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(fake::Boxes()[0].owner, fake::Windows()[0].window);
    EXPECT_EQ(fake::Boxes()[0].caption, "Tidewell");
    ExpectReleased();
}

TEST_F(Entry, CancelRemovesNothingAndStillTearsDown) {
    fake::AnswerBoxes({IDCANCEL});
    EXPECT_EQ(Run(), EXIT_OK);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Remove the package?"});
    ExpectReleased();
}

TEST_F(Entry, ABoxThatCannotBeShownCountsAsCancel) {
    fake::FailCall("MessageBoxA");
    EXPECT_EQ(Run(), EXIT_OK);
    EXPECT_EQ(fake::Boxes().size(), 1u);
    ExpectReleased();
}

TEST_F(Entry, SilentRunAsksNothingAndReportsNothing) {
    EXPECT_EQ(Run("/x"), EXIT_OK);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_EQ(run.silent, 1);
    ExpectReleased();
}

TEST_F(Entry, NoArgumentTextMeansNotSilent) {
    fake::AnswerBoxes({IDCANCEL});
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), EXIT_OK);
    EXPECT_EQ(fake::Boxes().size(), 1u);
}

TEST_F(Entry, ADamagedLogEndsTheRunBeforeAnyWindow) {
    test::InstallProgram(tidewell::Bytes("\x34\x12", 2));
    EXPECT_EQ(Run(), EXIT_FAILED);
    EXPECT_EQ(fake::Boxes().size(), 1u);
    EXPECT_TRUE(fake::Classes().empty());
    EXPECT_EQ(fake::OleUninitCount(), 0);  // the early exits leave it to the end of the process
}

TEST_F(Entry, AMissingLogEndsTheRunWithoutAMessage) {
    fake::SetLogOffset(0);
    EXPECT_EQ(Run(), EXIT_FAILED);
    EXPECT_TRUE(fake::Boxes().empty());
}

TEST_F(Entry, AWindowClassThatCannotBeRegisteredEndsTheRunWithZero) {
    fake::FailCall("RegisterClassA");
    EXPECT_EQ(Run(), EXIT_OK);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_TRUE(fake::Windows().empty());
}

TEST_F(Entry, AnOwnerWindowThatCannotBeCreatedEndsTheRunWithMinusOne) {
    fake::FailCall("CreateWindowExA");
    EXPECT_EQ(Run(), EXIT_FAILED);
    EXPECT_TRUE(fake::Boxes().empty());
}

TEST_F(Entry, NoMemoryForThePathBuffersEndsTheRunBeforeTheLog) {
    fake::FailCall("LocalAlloc", 2, 2);  // the second buffer, installDir
    EXPECT_EQ(Run(), EXIT_FAILED);
    EXPECT_EQ(fake::CallCount("CreateFileA"), 0);
    EXPECT_TRUE(fake::Boxes().empty());
}

TEST_F(Entry, AProgramPathLongerThanAPathBufferEndsTheRun) {
    fake::SetModulePath("C:\\" + std::string(300, 'x') + "\\Remove.exe");
    EXPECT_EQ(Run("/x"), EXIT_FAILED);
    EXPECT_EQ(fake::CallCount("CreateFileA"), 0);
}

TEST_F(Entry, TheInstallationFolderIsTheProgramsFolderWithABackslash) {
    test::StartRun();
    EXPECT_STREQ(run.installDir, test::kInstallDir);
    test::EndRun();
    fake::SetModulePath("C:\\Remove.exe");
    ASSERT_EQ(InitRunContext(nullptr), 1);
    EXPECT_STREQ(run.installDir, "C:\\");
    test::EndRun();
}

TEST_F(Entry, ThePlatformFamilyComesFromTheVersionQuery) {
    EXPECT_EQ(Run("/x"), EXIT_OK);
    EXPECT_EQ(run.isNT, 1);
    NewProcess();
    fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(Run("/x"), EXIT_OK);
    EXPECT_EQ(run.isNT, 0);
    NewProcess();
    fake::FailCall("GetVersionExA");
    EXPECT_EQ(Run("/x"), EXIT_OK);
    EXPECT_EQ(run.isNT, 0);
    ExpectReleased();
}

TEST_F(Entry, TheOwnerWindowIsHiddenAndCarriesTheTitle) {
    EXPECT_EQ(Run("/x"), EXIT_OK);
    ASSERT_EQ(fake::Classes().size(), 1u);
    const WNDCLASSA& windowClass = fake::Classes()[0];
    EXPECT_STREQ(windowClass.lpszClassName, "TidewellClass");
    EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(windowClass.lpfnWndProc, &OwnerWindowProc);
    EXPECT_EQ(windowClass.hInstance, reinterpret_cast<HINSTANCE>(0x400000));
    EXPECT_EQ(windowClass.hIcon, fake::LoadedIcon());
    EXPECT_EQ(fake::LoadedIconId(), 800);
    EXPECT_EQ(windowClass.hbrBackground, GetStockObject(NULL_BRUSH));
    EXPECT_EQ(fake::Calls({"LoadCursorA"}), std::vector<std::string>{"LoadCursorA 32512 system -> ok"});

    const fake::CreatedWindow& window = fake::Windows()[0];
    EXPECT_EQ(window.className, "TidewellClass");
    EXPECT_EQ(window.title, "Tidewell");
    EXPECT_EQ(window.style, 0x02CF0000u);
    EXPECT_EQ(window.exStyle, 0u);
    EXPECT_EQ(window.x, 0);
    EXPECT_EQ(window.width, CW_USEDEFAULT);
    EXPECT_EQ(window.parent, nullptr);
}

TEST_F(Entry, AWindowThatCannotBeDestroyedIsNotWaitedFor) {
    // No quit message would ever come: the real loop would wait for ever.
    fake::FailCall("DestroyWindow");
    EXPECT_EQ(Run("/x"), EXIT_OK);
    EXPECT_FALSE(fake::WaitedOnEmptyQueue());
    EXPECT_EQ(fake::CallCount("GetMessageA"), 0);
}

TEST_F(Entry, QueuedMessagesAreDispatchedBeforeTheQuitMessage) {
    test::StartRun();
    ASSERT_EQ(RegisterOwnerClass(), 1);
    ASSERT_EQ(CreateOwnerWindow(), 1);
    fake::PostToQueue(run.ownerWindow, WM_USER);
    fake::PostToQueue(run.ownerWindow, WM_USER + 1);
    CloseOwnerWindow();
    EXPECT_EQ(fake::DispatchedMessages(), (std::vector<UINT>{WM_USER, WM_USER + 1}));
    EXPECT_FALSE(fake::WaitedOnEmptyQueue());
    test::EndRun();
}

TEST_F(Entry, ThePhasesAndTheReleaseHappenInOrder) {
    fake::AnswerBoxes({IDOK, IDOK});
    EXPECT_EQ(Run(), EXIT_OK);
    std::vector<std::string> order = fake::Calls({"OleInitialize", "CreateSolidBrush", "CreateFileA", "RegisterClassA",
                                                  "CreateWindowExA", "MessageBoxA", "DestroyWindow", "OleUninitialize",
                                                  "DeleteObject"});
    std::vector<std::string> apis;
    for (const std::string& line : order) apis.push_back(line.substr(0, line.find(' ')));
    // Before the confirmation the installation folder is pinned; after the window is gone, the
    // self-deletion opens the program file for deletion and then makes its batch.
    EXPECT_EQ(apis, (std::vector<std::string>{"OleInitialize", "CreateSolidBrush", "CreateFileA", "RegisterClassA",
                                              "CreateWindowExA", "CreateFileA", "MessageBoxA", "MessageBoxA", "DestroyWindow",
                                              "CreateFileA", "CreateFileA", "OleUninitialize", "DeleteObject"}));
}

TEST_F(Entry, EveryAllocationFailureOfASilentRunEndsWithoutLeakOrCrash) {
    int code = 0;
    test::FailurePlan plan;
    plan.apis = {"LocalAlloc"};
    plan.times = 2;  // the allocation and its retry
    plan.setUp = [&] { NewProcess(); };
    plan.body = [&] { code = Run("/x"); };
    plan.check = [&](const test::FailurePoint& point) {
        EXPECT_EQ(code, point.hit ? EXIT_FAILED : EXIT_OK);
        EXPECT_EQ(fake::OpenHandles(), 0u);
        if (!point.hit) {
            EXPECT_EQ(fake::LiveBlocks(), 0u);
        }
    };
    test::DriveFailures(plan);
}

}  // namespace
