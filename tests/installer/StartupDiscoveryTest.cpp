// Start-up discovery: the report block of each product, the install folders taken
// from the "Path" values, and the termination of running instances.
#include "FakePlatform.h"
#include "Installer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr char kTrovimoKey[] = "Software\\Vexlo\\Trovimo";
constexpr char kLunescaKey[] = "Software\\Vexlo\\Lunesca";

constexpr char kTrovimoListing[] =
    "\tID\tLanguage\t\tVersion\tTranslator\t\tDate\r\n"
    "\t[AR]\tArabic\t\t3.28\tOswindar\t\tFebruary 12, 2009\r\n"
    "\t[DK]\tDanish\t\t3.28\tMarevik\t\tMay 12, 2006\r\n"
    "\t[ES]\tSpanish\t\t3.28\tQuorimel\tSeptember 25, 2006\r\n"
    "\t[HR]\tCroatian\t\t3.28\tVexlo Ltd.\t\tApril 29, 2006\r\n"
    "\t[IT]\tItalian\t\t3.28\tBravinet\t\tNovember 9, 2006\r\n"
    "\t[KR]\tKorean\t\t3.28\tSollidar\t\tMay 29, 2006\r\n"
    "\t[PT]\tPortuguese\t3.28\tEnquisa\t\tNovember 13, 2006\r\n"
    "\t[SE]\tSwedish\t\t3.28\tHalvotry\t\tMay 2, 2006\r\n";

// Lunesca receives no Arabic pack.
constexpr char kLunescaListing[] =
    "\tID\tLanguage\t\tVersion\tTranslator\t\tDate\r\n"
    "\t[DK]\tDanish\t\t3.28\tMarevik\t\tMay 12, 2006\r\n"
    "\t[ES]\tSpanish\t\t3.28\tQuorimel\tSeptember 25, 2006\r\n"
    "\t[HR]\tCroatian\t\t3.28\tVexlo Ltd.\t\tApril 29, 2006\r\n"
    "\t[IT]\tItalian\t\t3.28\tBravinet\t\tNovember 9, 2006\r\n"
    "\t[KR]\tKorean\t\t3.28\tSollidar\t\tMay 29, 2006\r\n"
    "\t[PT]\tPortuguese\t3.28\tEnquisa\t\tNovember 13, 2006\r\n"
    "\t[SE]\tSwedish\t\t3.28\tHalvotry\t\tMay 2, 2006\r\n";

struct Discovery : ::testing::Test {
    FakePlatform platform;
    RecordingWindow window;
    Installer installer{platform, window, window};

    int StartTrovimo(FakeProcess process = {}) { return platform.StartInstance("TfrmTrovimo", "Trovimo", process); }
    int StartLunesca() { return platform.StartInstance("TApplication", "Lunesca"); }
    bool Alive(int process) const { return platform.processes[process].alive; }
};

TEST_F(Discovery, ReportsBothProductsWithTheRunningTrovimoTerminated)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    platform.SetPath(kLunescaKey, "C:\\Program Files\\Lunesca\\Lunesca.exe");
    const int trovimo = StartTrovimo();

    installer.DiscoverProducts();

    EXPECT_EQ(window.log, std::string("\r\nTROVIMO\r\n"
                                      "\tInstances terminated: 1\r\n"
                                      "\tInstallation path: C:\\Apps\\Trovimo\\\r\n")
                              + kTrovimoListing +
                              "\r\nLUNESCA\r\n"
                              "\tInstances terminated: 0\r\n"
                              "\tInstallation path: C:\\Program Files\\Lunesca\\\r\n"
                              + kLunescaListing);
    EXPECT_FALSE(Alive(trovimo));
    EXPECT_EQ(installer.State().progressRange, 30);
    EXPECT_TRUE(window.logAtScroll.empty()) << "discovery only appends";
}

TEST_F(Discovery, ReportsTrovimoAloneAndLeavesAnUnregisteredLunescaRunning)
{
    platform.SetPath(kTrovimoKey, "D:\\Trovimo\\Trovimo.exe");
    const int lunesca = StartLunesca();

    installer.DiscoverProducts();

    EXPECT_EQ(window.log, std::string("\r\nTROVIMO\r\n"
                                      "\tInstances terminated: 0\r\n"
                                      "\tInstallation path: D:\\Trovimo\\\r\n")
                              + kTrovimoListing + "\r\nLUNESCA\r\n\tInstallation path: Not found.\r\n");
    EXPECT_TRUE(Alive(lunesca));
    EXPECT_EQ(installer.State().progressRange, 16);
}

TEST_F(Discovery, ReportsNeitherProductAndTouchesNoProcess)
{
    const int trovimo = StartTrovimo();
    const int lunesca = StartLunesca();

    installer.DiscoverProducts();

    EXPECT_EQ(window.log,
              "\r\nTROVIMO\r\n\tInstallation path: Not found.\r\n"
              "\r\nLUNESCA\r\n\tInstallation path: Not found.\r\n");
    EXPECT_TRUE(Alive(trovimo));
    EXPECT_TRUE(Alive(lunesca));
    EXPECT_TRUE(platform.terminated.empty());
    EXPECT_EQ(installer.State().progressRange, 0);
}

TEST(InstallFolder, IsThePathUpToItsLastSeparator)
{
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"C:\\Apps\\Trovimo\\Trovimo.exe", "C:\\Apps\\Trovimo\\"},
        {"C:\\Apps\\Trovimo\\", "C:\\Apps\\Trovimo\\"},
        {"C:", "C:"},
        {"C:Trovimo.exe", "C:"},
        {"Trovimo.exe", ""},
        {"", ""},
        {"%ProgramFiles%\\Trovimo\\Trovimo.exe", "%ProgramFiles%\\Trovimo\\"},
        {"\\\\server\\share\\Trovimo.exe", "\\\\server\\share\\"},
        {"C:\\Programme\\Трові\\트로비모\\Trovimo.exe", "C:\\Programme\\Трові\\트로비모\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InstallFolderFromPath(c.path), c.folder) << c.path;
}

TEST_F(Discovery, TreatsValuesWithoutAFolderAsNotFound)
{
    const RegValue values[] = {
        {RegType::Sz, std::string("Trovimo.exe\0", 12)},
        {RegType::Sz, ""},
        {RegType::Sz, std::string("\0C:\\Apps\\", 9)},
        {RegType::Dword, ""},  // a value of any type with no data reads as empty text
    };
    for (const RegValue& value : values) {
        FakePlatform fresh;
        RecordingWindow log;
        Installer installer{fresh, log, log};
        fresh.SetValue(kTrovimoKey, "Path", value);
        fresh.StartInstance("TfrmTrovimo", "Trovimo");

        installer.DiscoverProducts();

        EXPECT_TRUE(log.log.starts_with("\r\nTROVIMO\r\n\tInstallation path: Not found.\r\n")) << log.log;
        EXPECT_TRUE(fresh.terminated.empty());
    }
}

TEST_F(Discovery, UsesAnExpandableStringUnexpandedUpToItsFirstNul)
{
    platform.SetValue(kTrovimoKey, "Path", {RegType::ExpandSz, std::string("%ProgramFiles%\\Trovimo\\Trovimo.exe\0junk\\x", 41)});

    installer.DiscoverProducts();

    EXPECT_EQ(installer.State().installFolder[kTrovimo], "%ProgramFiles%\\Trovimo\\");
}

TEST_F(Discovery, StopsAtAValueOfTheWrongTypeBeforeAnythingIsLoggedOrTerminated)
{
    for (const char* failing : {kTrovimoKey, kLunescaKey}) {
        FakePlatform fresh;
        RecordingWindow log;
        Installer installer{fresh, log, log};
        fresh.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
        fresh.SetPath(kLunescaKey, "C:\\Apps\\Lunesca\\Lunesca.exe");
        fresh.SetValue(failing, "Path", {RegType::Dword, std::string("\x2a\0\0\0", 4)});
        fresh.StartInstance("TfrmTrovimo", "Trovimo");

        try {
            installer.DiscoverProducts();
            ADD_FAILURE() << "no error for " << failing;
        } catch (const PlatformError& error) {
            EXPECT_STREQ(error.what(), "Invalid data type for 'Path'");
        }
        EXPECT_EQ(log.log, "");
        EXPECT_TRUE(fresh.terminated.empty());
        EXPECT_EQ(installer.State().progressRange, 0);
        // Trovimo's folder was taken before Lunesca's value failed.
        EXPECT_EQ(installer.State().installFolder[kTrovimo].empty(), failing == kTrovimoKey);
    }
}

TEST_F(Discovery, PassesOnAValueThatCannotBeRead)
{
    platform.SetValue(kLunescaKey, "Path", {RegType::Sz, "C:\\Lunesca\\Lunesca.exe", true});
    EXPECT_THROW(
        {
            try {
                installer.DiscoverProducts();
            } catch (const PlatformError& error) {
                EXPECT_STREQ(error.what(), "Failed to get data for 'Path'");
                throw;
            }
        },
        PlatformError);
}

TEST_F(Discovery, TerminatesTwoRunningInstancesOneAfterTheOther)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    const int first = StartTrovimo({.windowLingers = 120ms});
    const int second = StartTrovimo({.windowLingers = 120ms});

    installer.DiscoverProducts();

    EXPECT_EQ(platform.terminated, (std::vector{first, second}));
    EXPECT_NE(window.log.find("\tInstances terminated: 2\r\n\tInstallation path: "), std::string::npos) << window.log;
    // It waited for each lingering window by pausing, not by spinning.
    EXPECT_GE(platform.pauses, 4);
    EXPECT_LE(platform.findCalls, platform.pauses + 3);
}

TEST_F(Discovery, MatchesWindowsByClassAndTitleRegardlessOfCase)
{
    platform.SetPath(kLunescaKey, "C:\\Lunesca\\Lunesca.exe");
    const int hidden = platform.StartInstance("tapplication", "LUNESCA");
    const int otherTitle = platform.StartInstance("TApplication", "Lunesca Helper");
    const int otherClass = platform.StartInstance("TfrmLunesca", "Lunesca");

    installer.DiscoverProducts();

    EXPECT_EQ(platform.terminated, std::vector{hidden});
    EXPECT_TRUE(Alive(otherTitle));
    EXPECT_TRUE(Alive(otherClass));
}

TEST_F(Discovery, ReportsAnInstanceThatRefusesToEndAndGivesUpAfterFiveSeconds)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    const int stubborn = StartTrovimo({.refusesToDie = true});
    const int behind = StartTrovimo();

    installer.DiscoverProducts();

    EXPECT_NE(window.log.find("\r\nTROVIMO\r\n"
                              "\tInstances terminated: 0\r\n"
                              "\tInstances still running: 1\r\n"
                              "\tInstallation path: C:\\Apps\\Trovimo\\\r\n"),
              std::string::npos)
        << window.log;
    EXPECT_EQ(platform.terminated, std::vector{stubborn}) << "the search stops at the window that stays";
    EXPECT_TRUE(Alive(behind));
    EXPECT_LE(platform.clock, kTerminationWait + 100ms);
    EXPECT_LE(platform.findCalls, 200);
}

TEST_F(Discovery, CountsAnInstanceWhoseWindowGoesAwayLateAsTerminated)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    const int slow = platform.StartProcess({.refusesToDie = true});
    // Its window closes while the search is still watching it.
    platform.OpenWindow(slow, "TfrmTrovimo", "Trovimo", 3s);

    installer.DiscoverProducts();

    EXPECT_NE(window.log.find("\tInstances terminated: 1\r\n\tInstallation path: "), std::string::npos) << window.log;
}

// A program that keeps opening matching windows, each gone once acted on, cannot hold
// the installer at its start: the search acts on 32 windows and leaves the rest running.
TEST_F(Discovery, ActsOnAtMostThirtyTwoWindowsOfAStreamOfDecoys)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    const int decoy = StartTrovimo({.refusesToDie = true, .replacesItsWindow = true});

    installer.DiscoverProducts();

    EXPECT_EQ(platform.terminated, std::vector<int>(32, decoy));
    EXPECT_NE(window.log.find("\tInstances terminated: 32\r\n"
                              "\tInstances still running: 1\r\n"
                              "\tInstallation path: C:\\Apps\\Trovimo\\\r\n"),
              std::string::npos)
        << window.log;
    EXPECT_TRUE(Alive(decoy));
    EXPECT_EQ(installer.State().progressRange, 16) << "the report goes on as usual";
}

// Each instance takes a second to end: after 15 s no further one is acted on, and the
// ones left count as still running.
TEST_F(Discovery, StartsOnNoFurtherWindowAfterFifteenSeconds)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    std::vector<int> instances(30);
    for (int& instance : instances)
        instance = StartTrovimo({.terminationTakes = 1s});

    installer.DiscoverProducts();

    EXPECT_EQ(platform.terminated, std::vector(instances.begin(), instances.begin() + 15));
    EXPECT_NE(window.log.find("\tInstances terminated: 15\r\n\tInstances still running: 1\r\n"), std::string::npos)
        << window.log;
    EXPECT_EQ(platform.clock, std::chrono::seconds(15));
    EXPECT_TRUE(Alive(instances[15]));
}

// The bounds hold per product: Lunesca is searched in full after Trovimo's search ran out.
TEST_F(Discovery, GivesEachProductItsOwnBounds)
{
    platform.SetPath(kTrovimoKey, "C:\\Apps\\Trovimo\\Trovimo.exe");
    platform.SetPath(kLunescaKey, "C:\\Lunesca\\Lunesca.exe");
    StartTrovimo({.refusesToDie = true, .replacesItsWindow = true, .terminationTakes = 1s});
    const int lunesca = platform.StartInstance("TApplication", "Lunesca", {.terminationTakes = 14s});

    installer.DiscoverProducts();

    EXPECT_FALSE(Alive(lunesca));
    EXPECT_NE(window.log.find("\r\nLUNESCA\r\n\tInstances terminated: 1\r\n\tInstallation path: "), std::string::npos)
        << window.log;
}

}  // namespace
