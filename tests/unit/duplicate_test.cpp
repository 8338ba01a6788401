#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "paths/Paths.h"

namespace tessaloom {
namespace {

const char kSource[] = "C:\\Games\\Q";
const char kDestination[] = "D:\\Tests\\Alpha\\";
const char kInside[] = "The destination folder must not be inside the Quorvane folder.";
const char kWrittenThrough[] = "The destination folder holds a link where the copy writes:\n";
const char kCannotTell[] = "The system cannot tell where this link leads:\n";
const char kLauncher[] = "\\cd_image\\data\\launcher\\QuorvaneLauncher.url";
const char kDozidavuv[] = "\\cd_image\\data\\launcher\\DozidavuvUvurez.url";
const char kPatcher[] = "\\cd_image\\data\\patcher\\QuorvanePatcher.url";
const char kLauncherTemporary[] = "\\cd_image\\data\\launcher\\~tessaloom0.tmp";
const char kDozidavuvTemporary[] = "\\cd_image\\data\\launcher\\~tessaloom1.tmp";
const char kPatcherTemporary[] = "\\cd_image\\data\\patcher\\~tessaloom0.tmp";

// Where a connection file lands: the destination without its final separator, then the path.
std::string InCopy(const char* local) { return "D:\\Tests\\Alpha" + std::string(local); }
const char* const kRemote[] = {"QuorvaneLauncher.url", "DozidavuvUvurez.url",
                               "QuorvanePatcher.url"};

// Bytes that show any translation: CR LF, a zero byte, non-ASCII.
std::string Payload(const std::string& tag) {
    return "[InternetShortcut]\r\nURL=http://" + tag + std::string(1, '\0') + "\xE9\xFF\n";
}

// A notice without its line feeds: paths are broken into lines that fit.
std::string Flat(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

std::string FileUrl(const std::string& server, int file) {
    return CatalogueUrl(server + "/" + kRemote[file]);
}

class DuplicateTest : public ::testing::Test {
protected:
    DuplicateTest() {
        fake.replies[ListUrl()] = {Body("Alpha=alpha\r\nBeta=beta\r\n")};
        for (const char* server : {"alpha", "beta"}) {
            for (int file = 0; file < 3; ++file) {
                fake.replies[FileUrl(server, file)] = {
                    Body(Payload(server + std::to_string(file)))};
            }
        }
        // The installation, with the connection files the copy's will replace.
        const std::string source = kSource;
        fake.AddFile(source + "\\version.id", 8);
        for (const char* local : {kLauncher, kDozidavuv, kPatcher})
            fake.AddFile(source + local, 40);
    }

    // Fills the two fields as the pickers would, then runs `script`.
    void Run(const std::string& source, const std::string& destination, const UserScript& script) {
        RunDialog(fake, dlg, [&](FakePlatform& platform, FakeDialog& dialog) {
            dialog.controls[IDC_SOURCE_EDIT].text = source;
            dialog.controls[IDC_DEST_EDIT].text = destination;
            platform.boxes.clear();
            platform.events.clear();
            platform.fetchedUrls.clear();
            platform.writtenFiles.clear();
            platform.quitPosted = false;
            script(platform, dialog);
        });
    }
    void Duplicate(const std::string& source = kSource,
                   const std::string& destination = kDestination) {
        Run(source, destination, [](FakePlatform& platform, FakeDialog& dialog) {
            platform.Click(dialog, IDC_DUPLICATE);
        });
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const FakeMessageBox& box : fake.boxes) texts.push_back(box.text);
        return texts;
    }
    bool Happened(const std::string& prefix) const {
        return std::any_of(fake.events.begin(), fake.events.end(), [&](const std::string& e) {
            return e.compare(0, prefix.size(), prefix) == 0;
        });
    }
    void ExpectStoppedWith(const std::string& notice, bool copied = false) {
        std::vector<std::string> texts = BoxTexts();
        for (std::string& text : texts) text = Flat(text);
        EXPECT_EQ(texts, std::vector<std::string>{Flat(notice)});
        EXPECT_EQ(Happened("copy"), copied);
        EXPECT_TRUE(fake.writtenFiles.empty());
        EXPECT_FALSE(fake.quitPosted);
        EXPECT_EQ(fake.liveStreams, 0);
    }

    FakePlatform fake;
    TestDlg dlg{fake};
};

TEST_F(DuplicateTest, DoesTheWholeJobInOrder) {
    Duplicate();
    std::string d = kDestination;
    std::vector<std::string> expected = {
        "probe C:\\Games\\Q\\version.id",
        "fetch " + FileUrl("alpha", 0),
        "fetch " + FileUrl("alpha", 1),
        "fetch " + FileUrl("alpha", 2),
        "copy C:\\Games\\Q -> D:\\Tests\\Alpha",
        // All three written before the first takes its name.
        "write " + InCopy(kLauncherTemporary),
        "write " + InCopy(kLauncherTemporary),
        "write " + InCopy(kDozidavuvTemporary),
        "write " + InCopy(kPatcherTemporary),
        "release " + FileUrl("alpha", 0),
        "release " + FileUrl("alpha", 1),
        "release " + FileUrl("alpha", 2),
        "move " + InCopy(kLauncherTemporary) + " -> " + InCopy(kLauncher),
        "move " + InCopy(kDozidavuvTemporary) + " -> " + InCopy(kDozidavuv),
        "move " + InCopy(kPatcherTemporary) + " -> " + InCopy(kPatcher),
        "open " + d,
        "box Operation completed.",
        "quit 0",
    };
    EXPECT_EQ(fake.events, expected);
    EXPECT_EQ(fake.writtenFiles[InCopy(kLauncher)], Payload("alpha0"));
    EXPECT_EQ(fake.writtenFiles[InCopy(kDozidavuv)], Payload("alpha1"));
    EXPECT_EQ(fake.writtenFiles[InCopy(kPatcher)], Payload("alpha2"));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].style, kMbOk | kMbIconError);
    EXPECT_EQ(fake.boxes[0].title, "Tessaloom");
}

TEST_F(DuplicateTest, TheWaitCursorShowsWhileTheProgramBlocks) {
    // The walk, every fetch and the copy under the wait cursor; the retry prompt and the
    // notices without it.
    fake.AddFile("C:\\Games\\Q\\data\\maps\\one.map", 990);
    fake.replies[FileUrl("alpha", 1)] = {Failure(kResultDownloadFailure), Body(Payload("again"))};
    fake.answers = {kIdRetry};
    Duplicate();
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.blockedWithoutWaitCursor, 0);
    EXPECT_EQ(fake.boxesUnderWaitCursor, 0);
    EXPECT_FALSE(fake.waitCursor);

    fake.unreadable["C:\\GAMES\\Q\\DATA"] = "Access is denied.";
    Duplicate();
    EXPECT_EQ(fake.boxesUnderWaitCursor, 0);
    EXPECT_FALSE(fake.waitCursor);
}

TEST_F(DuplicateTest, TheSelectionAtTheTimeOfTheCommandDecides) {
    Run(kSource, kDestination, [](FakePlatform& platform, FakeDialog& dialog) {
        platform.Select(dialog, 1);
        platform.Click(dialog, IDC_DUPLICATE);
    });
    EXPECT_EQ(fake.fetchedUrls, (std::vector<std::string>{FileUrl("beta", 0), FileUrl("beta", 1),
                                                          FileUrl("beta", 2)}));
    EXPECT_EQ(fake.writtenFiles[InCopy(kPatcher)], Payload("beta2"));
}

TEST_F(DuplicateTest, ChecksComeFirstInOrder) {
    Duplicate("", "");
    ExpectStoppedWith("No source folder selected");
    EXPECT_FALSE(Happened("probe"));

    Duplicate(kSource, "");
    ExpectStoppedWith("No destination folder selected");

    Duplicate("C:\\Other", kDestination);
    ExpectStoppedWith("The source folder must contain quorvane.");
    EXPECT_TRUE(fake.fetchedUrls.empty());
}

TEST_F(DuplicateTest, NeedsASelectedServer) {
    fake.replies[ListUrl()] = {Body("")};
    Duplicate();
    ExpectStoppedWith("No test server selected");
    EXPECT_TRUE(fake.fetchedUrls.empty());
}

TEST_F(DuplicateTest, RefusesADestinationInsideTheSource) {
    Duplicate(kSource, "c:\\games\\q\\Alpha\\");
    ExpectStoppedWith("The destination folder must not be inside the Quorvane folder.");
    EXPECT_TRUE(fake.fetchedUrls.empty());
    Duplicate(kSource, "C:\\Games\\Q\\");
    ExpectStoppedWith("The destination folder must not be inside the Quorvane folder.");
}

TEST_F(DuplicateTest, RefusesPathsTooLongBeforeFetching) {
    std::string folder = "D:\\" + std::string(259 - 3 - 44, 'x') + "\\";
    ASSERT_EQ(folder.size() - 1 + std::string(kLauncher).size(), 259u);
    Duplicate(kSource, folder);  // the longest written path just fits
    EXPECT_TRUE(fake.quitPosted);

    Duplicate(kSource, "D:\\" + std::string(259 - 3 - 44 + 1, 'x') + "\\");
    ExpectStoppedWith("The destination path is too long.");
    EXPECT_TRUE(fake.fetchedUrls.empty());

    // The shell cannot read a file of the installation whose path is too long where it lies:
    // 260 units with the terminator fit, 261 do not.
    for (std::size_t length : {245u, 246u}) {
        const std::string longSource = "C:\\" + std::string(length, 's');
        fake.AddFile(longSource + "\\version.id", 1);
        Duplicate(longSource, kDestination);
        if (length == 245u) {
            EXPECT_FALSE(fake.fetchedUrls.empty());
            continue;
        }
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, "The Quorvane folder holds a path too long to copy:\n" +
                                          WrapPath(longSource + "\\version.id"));
        EXPECT_EQ(fake.boxes[0].style, kMbOk | kMbIconError);
        EXPECT_TRUE(fake.fetchedUrls.empty());
    }
}

// --- What links and volumes decide --------------------------------------------------------

class FileSystemTest : public DuplicateTest {
protected:
    FileSystemTest() {
        fake.AddFile("C:\\Games\\Q\\version.id", 10);
        fake.AddFile("C:\\Games\\Q\\data\\big.pak", 5000);
        fake.AddFile("C:\\Games\\Q\\data\\maps\\one.map", 990);
        fake.AddFolder("D:\\Tests");
        fake.freeSpace["D:"] = 1 << 20;
    }
    void ExpectRefused(const std::string& destination, const std::string& notice,
                       const std::string& source = kSource) {
        Duplicate(source, destination);
        ExpectStoppedWith(notice);
        EXPECT_TRUE(fake.fetchedUrls.empty()) << destination;
    }
};

TEST_F(FileSystemTest, DestinationReachedThroughALinkIsInsideTheSource) {
    const char kInside[] = "The destination folder must not be inside the Quorvane folder.";
    fake.AddLink("D:\\ToGame", "C:\\Games\\Q");
    fake.AddLink("D:\\ToMaps", "C:\\Games\\Q\\data\\maps");
    fake.AddLink("D:\\Tests\\Elsewhere", "D:\\Tests");
    ExpectRefused("D:\\ToGame\\Alpha\\", kInside);
    EXPECT_FALSE(Happened("create"));  // not even a test folder: it would be the installation's
    ExpectRefused("d:\\togame\\data\\new\\Alpha\\", kInside);  // only part of it exists
    ExpectRefused("D:\\ToMaps\\Alpha\\", kInside);
    // A folder the installation links to is walked by the copy too.
    fake.AddLink("C:\\Games\\Q\\shared", "D:\\Shared");
    fake.AddFolder("D:\\Shared");
    ExpectRefused("D:\\Shared\\Alpha\\", kInside);

    Duplicate(kSource, "D:\\Tests\\Elsewhere\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);
}

TEST_F(FileSystemTest, ALinkThatLoopsIsRefusedBeforeAnything) {
    const char kLoops[] = "The Quorvane folder contains a link that loops back into itself.";
    for (const char* target : {"C:\\Games\\Q", "C:\\Games", "c:\\", "C:\\Games\\Q\\data"}) {
        fake.AddLink("C:\\Games\\Q\\data\\maps\\back", target);
        ExpectRefused(kDestination, kLoops);
        EXPECT_FALSE(Happened("fetch"));
    }
    // Two links to one folder outside, side by side: no loop, both copied.
    fake.AddLink("C:\\Games\\Q\\data\\maps\\back", "E:\\Common");
    fake.AddLink("C:\\Games\\Q\\also", "E:\\Common");
    fake.AddFile("E:\\Common\\textures.pak", 1000);
    Duplicate(kSource, "D:\\Tests\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);
}

TEST_F(FileSystemTest, ANewCopyNeedsRoomForTheWholeInstallation) {
    const std::uint64_t size = 10 + 5000 + 990 + 3 * 40;
    fake.freeSpace["D:"] = size - 1;
    ExpectRefused("D:\\Tests\\Alpha\\", "There is not enough free space for the copy.");
    ExpectRefused("D:\\Tests\\deeper\\Alpha\\", "There is not enough free space for the copy.");

    // Merged into an existing copy, even an empty one, only what the copy adds counts.
    fake.AddFolder("D:\\Tests\\Alpha");
    ExpectRefused("D:\\Tests\\Alpha\\", "There is not enough free space for the copy.");
    fake.AddFile("D:\\Tests\\Alpha\\data\\big.pak", 1);
    Duplicate(kSource, "D:\\Tests\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);
    // Again into it: files there larger than the installation's (the connection files) add
    // nothing.
    Duplicate(kSource, "D:\\Tests\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);

    fake.freeSpace["D:"] = size;
    Duplicate(kSource, "D:\\Tests\\Beta\\");
    EXPECT_TRUE(fake.quitPosted);
}

TEST_F(FileSystemTest, TheCopyIsCheckedAgainstTheWalk) {
    const char kFailed[] = "Failed to copy the Quorvane folder.";
    // The shell reports success but left out a file deep down.
    fake.copyOmits = {"DATA\\MAPS\\ONE.MAP"};
    Duplicate(kSource, "D:\\Tests\\A1\\");
    ExpectStoppedWith(kFailed, true);
    // Or left a file short, or a folder stands where an empty file belongs.
    fake.copyOmits.clear();
    fake.copyShortens = {"DATA\\BIG.PAK"};
    Duplicate(kSource, "D:\\Tests\\A0\\");
    ExpectStoppedWith(kFailed, true);
    fake.copyShortens.clear();
    fake.AddFile("C:\\Games\\Q\\empty.cfg", 0);
    fake.AddFolder("D:\\Tests\\A0\\empty.cfg");
    Duplicate(kSource, "D:\\Tests\\A0\\");
    ExpectStoppedWith(kFailed, true);

    // Below a junction or link the copy is not compared, only its presence; any other folder
    // (a cloud placeholder, a mounted volume) is descended.
    fake.AddLink("C:\\Games\\Q\\linked", "E:\\Common");
    fake.AddFile("E:\\Common\\textures.pak", 1000);
    fake.copyOmits = {"LINKED\\TEXTURES.PAK"};
    Duplicate(kSource, "D:\\Tests\\A2\\");
    EXPECT_TRUE(fake.quitPosted);
    fake.copyOmits = {"LINKED"};
    Duplicate(kSource, "D:\\Tests\\A3\\");
    ExpectStoppedWith(kFailed, true);

    // Merging: files already there may keep their own size at the user's word, but every
    // file must be there.
    fake.copyOmits.clear();
    fake.AddFile("D:\\Tests\\A4\\DATA\\big.pak", 12);
    fake.copyKeepsExisting = true;
    Duplicate(kSource, "D:\\Tests\\A4\\");
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_TRUE(Happened("copy C:\\Games\\Q\\* -> D:\\Tests\\A4"));
    fake.AddFile("D:\\Tests\\A5\\DATA\\big.pak", 12);
    fake.copyOmits = {"VERSION.ID"};
    Duplicate(kSource, "D:\\Tests\\A5\\");
    ExpectStoppedWith(kFailed, true);
    // A kept file keeps the size it had before the copy, not one the shell left it with.
    fake.copyOmits.clear();
    fake.copyKeepsExisting = false;
    fake.copyShortens = {"DATA\\BIG.PAK"};
    fake.AddFile("D:\\Tests\\A6\\DATA\\big.pak", 12);
    Duplicate(kSource, "D:\\Tests\\A6\\");
    ExpectStoppedWith(kFailed, true);
}

TEST_F(FileSystemTest, WhatCannotBeReadOrWrittenIsNamedBeforeAnything) {
    fake.unreadable[fake.FoldCase("C:\\Games\\Q\\data\\maps")] = "Access is denied.";
    ExpectRefused(kDestination, "Cannot read C:\\Games\\Q\\data\\maps.\nAccess is denied.");
    EXPECT_EQ(fake.boxes[0].style, kMbOk | kMbIconExclamation);
    fake.unreadable.clear();

    // The shell would ask for administrator rights; the program's own writes cannot. A new
    // copy needs to create a folder, which a drive's root may grant without files.
    fake.noNewFolders["D:\\TESTS"] = "Access is denied.";
    fake.unwritable["D:"] = "Access is denied.";
    ExpectRefused("D:\\Tests\\new\\Alpha\\", "Cannot write D:\\Tests.\nAccess is denied.");
    Duplicate(kSource, "D:\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);
    // An existing one receives files, and so do its folders of the connection files.
    fake.AddFolder("D:\\Tests\\Alpha");
    fake.unwritable = {{"D:\\TESTS\\ALPHA", "Access is denied."}};
    ExpectRefused(kDestination, "Cannot write D:\\Tests\\Alpha.\nAccess is denied.");
    fake.AddFolder(InCopy("\\cd_image\\data\\patcher"));
    fake.unwritable = {{"D:\\TESTS\\ALPHA\\CD_IMAGE\\DATA\\PATCHER", "Access is denied."}};
    ExpectRefused(kDestination,
                  "Cannot write " + InCopy("\\cd_image\\data\\patcher") + ".\nAccess is denied.");
    // Not in the folders above them, where no file goes.
    fake.AddFolder(InCopy("\\cd_image\\data\\launcher"));
    fake.unwritable = {{"D:\\TESTS\\ALPHA\\CD_IMAGE\\DATA", "Access is denied."}};
    Duplicate();
    EXPECT_TRUE(fake.quitPosted);

    // A new copy's files go into the folder it makes, which may inherit no right to them; the
    // folder made to find out goes, or is named.
    fake.unwritable.clear();
    fake.noNewFolders.clear();
    fake.newFoldersRefuseFiles["D:\\TESTS"] = "Access is denied.";
    ExpectRefused("D:\\Tests\\new\\Alpha\\", "Cannot write D:\\Tests.\nAccess is denied.");
    EXPECT_EQ(fake.Find("D:\\Tests\\~tessaloom-probe"), nullptr);
    fake.unremovable["D:\\TESTS"] = "Access is denied.";
    ExpectRefused("D:\\Tests\\new\\Alpha\\",
                  "Cannot write D:\\Tests.\nAccess is denied.\nCannot remove the test folder "
                  "D:\\Tests\\~tessaloom-probe.\nAccess is denied.");
    fake.newFoldersRefuseFiles.clear();  // and the one left is passed over
    ExpectRefused("D:\\Tests\\new\\Alpha\\",
                  "Cannot remove the test folder D:\\Tests\\~tessaloom-probe1.\nAccess is denied.");
}

TEST_F(FileSystemTest, FoldersWithoutIdentityAreToldApartByPath) {
    // A network share gives files no file ID, though its volume has a serial number.
    fake.AddFile("N:\\Games\\Q\\version.id", 10);
    fake.AddFile("N:\\Games\\Q\\data\\maps\\one.map", 990);
    for (const char* local : {kLauncher, kDozidavuv, kPatcher})
        fake.AddFile(std::string("N:\\Games\\Q") + local, 40);
    fake.AddFolder("N:\\Tests");
    fake.zeroIdentities = {"N:"};
    Duplicate("N:\\Games\\Q", "N:\\Tests\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);
    // Nor final paths: then the paths as walked tell folders apart, and a loop ends where no
    // copy could hold its paths.
    fake.noFinalPaths = {"N:"};
    Duplicate("N:\\Games\\Q", "N:\\Tests\\Gamma\\");
    EXPECT_TRUE(fake.quitPosted);
    // Where a link leads cannot be told then: a link inside the installation or on the way to
    // the destination is refused, and only the names tell a destination inside.
    fake.AddLink("N:\\Games\\Q\\data\\again", "N:\\Games");
    const std::string n = "N:\\Games\\Q";
    ExpectRefused("N:\\Tests\\Delta\\", kCannotTell + n + "\\data\\again", n);
    EXPECT_EQ(fake.boxes[0].text, kCannotTell + n + "\\data\\again");  // fits its line
    fake.nodes.erase("N:\\GAMES\\Q\\DATA\\AGAIN");
    fake.AddLink("N:\\ToTests", "N:\\Tests");
    ExpectRefused("N:\\ToTests\\Alpha\\", kCannotTell + std::string("N:\\ToTests"), n);
    ExpectRefused("N:\\Games\\Q\\sub\\Alpha\\", kInside, n);
    fake.noFinalPaths.clear();

    fake.AddLink("N:\\ToGame", "N:\\Games\\Q");
    Duplicate("N:\\Games\\Q", "N:\\ToGame\\Alpha\\");
    ExpectStoppedWith(kInside);
    fake.AddLink("N:\\Games\\Q\\data\\back", "N:\\Games");
    Duplicate("N:\\Games\\Q", "N:\\Tests\\Beta\\");
    ExpectStoppedWith("The Quorvane folder contains a link that loops back into itself.");
}

TEST_F(FileSystemTest, FreeSpaceCountsWholeClusters) {
    // 6120 bytes in 6 files: 7 clusters of 4 KiB, 28672 bytes.
    fake.clusterSize["D:"] = 4096;
    fake.freeSpace["D:"] = 28671;
    ExpectRefused("D:\\Tests\\Alpha\\", "There is not enough free space for the copy.");
    fake.freeSpace["D:"] = 28672;
    Duplicate(kSource, "D:\\Tests\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);

    // A file of an existing copy frees what it occupies, as listed (an online-only or sparse
    // file nothing), where the listing does not say its whole clusters; and no more than the
    // file that replaces it needs (8192 bytes for big.pak).
    fake.AddFile("D:\\Tests\\Beta\\data\\big.pak", 5000);
    FakeNode& there = fake.nodes.at("D:\\TESTS\\BETA\\DATA\\BIG.PAK");
    fake.freeSpace["D:"] = 28672 - 8192;
    there.allocated = 0;
    ExpectRefused("D:\\Tests\\Beta\\", "There is not enough free space for the copy.");
    there.allocated = 1 << 20;
    fake.freeSpace["D:"] = 28672 - 8192 - 1;
    ExpectRefused("D:\\Tests\\Beta\\", "There is not enough free space for the copy.");
    fake.freeSpace["D:"] = 28672 - 4096 - 1;
    fake.noAllocations = {"D:"};
    there.size = 1;
    ExpectRefused("D:\\Tests\\Beta\\", "There is not enough free space for the copy.");
    fake.freeSpace["D:"] = 28672 - 4096;
    Duplicate(kSource, "D:\\Tests\\Beta\\");
    EXPECT_TRUE(fake.quitPosted);
}

TEST_F(FileSystemTest, AFileInTheWayIsRefusedBeforeAnything) {
    fake.AddFile("D:\\Tests\\Beta", 5);
    fake.unreadable["C:\\GAMES\\Q"] = "Access is denied.";  // the walk comes after
    for (const char* destination : {"D:\\Tests\\Beta\\", "D:\\Tests\\Beta\\deeper\\Alpha\\"}) {
        ExpectRefused(destination,
                      "A file is in the way of the destination folder:\nD:\\Tests\\Beta");
    }
    EXPECT_EQ(fake.Find("D:\\Tests\\Beta")->size, 5u);
}

TEST_F(FileSystemTest, NeverIntoTheInstallationThroughAnExistingDestination) {
    // The existing copy's folder is a junction to the installation's own, or to another of its
    // folders: more than a link, the installation.
    fake.AddLink("D:\\Tests\\Alpha\\cd_image", "C:\\Games\\Q\\cd_image");
    ExpectRefused(kDestination, kInside);
    fake.nodes.erase("D:\\TESTS\\ALPHA\\CD_IMAGE");
    fake.AddLink("D:\\Tests\\Alpha\\data", "C:\\Games\\Q\\cd_image");
    ExpectRefused(kDestination, kInside);
    fake.nodes.erase("D:\\TESTS\\ALPHA\\DATA");

    // The installation links into the existing destination: the copy would read what it
    // writes.
    fake.AddLink("C:\\Games\\Q\\data\\out", "D:\\Tests\\Alpha\\logs");
    fake.AddFolder("D:\\Tests\\Alpha\\logs");
    ExpectRefused(kDestination, kInside);
    Duplicate(kSource, "D:\\Tests\\Beta\\");
    EXPECT_TRUE(fake.quitPosted);
    fake.nodes.erase("C:\\GAMES\\Q\\DATA\\OUT");

    // A folder only the program writes into: the patcher's, which this installation lacks.
    fake.nodes.erase("C:\\GAMES\\Q\\CD_IMAGE\\DATA\\PATCHER\\QUORVANEPATCHER.URL");
    fake.nodes.erase("C:\\GAMES\\Q\\CD_IMAGE\\DATA\\PATCHER");
    fake.AddLink("D:\\Tests\\Gamma\\cd_image\\data\\patcher", "C:\\Games\\Q\\data");
    ExpectRefused("D:\\Tests\\Gamma\\", kInside);
}

TEST_F(FileSystemTest, AnExistingCopySharingAFileWithTheInstallationIsRefused) {
    const std::string copy = "C:\\Tests\\Alpha";
    // A second name of one of its files at a path the copy writes, or a link to one.
    fake.AddHardLink(copy + "\\data\\maps\\one.map", "C:\\Games\\Q\\data\\maps\\one.map");
    ExpectRefused(copy + "\\", kInside);
    fake.nodes.erase(fake.FoldCase(copy + "\\data\\maps\\one.map"));
    fake.AddLink(copy + "\\version.id", "C:\\Games\\Q\\data\\big.pak");
    ExpectRefused(copy + "\\", kInside);
    fake.nodes.erase(fake.FoldCase(copy + "\\version.id"));
    // At a connection file's name that the installation lacks.
    fake.nodes.erase(fake.FoldCase(std::string(kSource) + kPatcher));
    fake.AddHardLink(copy + kPatcher, "C:\\Games\\Q\\version.id");
    ExpectRefused(copy + "\\", kInside);
    fake.nodes.erase(fake.FoldCase(copy + kPatcher));

    // A hard link to a file outside that the installation links to, which the copy reads.
    fake.AddFile("C:\\Common\\textures.pak", 1000);
    fake.AddLink("C:\\Games\\Q\\textures.pak", "C:\\Common\\textures.pak");
    fake.AddHardLink(copy + "\\textures.pak", "C:\\Common\\textures.pak");
    ExpectRefused(copy + "\\", kInside);
    fake.nodes.erase(fake.FoldCase(copy + "\\textures.pak"));
    // Where files have no identity, a link to one inside the installation is told by its path.
    fake.AddFile("N:\\Games\\Q\\version.id", 10);
    fake.AddFile("N:\\Games\\Q\\data\\one.map", 990);
    fake.AddLink("N:\\Tests\\Alpha\\version.id", "N:\\Games\\Q\\data\\one.map");
    fake.zeroIdentities = {"N:"};
    ExpectRefused("N:\\Tests\\Alpha\\", kInside, "N:\\Games\\Q");
}

TEST_F(FileSystemTest, NothingOfAnExistingCopyIsWrittenThrough) {
    const std::string copy = "D:\\Tests\\Alpha";
    // The patcher's folder only the program writes into.
    fake.nodes.erase("C:\\GAMES\\Q\\CD_IMAGE\\DATA\\PATCHER\\QUORVANEPATCHER.URL");
    fake.nodes.erase("C:\\GAMES\\Q\\CD_IMAGE\\DATA\\PATCHER");
    fake.AddFolder("E:\\Other");
    // A folder on the way to the copy's files or the program's, a file the copy writes and a
    // file of other names; links to files shown as links (Windows) or as files (Wine); a
    // link to nothing at a connection file's name, which no listing shows.
    const struct {
        const char* at;
        const char* to;
        bool hard;
    } links[] = {
        {"\\data", "E:\\Other", false},
        {kLauncher, "E:\\Other", false},
        {"\\cd_image\\data\\patcher", "E:\\Other", false},
        {"\\data\\big.pak", "E:\\Other\\big.pak", false},
        {"\\data\\maps\\one.map", "E:\\Other\\one.map", true},
        {kPatcher, "E:\\Nowhere\\patcher.url", false},
    };
    for (bool hidden : {false, true}) {
        fake.listingsHideFileLinks = hidden;
        for (const auto& link : links) {
            fake.AddFolder(copy);
            if (link.hard) {
                fake.AddFile(link.to, 7);
                fake.AddHardLink(copy + link.at, link.to);
            } else {
                if (std::string(link.to) != "E:\\Other" && link.at != kPatcher) {
                    fake.AddFile(link.to, 7);
                }
                fake.AddLink(copy + link.at, link.to);
            }
            ExpectRefused(copy + "\\", kWrittenThrough + copy + link.at);
            EXPECT_EQ(fake.Find("E:\\Nowhere\\patcher.url"), nullptr);
            fake.nodes.erase(fake.FoldCase(copy + link.at));
        }
    }
    // The destination itself is the user's choice, and a link where nothing is written stays.
    fake.AddLink("D:\\Tests\\Via", copy);
    fake.AddLink(copy + "\\mine", "E:\\Other");
    fake.AddFile(copy + kLauncherTemporary, 3);  // a temporary name taken
    Duplicate(kSource, "D:\\Tests\\Via\\");
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_EQ(fake.Find(copy + kLauncher)->content, Payload("alpha0"));
    EXPECT_EQ(fake.Find(copy + kLauncherTemporary)->size, 3u);
}

TEST_F(FileSystemTest, AnInstallationAtADriveRoot) {
    fake.AddFile("E:\\version.id", 10);
    for (const char* local : {kLauncher, kDozidavuv, kPatcher})
        fake.AddFile(std::string("E:") + local, 40);
    // Its entries go into a destination made first, with the folders above it.
    Duplicate("E:\\", "D:\\Tests\\new\\deeper\\Alpha\\");
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_TRUE(Happened("probe E:\\version.id"));
    EXPECT_TRUE(Happened("copy E:\\* -> D:\\Tests\\new\\deeper\\Alpha"));
}

TEST_F(FileSystemTest, NamesCompareAsTheFileSystemFoldsThem) {
    // "Ёлка" and "ёЛКА" are one name to the file system, as "data" and "DATA" are: the copy
    // merged into an existing one that spells them otherwise is whole.
    fake.AddFile("C:\\Games\\Q\\data\\\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0.pak", 7);
    fake.AddFile("D:\\Tests\\Alpha\\DATA\\\xD1\x91\xD0\x9B\xD0\x9A\xD0\x90.PAK", 3);
    Duplicate();
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_EQ(fake.boxes.back().text, "Operation completed.");

    const std::string source = "C:\\\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0";
    fake.AddFile(source + "\\version.id", 1);
    Duplicate(source, "c:\\\xD1\x91\xD0\x9B\xD0\x9A\xD0\x90\\Alpha\\");
    ExpectStoppedWith("The destination folder must not be inside the Quorvane folder.");
}

TEST_F(FileSystemTest, EveryPathOfTheCopyMustFit) {
    // Counted in UTF-16 units: 200 Cyrillic letters are 400 bytes but 200 characters.
    std::string cyrillic = "D:\\";
    for (int i = 0; i < 201; ++i) cyrillic += i == 100 ? "\\" : "\xD0\x96";
    Duplicate(kSource, ComposeDestination(cyrillic, "Alpha"));
    EXPECT_TRUE(fake.quitPosted);

    // The installation's deepest file lies 159 characters below it: a destination the
    // connection files fit under is still too short for the copy.
    const std::string deep =
        std::string(70, 'd') + "\\" + std::string(70, 'e') + "\\" + std::string(17, 'f');
    fake.AddFile(std::string(kSource) + "\\" + deep, 1);
    const std::string parent = "D:\\" + std::string(91, 'p');  // and "\\Alpha\\deep": 260
    ExpectRefused(ComposeDestination(parent, "Alpha"), "The destination path is too long.");
    Duplicate(kSource, ComposeDestination(parent.substr(0, parent.size() - 1), "Alpha"));
    EXPECT_TRUE(fake.quitPosted);

    // A folder 201 characters below the copy, its file 203: under a destination of 46 the
    // file fits but the folder, 248, cannot be created; unless it is there already.
    const std::string folder = std::string(150, 'g') + "\\" + std::string(50, 'h');
    fake.AddFile(std::string(kSource) + "\\" + folder + "\\x", 1);
    ExpectRefused(ComposeDestination("D:\\" + std::string(37, 'q'), "Alpha"),
                  "The destination path is too long.");
    Duplicate(kSource, ComposeDestination("D:\\" + std::string(36, 'q'), "Alpha"));
    EXPECT_TRUE(fake.quitPosted);
    fake.AddFolder(ComposeDestination("D:\\" + std::string(37, 'r'), "Alpha"));
    ExpectRefused(ComposeDestination("D:\\" + std::string(37, 'r'), "Alpha"),
                  "The destination path is too long.");
    fake.AddFolder(ComposeDestination("D:\\" + std::string(37, 'r'), "Alpha") + folder);
    Duplicate(kSource, ComposeDestination("D:\\" + std::string(37, 'r'), "Alpha"));
    EXPECT_TRUE(fake.quitPosted);
}

TEST_F(DuplicateTest, ServerValueLosesItsCarriageReturns) {
    fake.replies[ListUrl()] = {Body("Alpha=al\rpha\r\n")};
    Duplicate();
    EXPECT_EQ(fake.fetchedUrls.front(), FileUrl("alpha", 0));
}

TEST_F(DuplicateTest, CancelledFetchStopsBeforeTheNextFiles) {
    fake.replies[FileUrl("alpha", 0)] = {Failure(0x80190194u)};
    Duplicate();
    EXPECT_EQ(fake.fetchedUrls, std::vector<std::string>{FileUrl("alpha", 0)});
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[0].style, kMbRetryCancel);
    EXPECT_EQ(fake.boxes[1].text, "Failed to download QuorvaneLauncher.url file.");
    EXPECT_FALSE(Happened("copy"));
}

TEST_F(DuplicateTest, CancelAtTheSecondFileReleasesTheFirstAndCanRunAgain) {
    fake.replies[FileUrl("alpha", 1)] = {Failure(kResultDownloadFailure), Body(Payload("again"))};
    Run(kSource, kDestination, [](FakePlatform& platform, FakeDialog& dialog) {
        platform.Click(dialog, IDC_DUPLICATE);
        EXPECT_EQ(platform.boxes.back().text, "Failed to download DozidavuvUvurez.url file.");
        EXPECT_EQ(platform.fetchedUrls.size(), 2u);
        EXPECT_EQ(platform.liveStreams, 0);
        EXPECT_FALSE(dialog.ended);
        platform.Click(dialog, IDC_DUPLICATE);
    });
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_EQ(fake.writtenFiles[InCopy(kDozidavuv)], Payload("again"));
}

TEST_F(DuplicateTest, CopyFailureAndCancelWriteNothing) {
    fake.copyResult = {0x75, false};
    Duplicate();
    ExpectStoppedWith("Failed to copy the Quorvane folder.", true);

    // The shell may return 0 after the user cancelled part of the copy.
    for (int code : {0, 0x4C7}) {
        fake.copyResult = {code, true};
        Duplicate();
        ExpectStoppedWith("Operation aborted by user.", true);
    }
}

TEST_F(DuplicateTest, WriteFailureNamesTheFileAndKeepsRunning) {
    const std::string patcher = InCopy(kPatcher), folder = InCopy("\\cd_image\\data\\patcher");
    fake.writeFailures[folder] = "The system cannot find the path specified.";
    Duplicate();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text,
              "Cannot write D:\\Tests\\Alpha\\cd_image\\data\\patcher\\\nQuorvanePatcher.url.\n"
              "The system cannot find the path specified.");
    EXPECT_FALSE(Happened("open"));
    EXPECT_FALSE(fake.quitPosted);
    EXPECT_EQ(fake.liveStreams, 0);
    // Nothing replaced: the files written before it are removed, never moved.
    EXPECT_FALSE(Happened("move"));
    EXPECT_TRUE(Happened("remove " + InCopy(kLauncherTemporary)));
    EXPECT_TRUE(Happened("remove " + InCopy(kDozidavuvTemporary)));
    EXPECT_TRUE(fake.writtenFiles.empty());

    // A write that fails part-way never takes the name: the part is removed, the copied file
    // stays as it was.
    fake.failAfterCreating.insert(folder);
    fake.writeFailures[folder] = "There is not enough space on the disk.";
    Duplicate();
    EXPECT_TRUE(Happened("remove " + InCopy(kPatcherTemporary)));
    EXPECT_EQ(fake.writtenFiles.count(patcher), 0u);
    EXPECT_EQ(fake.Find(patcher)->size, 40u);
    EXPECT_EQ(fake.Find(InCopy(kPatcherTemporary)), nullptr);
    EXPECT_FALSE(fake.quitPosted);

    // A move that fails names its file and those replaced before it; nothing staged stays.
    fake.writeFailures.clear();
    fake.moveFailures[InCopy(kDozidavuv)] = "Access is denied.";
    Duplicate();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(Flat(fake.boxes[0].text), "Cannot write " + InCopy(kDozidavuv) +
                                            ".Access is denied.Replaced already: "
                                            "QuorvaneLauncher.url.");
    EXPECT_EQ(fake.writtenFiles[InCopy(kLauncher)], Payload("alpha0"));
    EXPECT_EQ(fake.writtenFiles.count(InCopy(kDozidavuv)), 0u);
    for (const char* temporary : {kDozidavuvTemporary, kPatcherTemporary}) {
        EXPECT_EQ(fake.Find(InCopy(temporary)), nullptr) << temporary;
    }
    EXPECT_FALSE(Happened("move " + InCopy(kPatcherTemporary)));
    EXPECT_FALSE(fake.quitPosted);
    fake.moveFailures = {{patcher, "Access is denied."}};
    Duplicate();
    EXPECT_NE(
        fake.boxes[0].text.find("Replaced already: QuorvaneLauncher.url, DozidavuvUvurez.url."),
        std::string::npos);

    // Every temporary name taken: none of those files is the program's to remove.
    for (int i = 0; i < 100; ++i)
        fake.AddFile(folder + "\\~tessaloom" + std::to_string(i) + ".tmp", 1);
    Duplicate();
    EXPECT_EQ(Flat(fake.boxes[0].text),
              "Cannot write " + patcher + ".Too many temporary files are in the way.");
    EXPECT_NE(fake.Find(folder + "\\~tessaloom99.tmp"), nullptr);
}

TEST_F(DuplicateTest, SavesWholeStreamsAndRefusesBrokenOnes) {
    std::string big(200 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
    fake.replies[FileUrl("alpha", 0)] = {Body(big)};
    Duplicate();
    EXPECT_EQ(fake.writtenFiles[InCopy(kLauncher)], big);

    FakeFetch statFails = Body("x"), readFails = Body("x"), shortBody = Body("abc");
    statFails.statFails = true;
    readFails.readFails = true;
    shortBody.reportedSize = 4;
    for (const FakeFetch& broken : {statFails, readFails, shortBody}) {
        fake.replies[FileUrl("alpha", 1)] = {broken};
        Duplicate();
        std::string dozidavuv = InCopy(kDozidavuv);
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_NE(Flat(fake.boxes[0].text).find(dozidavuv), std::string::npos);
        EXPECT_EQ(fake.writtenFiles.count(dozidavuv), 0u);
        EXPECT_FALSE(fake.quitPosted);
    }
}

// --- Folder pickers -----------------------------------------------------------------------

class PickerTest : public DuplicateTest {
protected:
    void Click(int button, const UserScript& after = {}) {
        Run("old source", "old destination", [&](FakePlatform& platform, FakeDialog& dialog) {
            platform.Click(dialog, button);
            source = dialog.controls[IDC_SOURCE_EDIT].text;
            destination = dialog.controls[IDC_DEST_EDIT].text;
            if (after) after(platform, dialog);
        });
    }
    std::string source, destination;
};

TEST_F(PickerTest, SourceIsTakenAsPicked) {
    fake.browseReplies = {{BrowseResult::kChosen, "C:\\Games\\Q"}};
    Click(IDC_BROWSE_SOURCE);
    EXPECT_EQ(source, "C:\\Games\\Q");
    EXPECT_EQ(fake.browseTitles, std::vector<std::string>{"Select the Quorvane folder:"});
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(PickerTest, NoPathLeavesTheFieldAsItWas) {
    const std::pair<BrowseResult, const char*> cases[] = {
        {BrowseResult::kCancelled, "No folder selected"},
        {BrowseResult::kNotFileSystem, nullptr},
        {BrowseResult::kChosen, "Error"},  // an empty path
    };
    for (int button : {IDC_BROWSE_SOURCE, IDC_BROWSE_DEST}) {
        for (const auto& c : cases) {
            fake.browseReplies = {{c.first, ""}};
            Click(button);
            EXPECT_EQ(source, "old source");
            EXPECT_EQ(destination, "old destination");
            EXPECT_EQ(BoxTexts(),
                      c.second ? std::vector<std::string>{c.second} : std::vector<std::string>{});
        }
    }
}

TEST_F(PickerTest, DestinationIsFolderNameAndSeparator) {
    fake.browseReplies = {{BrowseResult::kChosen, "D:\\Tests"}};
    Click(IDC_BROWSE_DEST, [](FakePlatform& platform, FakeDialog& dialog) {
        platform.Select(dialog, 1);  // a later change of server leaves the field alone
    });
    EXPECT_EQ(destination, "D:\\Tests\\Alpha\\");
    EXPECT_EQ(fake.browseTitles,
              std::vector<std::string>{"Select where you want the \"Alpha\" folder:"});

    fake.browseReplies = {{BrowseResult::kChosen, "Z:\\"}};
    Click(IDC_BROWSE_DEST);
    EXPECT_EQ(destination, "Z:\\Alpha\\");
}

TEST_F(PickerTest, DestinationNeedsAUsableServerName) {
    fake.replies[ListUrl()] = {Body("..\\..\\Windows=w\nCON=c\n")};
    fake.browseReplies = {{BrowseResult::kChosen, "D:\\Tests"}};
    Click(IDC_BROWSE_DEST);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"The test server name cannot be used as a folder name."});
    EXPECT_TRUE(fake.browseTitles.empty());
    EXPECT_EQ(destination, "old destination");

    fake.replies[ListUrl()] = {Failure(kResultDownloadFailure)};
    Click(IDC_BROWSE_DEST);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No test server selected"});
    EXPECT_TRUE(fake.browseTitles.empty());
}

TEST_F(PickerTest, DestinationLengthAsDuplicateJudgesIt) {
    // "D:\<parent>\Alpha\": the longest path fits for a parent of 206 characters, not 207.
    for (std::size_t length : {206u, 207u}) {
        const std::string parent = "D:\\" + std::string(length, 'x');
        fake.browseReplies = {{BrowseResult::kChosen, parent}};
        Click(IDC_BROWSE_DEST);
        const bool accepted = destination == parent + "\\Alpha\\";
        EXPECT_EQ(accepted, length == 206u);
        EXPECT_EQ(BoxTexts(), accepted
                                  ? std::vector<std::string>{}
                                  : std::vector<std::string>{"The destination path is too long."});
        Duplicate(kSource, parent + "\\Alpha\\");
        EXPECT_EQ(fake.quitPosted, accepted);
    }
}

}  // namespace
}  // namespace tessaloom
