#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "app/TessaloomApp.h"
#include "catalogue/Download.h"

namespace tessaloom {
namespace {

std::vector<std::string> Items(FakeDialog& dialog) {
    return dialog.controls[IDC_SERVER_COMBO].items;
}

TEST(StartUp, StartsSocketsThenRunsTheDialogOnceAndEnds) {
    FakePlatform fake;
    fake.replies[ListUrl()] = {Body("a=1\n")};
    CTessaloomApp app;
    int dialogsSeen = 0;
    fake.user = [&](FakePlatform&, FakeDialog& dialog) {
        ++dialogsSeen;
        EXPECT_EQ(dialog.templateId, unsigned{IDD_TESSALOOM_DIALOG});
        EXPECT_EQ(app.m_pMainWnd != nullptr ? app.m_pMainWnd->m_hWnd : nullptr, &dialog);
    };
    EXPECT_EQ(app.Run(fake), 0);
    EXPECT_EQ(dialogsSeen, 1);
    EXPECT_EQ(fake.commonControlsInitialised, 1);
    ASSERT_GE(fake.events.size(), 3u);
    EXPECT_EQ(fake.events[0], "socket init");
    EXPECT_EQ(fake.events[1], "dialog 102");
    EXPECT_EQ(fake.events[2], "fetch " + ListUrl());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST(StartUp, SocketFailureShowsItsMessageAndEnds) {
    FakePlatform fake;
    fake.socketInitSucceeds = false;
    CTessaloomApp app;
    EXPECT_EQ(app.Run(fake), 0);
    EXPECT_TRUE(fake.dialogsRun.empty());
    EXPECT_TRUE(fake.fetchedUrls.empty());
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "Windows sockets initialization failed.");
    EXPECT_EQ(fake.boxes[0].title, "Tessaloom");
    EXPECT_EQ(fake.boxes[0].style, kMbOk | kMbIconExclamation);
    EXPECT_EQ(fake.boxes[0].helpContext, unsigned{IDP_SOCKETS_INIT_FAILED});
}

TEST(ServerList, FillsTheSelectorInFileOrderWithAlignedValues) {
    FakePlatform fake;
    fake.replies[ListUrl()] = {Body("Zeta=z\r\nAlpha=a=1\r\nMid=m")};
    TestDlg dlg(fake);
    RunDialog(fake, dlg, [](FakePlatform&, FakeDialog& dialog) {
        EXPECT_EQ(Items(dialog), (std::vector<std::string>{"Zeta", "Alpha", "Mid"}));
        EXPECT_EQ(dialog.controls[IDC_SERVER_COMBO].selection, 0);
    });
    EXPECT_EQ(dlg.m_serverValues, (std::vector<std::string>{"z\r", "a=1\r", "m"}));
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.liveStreams, 0);
    EXPECT_EQ(std::count(fake.events.begin(), fake.events.end(), "release " + ListUrl()), 1);
}

TEST(ServerList, NamesInAnyLanguageAndOnlyTheLimitFetched) {
    FakePlatform fake;
    // Saved with a byte-order mark; a huge tail that must not be fetched.
    const std::string utf8 = "\xEF\xBB\xBF\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0=beta\nAlpha=alpha\n";
    fake.replies[ListUrl()] = {Body(utf8 + std::string(1 << 20, '#'))};
    TestDlg dlg(fake);
    RunDialog(fake, dlg, [](FakePlatform&, FakeDialog& dialog) {
        EXPECT_EQ(Items(dialog),
                  (std::vector<std::string>{"\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0", "Alpha"}));
    });
    ASSERT_EQ(fake.fetchLimits.size(), 1u);
    EXPECT_EQ(fake.fetchLimits[0].maxBytes, 1025u);
    EXPECT_TRUE(fake.fetchLimits[0].prefixOnly);

    // Not UTF-8: the system's code page (Latin-1 on the fake), names and values alike.
    FakePlatform western;
    western.replies[ListUrl()] = {Body("Caf\xE9=caf\xE9\n")};
    TestDlg westernDlg(western);
    RunDialog(western, westernDlg, [](FakePlatform&, FakeDialog& dialog) {
        EXPECT_EQ(Items(dialog), std::vector<std::string>{"Caf\xC3\xA9"});
    });
    EXPECT_EQ(westernDlg.m_serverValues, std::vector<std::string>{"caf\xC3\xA9"});
}

TEST(ServerList, UnreachableCatalogueGivesAnEmptySelectorAfterThePrompt) {
    FakePlatform fake;
    TestDlg dlg(fake);
    bool shown = false;
    RunDialog(fake, dlg, [&](FakePlatform& platform, FakeDialog& dialog) {
        shown = true;
        EXPECT_EQ(platform.boxes.size(), 1u);  // the prompt came before the dialog ran
        EXPECT_TRUE(Items(dialog).empty());
        EXPECT_EQ(dialog.controls[IDC_SERVER_COMBO].selection, -1);
    });
    EXPECT_TRUE(shown);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, DownloadErrorText(kResultDownloadFailure, ListUrl()));
    EXPECT_TRUE(dlg.m_serverValues.empty());
}

TEST(ServerList, ListWithoutEntriesSelectsNothing) {
    FakePlatform fake;
    fake.replies[ListUrl()] = {Body("")};
    TestDlg dlg(fake);
    RunDialog(fake, dlg, [](FakePlatform&, FakeDialog& dialog) {
        EXPECT_TRUE(Items(dialog).empty());
        EXPECT_EQ(dialog.controls[IDC_SERVER_COMBO].selection, -1);
    });
}

TEST(ServerList, MissingSelectorFetchesNothing) {
    FakePlatform fake;
    fake.missingControls = {IDC_SERVER_COMBO};
    TestDlg dlg(fake);
    RunDialog(fake, dlg);
    EXPECT_TRUE(fake.fetchedUrls.empty());
    EXPECT_TRUE(fake.boxes.empty());
}

TEST(MainDialog, InitialisesMenuAndIconsAfterTheList) {
    FakePlatform fake;
    fake.replies[ListUrl()] = {Body("a=1\n")};
    TestDlg dlg(fake);
    RunDialog(fake, dlg);
    ASSERT_EQ(fake.menu.size(), 2u);
    EXPECT_TRUE(fake.menu[0].separator);
    EXPECT_FALSE(fake.menu[1].separator);
    EXPECT_EQ(fake.menu[1].id, unsigned{IDM_ABOUTBOX});
    EXPECT_EQ(fake.menu[1].text, "&About Tessaloom...");
    EXPECT_EQ(fake.icons[true], FakePlatform::IconHandle(IDR_MAINFRAME));
    EXPECT_EQ(fake.icons[false], FakePlatform::IconHandle(IDR_MAINFRAME));
    auto at = [&](const std::string& event) {
        return std::find(fake.events.begin(), fake.events.end(), event) - fake.events.begin();
    };
    EXPECT_LT(at("fetch " + ListUrl()), at("icon big"));
    EXPECT_LT(at("icon big"), at("icon small"));
    // Centred on the screen.
    ASSERT_FALSE(fake.centred.empty());
    EXPECT_EQ(fake.centred[0].second, nullptr);
}

TEST(MainDialog, AboutEntryNeedsAMenuAndAText) {
    FakePlatform noMenu;
    noMenu.hasSystemMenu = false;
    TestDlg first(noMenu);
    RunDialog(noMenu, first);
    EXPECT_TRUE(noMenu.menu.empty());

    FakePlatform noText;
    noText.strings.erase(IDS_ABOUTBOX);
    TestDlg second(noText);
    RunDialog(noText, second);
    EXPECT_TRUE(noText.menu.empty());
}

TEST(MainDialog, SystemCommandsOpenAboutOrGoToTheDefault) {
    FakePlatform fake;
    TestDlg dlg(fake);
    RunDialog(fake, dlg, [](FakePlatform& platform, FakeDialog& dialog) {
        std::intptr_t result = 0;
        bool handled =
            dialog.sink->HandleMessage(&dialog, {kWmSysCommand, 0x0010 | 0xF, 0}, result);
        EXPECT_TRUE(handled);
        EXPECT_EQ(platform.dialogsRun, (std::vector<unsigned>{IDD_TESSALOOM_DIALOG, IDD_ABOUTBOX}));
        ASSERT_EQ(platform.centred.size(), 2u);
        EXPECT_EQ(platform.centred[1].second, &dialog);  // over the main dialog

        for (unsigned command : {0xF060u /*close*/, 0xF020u /*minimize*/, 0x0020u}) {
            EXPECT_FALSE(dialog.sink->HandleMessage(&dialog, {kWmSysCommand, command, 0}, result))
                << command;
        }
        EXPECT_EQ(platform.dialogsRun.size(), 2u);
    });
}

TEST(MinimizedIcon, CentredRoundingUpAndTruncatingTowardZero) {
    struct Case {
        int width, height, x, y;
    } cases[] = {
        {100, 100, 34, 34},  // even: (100 - 32 + 1) / 2
        {101, 37, 35, 3},    // odd
        {20, 16, -5, -7},    // smaller than the icon
    };
    for (const Case& c : cases) {
        const Point at = CentredIconPosition({0, 0, c.width, c.height}, 32, 32);
        EXPECT_EQ(at.x, c.x) << c.width;
        EXPECT_EQ(at.y, c.y) << c.height;
    }
}

TEST(MainDialog, MinimizedItPaintsAndDragsItsIcon) {
    for (bool minimized : {true, false}) {
        FakePlatform fake;
        fake.minimized = minimized;
        TestDlg dlg(fake);
        RunDialog(fake, dlg, [&](FakePlatform& platform, FakeDialog& dialog) {
            std::intptr_t result = 0;
            // Shown, painting is the platform's default.
            EXPECT_EQ(dialog.sink->HandleMessage(&dialog, {kWmPaint, 0, 0}, result), minimized);
            EXPECT_EQ(platform.paintedIcons,
                      minimized ? std::vector<Handle>{FakePlatform::IconHandle(IDR_MAINFRAME)}
                                : std::vector<Handle>{});
            EXPECT_TRUE(dialog.sink->HandleMessage(&dialog, {kWmQueryDragIcon, 0, 0}, result));
            EXPECT_EQ(result,
                      reinterpret_cast<std::intptr_t>(FakePlatform::IconHandle(IDR_MAINFRAME)));
        });
    }
}

TEST(MainDialog, AnExceptionInAHandlerIsReportedAndTheDialogGoesOn) {
    FakePlatform fake;
    fake.replies[ListUrl()] = {Body("Alpha=a\n")};
    fake.browseReplies = {{BrowseResult::kChosen, "C:\\Games\\Q"}};
    TestDlg dlg(fake);
    RunDialog(fake, dlg, [](FakePlatform& platform, FakeDialog& dialog) {
        platform.outOfMemoryAt = "browse";
        platform.Click(dialog, IDC_BROWSE_SOURCE);
        platform.errorAt = "browse";
        platform.Click(dialog, IDC_BROWSE_SOURCE);
        ASSERT_EQ(platform.boxes.size(), 2u);
        EXPECT_EQ(platform.boxes[0].text, "Out of memory.");
        EXPECT_EQ(platform.boxes[1].text, "An unexpected error stopped the command.\nfake failure");
        EXPECT_EQ(platform.boxes[1].style, kMbOk | kMbIconExclamation);
        EXPECT_FALSE(dialog.ended);
        platform.Click(dialog, IDC_BROWSE_SOURCE);  // usable again
        EXPECT_EQ(dialog.controls[IDC_SOURCE_EDIT].text, "C:\\Games\\Q");
    });
}

TEST(MainDialog, CancelEndsTheDialog) {
    FakePlatform fake;
    TestDlg dlg(fake);
    std::intptr_t result = 0;
    fake.user = [](FakePlatform& platform, FakeDialog& dialog) {
        platform.Click(dialog, kIdCancel);
    };
    result = dlg.DoModal();
    EXPECT_EQ(result, kIdCancel);
}

}  // namespace
}  // namespace tessaloom
