// The read-only question: its answers, its texts, its normal-weight font made once per run,
// its colours, and the drawing objects released at the end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/load_log.h"
#include "app/owner_window.h"
#include "log/loader.h"
#include "log/log_format.h"
#include "resources/resource.h"
#include "test_support.h"
#include "ui/dialog_objects.h"
#include "ui/dialog_objects.h"
#include "ui/readonly_dialog.h"

namespace {

constexpr char kFile[] = "C:\\Program Files\\Pkg\\bin\\locked.dll";

class ReadOnlyDialog : public test::ProgramTest {
protected:
    // A run with the catalogue loaded and the owner window up, as when the phases run.
    void Begin(std::vector<std::string> messages = test::Catalogue()) {
        tidewell::LogContent content;
        content.messages = messages;
        test::InstallProgram(content);
        test::StartRun();
        ASSERT_EQ(LoadUninstallLog(), 1);
        ASSERT_EQ(RegisterOwnerClass(), 1);
        ASSERT_EQ(CreateOwnerWindow(), 1);
        fake::ClearJournal();
        blocksAtStart = fake::LiveBlocks();
    }
    // The end of the run: every prompt buffer was given back, and the drawing objects go.
    void End() {
        ended = true;
        EXPECT_EQ(fake::LiveBlocks(), blocksAtStart);
        CloseOwnerWindow();
        test::EndRun();
        EXPECT_EQ(fake::LiveBlocks(), 0u);
        EXPECT_EQ(fake::LiveObjects(), 0u);
        EXPECT_FALSE(fake::DeletedStockObject());
    }
    void TearDown() override {
        if (!ended) End();
        ProgramTest::TearDown();
    }
    size_t blocksAtStart = 0;
    bool ended = false;
};

TEST_F(ReadOnlyDialog, EachButtonGivesItsId) {
    Begin();
    for (int answer : {IDYES, IDC_YESALL, IDNO, IDC_NOALL, IDCANCEL}) {
        fake::AnswerDialogs({answer});
        EXPECT_EQ(AskReadOnly(kFile), answer);
    }
    ASSERT_EQ(fake::Dialogs().size(), 5u);
    for (const fake::ShownDialog& dialog : fake::Dialogs()) {
        EXPECT_EQ(dialog.templateId, IDD_ASK);
        EXPECT_EQ(dialog.owner, run.ownerWindow);
        EXPECT_TRUE(dialog.scripted);
    }
}

TEST_F(ReadOnlyDialog, ShowsTheCatalogueTextsOnTheirControls) {
    Begin();
    fake::AnswerDialogs({IDNO});
    AskReadOnly(kFile);
    ASSERT_EQ(fake::Dialogs().size(), 1u);
    const fake::ShownDialog& dialog = fake::Dialogs()[0];
    EXPECT_EQ(dialog.caption, "Tidewell");
    EXPECT_EQ(dialog.texts.at(IDC_PROMPT), std::string("Read-only:\n") + kFile + "\nRemove?");
    EXPECT_EQ(dialog.texts.at(IDYES), "&Yes");
    EXPECT_EQ(dialog.texts.at(IDC_YESALL), "Yes to &all");
    EXPECT_EQ(dialog.texts.at(IDNO), "&No");
    EXPECT_EQ(dialog.texts.at(IDC_NOALL), "No to a&ll");
}

TEST_F(ReadOnlyDialog, InitialisationMakesTheFontFirstThenSetsCaptionPromptAndLabelsInOrder) {
    Begin();
    fake::AnswerDialogs({IDYES});
    AskReadOnly(kFile);
    std::vector<std::string> calls = fake::Calls({"CreateFontIndirectA", "SetWindowTextA", "SetDlgItemTextA"});
    std::vector<std::string> expected = {
        "CreateFontIndirectA 400 -> ok",
        "SetWindowTextA Tidewell -> ok",
        std::string("SetDlgItemTextA 1000 Read-only:\n") + kFile + "\nRemove? -> ok",
        "SetDlgItemTextA 6 &Yes -> ok",
        "SetDlgItemTextA 7 &No -> ok",
        "SetDlgItemTextA 1001 Yes to &all -> ok",
        "SetDlgItemTextA 1002 No to a&ll -> ok",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(ReadOnlyDialog, APromptWithoutAPlaceForThePathIsShownAsItStands) {
    std::vector<std::string> messages = test::Catalogue();
    messages[MSG_READONLY] = "A file is read-only. Remove it?";
    Begin(messages);
    fake::AnswerDialogs({IDNO});
    AskReadOnly(kFile);
    ASSERT_EQ(fake::Dialogs().size(), 1u);
    EXPECT_EQ(fake::Dialogs()[0].texts.at(IDC_PROMPT), "A file is read-only. Remove it?");
}

TEST_F(ReadOnlyDialog, AnEmptyPromptMeansYesToAllWithoutADialog) {
    std::vector<std::string> messages = test::Catalogue();
    messages[MSG_READONLY] = "";
    Begin(messages);
    EXPECT_EQ(AskReadOnly(kFile), IDC_YESALL);
    EXPECT_TRUE(fake::Dialogs().empty());
    EXPECT_EQ(fake::CallCount("DialogBoxParamA"), 0);
}

TEST_F(ReadOnlyDialog, ACatalogueThatEndsBeforeThePromptAlsoMeansYesToAll) {
    std::vector<std::string> messages = test::Catalogue();
    messages.resize(MSG_READONLY);
    Begin(messages);
    EXPECT_EQ(AskReadOnly(kFile), IDC_YESALL);
    EXPECT_TRUE(fake::Dialogs().empty());
}

TEST_F(ReadOnlyDialog, NoMemoryForThePromptMeansNoWithoutADialog) {
    Begin();
    fake::FailCall("LocalAlloc", 1, 2, ERROR_NOT_ENOUGH_MEMORY);  // the first try and the retry
    EXPECT_EQ(AskReadOnly(kFile), IDNO);
    EXPECT_EQ(fake::CallCount("DialogBoxParamA"), 0);
    EXPECT_EQ(fake::CallCount("LocalCompact"), 1);
}

TEST_F(ReadOnlyDialog, ADialogThatCannotBeMadeMeansNo) {
    Begin();
    fake::FailCall("DialogBoxParamA", 1, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(AskReadOnly(kFile), IDNO);
}

TEST_F(ReadOnlyDialog, EveryCommandEndsTheDialogWithTheLowWordOfItsId) {
    Begin();
    // A notification in the high word does not change the result; nor does an id no button has.
    fake::ScriptDialogs({{IDYES, [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_NOALL, 5), 0); }}});
    EXPECT_EQ(AskReadOnly(kFile), IDC_NOALL);
    fake::AnswerDialogs({4321});
    EXPECT_EQ(AskReadOnly(kFile), 4321);
}

TEST_F(ReadOnlyDialog, NobodyAnsweringClosesTheDialogAsEscDoes) {
    Begin();
    EXPECT_EQ(AskReadOnly(kFile), IDCANCEL);
    ASSERT_EQ(fake::Dialogs().size(), 1u);
    EXPECT_FALSE(fake::Dialogs()[0].scripted);
}

TEST_F(ReadOnlyDialog, ControlsGetANormalWeightCopyOfTheDialogFont) {
    Begin();
    fake::AnswerDialogs({IDNO});
    AskReadOnly(kFile);
    ASSERT_NE(DialogFont(), nullptr);
    ASSERT_EQ(fake::Dialogs().size(), 1u);
    ASSERT_EQ(fake::Dialogs()[0].fonts.size(), 5u);
    for (const auto& [id, font] : fake::Dialogs()[0].fonts) EXPECT_EQ(font, DialogFont()) << id;

    LOGFONTA made = fake::Object(DialogFont())->font;
    LOGFONTA original = fake::Object(fake::TemplateFont())->font;
    EXPECT_EQ(original.lfWeight, FW_BOLD);
    EXPECT_EQ(made.lfWeight, FW_NORMAL);
    made.lfWeight = original.lfWeight;
    EXPECT_EQ(std::memcmp(&made, &original, sizeof made), 0) << "every other attribute is kept";
    // The controls are given the font without being redrawn.
    std::vector<std::string> fontCalls;
    for (const std::string& call : fake::Calls({"SendMessageA"}))
        if (call.rfind("SendMessageA 48 ", 0) == 0) fontCalls.push_back(call);
    EXPECT_EQ(fontCalls, std::vector<std::string>(5, "SendMessageA 48 redraw 0 -> ok"));
}

TEST_F(ReadOnlyDialog, LaterDialogsReuseTheFontOfTheFirst) {
    Begin();
    fake::AnswerDialogs({IDNO, IDNO, IDNO});
    for (int i = 0; i < 3; ++i) AskReadOnly(kFile);
    EXPECT_EQ(fake::CallCount("CreateFontIndirectA"), 1);
    EXPECT_EQ(fake::CallCount("GetObjectA"), 1);
    ASSERT_EQ(fake::Dialogs().size(), 3u);
    for (const fake::ShownDialog& dialog : fake::Dialogs())
        for (const auto& [id, font] : dialog.fonts) EXPECT_EQ(font, DialogFont()) << id;
    EXPECT_EQ(fake::LiveObjects(), 2u);  // the brush and the one font
}

TEST_F(ReadOnlyDialog, WhenNoCopyCanBeMadeTheControlsKeepTheTemplateFontAndTheNextDialogTriesAgain) {
    Begin();
    fake::FailCall("CreateFontIndirectA");
    fake::AnswerDialogs({IDNO, IDNO});
    AskReadOnly(kFile);
    EXPECT_EQ(DialogFont(), nullptr);
    for (const auto& [id, font] : fake::Dialogs()[0].fonts) EXPECT_EQ(font, fake::TemplateFont()) << id;

    AskReadOnly(kFile);
    ASSERT_NE(DialogFont(), nullptr);
    for (const auto& [id, font] : fake::Dialogs()[1].fonts) EXPECT_EQ(font, DialogFont()) << id;
}

TEST_F(ReadOnlyDialog, AFontWhoseDescriptionCannotBeReadIsNotCopied) {
    Begin();
    fake::FailCall("GetObjectA");
    fake::AnswerDialogs({IDNO});
    AskReadOnly(kFile);
    EXPECT_EQ(DialogFont(), nullptr);
    EXPECT_EQ(fake::CallCount("CreateFontIndirectA"), 0);
    for (const auto& [id, font] : fake::Dialogs()[0].fonts) EXPECT_EQ(font, fake::TemplateFont()) << id;
}

TEST_F(ReadOnlyDialog, TheDialogBrushPaintsTheDialogItsButtonsAndItsText) {
    Begin();
    std::vector<std::pair<UINT, LRESULT>> answers;
    fake::ScriptDialogs({{IDNO, [&answers](HWND dialog) {
                              UINT messages[] = {WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN,
                                                 WM_CTLCOLORDLG,    WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC, WM_USER};
                              for (UINT message : messages) {
                                  HDC dc = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x7000 + message));
                                  answers.push_back({message, SendMessageA(dialog, message, reinterpret_cast<WPARAM>(dc), 0)});
                              }
                          }}});
    AskReadOnly(kFile);
    ASSERT_EQ(answers.size(), 8u);
    for (const auto& [message, answer] : answers) {
        HDC dc = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x7000 + message));
        bool painted = message == WM_CTLCOLORMSGBOX || message == WM_CTLCOLORBTN || message == WM_CTLCOLORDLG ||
                       message == WM_CTLCOLORSTATIC;
        if (painted) {
            EXPECT_EQ(answer, reinterpret_cast<LRESULT>(DialogBrush())) << message;
            EXPECT_EQ(fake::BackgroundColour(dc), fake::ButtonFaceColour()) << message;
        } else {
            EXPECT_EQ(answer, 0) << message;
            EXPECT_EQ(fake::BackgroundColour(dc), static_cast<COLORREF>(-1)) << message;
        }
    }
    EXPECT_EQ(fake::Object(DialogBrush())->colour, fake::ButtonFaceColour());
}

TEST_F(ReadOnlyDialog, WithoutASolidBrushTheStockGreyBrushPaintsAndIsNotDeleted) {
    fake::FailCall("CreateSolidBrush");
    Begin();
    ASSERT_EQ(DialogBrush(), GetStockObject(LTGRAY_BRUSH));
    HBRUSH answer = nullptr;
    fake::ScriptDialogs({{IDNO, [&answer](HWND dialog) {
                              answer = reinterpret_cast<HBRUSH>(SendMessageA(dialog, WM_CTLCOLORDLG, 0x7100, 0));
                          }}});
    AskReadOnly(kFile);
    EXPECT_EQ(answer, GetStockObject(LTGRAY_BRUSH));
    // TearDown checks that the stock brush survives the release.
}

TEST_F(ReadOnlyDialog, TheBrushAndTheFontGoWithTheRun) {
    Begin();
    fake::AnswerDialogs({IDNO});
    AskReadOnly(kFile);
    HGDIOBJ brush = DialogBrush();
    HGDIOBJ font = DialogFont();
    End();
    EXPECT_TRUE(fake::Object(brush)->deleted);
    EXPECT_TRUE(fake::Object(font)->deleted);
    EXPECT_FALSE(fake::Object(fake::TemplateFont())->deleted);
}

}  // namespace
