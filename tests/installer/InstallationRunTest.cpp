// The installation run: every file of each found product written into its Languages
// folder, logged, counted and shown on the progress bar.
#include "FakePlatform.h"
#include "Installer.h"

#include <gtest/gtest.h>

namespace {

constexpr char kTrovimo[] = "C:\\Apps\\Trovimo\\";
constexpr char kLunesca[] = "C:\\Program Files\\Lunesca\\";
constexpr const char* kCodes[] = {"ar", "dk", "es", "hr", "it", "kr", "pt", "se"};

struct Run : ::testing::Test {
    FakePlatform platform;
    RecordingWindow window;
    Installer installer{platform, window, window};

    Run()
    {
        for (const char* code : kCodes) {
            platform.payloads[std::string("ICON_") + code] = std::string("BM flag ") + code;
            platform.payloads[std::string("TEXT_TV_") + code] = std::string("0\0text tv ", 10) + code;
            if (std::string_view(code) != "ar")
                platform.payloads[std::string("TEXT_LN_") + code] = std::string("0\0text ln ", 10) + code;
        }
    }

    void Install(const char* folder, const char* key)
    {
        platform.SetPath(key, std::string(folder) + "Product.exe");
        platform.folders.insert(std::string(folder) + "Languages");
    }
    void InstallTrovimo() { Install(kTrovimo, "Software\\Vexlo\\Trovimo"); }
    void InstallLunesca() { Install(kLunesca, "Software\\Vexlo\\Lunesca"); }

    // The log of the run alone, after the start-up report.
    std::string RunLog()
    {
        installer.DiscoverProducts();
        const std::size_t start = window.log.size();
        installer.RunInstallation();
        return window.log.substr(start);
    }

    static std::string Lines(const std::string& folder, const char* product, const char* outcome)
    {
        std::string lines;
        for (const char* code : kCodes) {
            if (std::string_view(product) == "ln" && std::string_view(code) == "ar")
                continue;
            std::string upper = code;
            for (char& c : upper)
                c = static_cast<char>(c - 'a' + 'A');
            for (const char* ext : {".lng", ".bmp"})
                lines.append("\"").append(folder).append("Languages\\").append(upper).append(ext).append("\" - ").append(outcome).append("\r\n");
        }
        return lines;
    }
};

TEST_F(Run, WritesAllThirtyFilesTrovimoFirst)
{
    InstallTrovimo();
    InstallLunesca();

    const std::string log = RunLog();

    EXPECT_EQ(log, "\r\nInstallation log:\r\n" + Lines(kTrovimo, "tv", "OK") + Lines(kLunesca, "ln", "OK"));
    EXPECT_TRUE(log.starts_with("\r\nInstallation log:\r\n\"C:\\Apps\\Trovimo\\Languages\\AR.lng\" - OK\r\n"));
    EXPECT_EQ(window.informationBoxes, std::vector<std::string>{"Installation is finished.\r\n\r\nThere were no errors."});
    EXPECT_EQ(platform.files.at("C:\\Apps\\Trovimo\\Languages\\AR.lng").bytes, platform.payloads.at("TEXT_TV_ar"));
    EXPECT_EQ(platform.files.at("C:\\Program Files\\Lunesca\\Languages\\DK.lng").bytes, platform.payloads.at("TEXT_LN_dk"));
    // One flag payload serves both products.
    EXPECT_EQ(platform.files.at("C:\\Apps\\Trovimo\\Languages\\DK.bmp").bytes, "BM flag dk");
    EXPECT_EQ(platform.files.at("C:\\Program Files\\Lunesca\\Languages\\DK.bmp").bytes, "BM flag dk");
    EXPECT_FALSE(platform.files.contains("C:\\Program Files\\Lunesca\\Languages\\AR.bmp"));
    EXPECT_EQ(platform.files.size(), 30u);
}

TEST_F(Run, EndsWithOnlyCloseLeftAndTheBarFull)
{
    InstallTrovimo();
    InstallLunesca();

    RunLog();

    EXPECT_FALSE(window.installEnabled);
    EXPECT_TRUE(window.cancelEnabled);
    EXPECT_EQ(window.cancelCaption, "&Close");
    EXPECT_EQ(window.buttonsWhenBoxShown, (std::pair{false, true}));
    EXPECT_EQ(window.progressMax, 30);
    EXPECT_EQ(window.progressPosition, 30);
    EXPECT_FALSE(window.positionPassedMax);
    // The log was scrolled and repainted after every file, showing that file's line.
    ASSERT_EQ(window.logAtScroll.size(), 30u);
    EXPECT_TRUE(window.logAtScroll[0].ends_with("\\AR.lng\" - OK\r\n"));
}

TEST_F(Run, WritesOnlyLunescaWhenTrovimoIsMissing)
{
    InstallLunesca();

    EXPECT_EQ(RunLog(), "\r\nInstallation log:\r\n" + Lines(kLunesca, "ln", "OK"));
    EXPECT_EQ(window.progressPosition, 14);
    EXPECT_EQ(platform.files.size(), 14u);
}

TEST_F(Run, CountsALockedFileAndKeepsItWhileWritingTheRest)
{
    InstallTrovimo();
    InstallLunesca();
    platform.files["C:\\Apps\\Trovimo\\Languages\\ES.lng"] = {"in use", true};

    const std::string log = RunLog();

    EXPECT_NE(log.find("\"C:\\Apps\\Trovimo\\Languages\\ES.lng\" - Error\r\n\"C:\\Apps\\Trovimo\\Languages\\ES.bmp\" - OK"), std::string::npos);
    EXPECT_EQ(platform.files.at("C:\\Apps\\Trovimo\\Languages\\ES.lng").bytes, "in use");
    EXPECT_EQ(window.informationBoxes.back(), "Installation is finished.\r\n\r\nThere was one error.");
    EXPECT_EQ(installer.State().errorCount, 1);
    EXPECT_EQ(window.progressPosition, 30) << "a failed file steps the bar too";
}

TEST_F(Run, CountsEveryFileThatCannotBeWritten)
{
    InstallTrovimo();
    InstallLunesca();
    platform.files["C:\\Apps\\Trovimo\\Languages\\KR.bmp"] = {"old flag", false, true};
    platform.shortWrites.insert("C:\\Program Files\\Lunesca\\Languages\\SE.lng");
    platform.folders.insert("C:\\Apps\\Trovimo\\Languages\\PT.lng");  // a folder in the way

    RunLog();

    EXPECT_EQ(installer.State().errorCount, 3);
    EXPECT_EQ(platform.files.at("C:\\Apps\\Trovimo\\Languages\\KR.bmp").bytes, "old flag");
    EXPECT_EQ(window.informationBoxes.back(), "Installation is finished.\r\n\r\nThere were 3 errors.");
}

TEST_F(Run, FailsEveryTrovimoFileWithoutALanguagesFolderAndStillWritesLunesca)
{
    InstallTrovimo();
    InstallLunesca();
    platform.folders.erase("C:\\Apps\\Trovimo\\Languages");

    EXPECT_EQ(RunLog(), "\r\nInstallation log:\r\n" + Lines(kTrovimo, "tv", "Error") + Lines(kLunesca, "ln", "OK"));
    EXPECT_EQ(window.informationBoxes.back(), "Installation is finished.\r\n\r\nThere were 16 errors.");
    EXPECT_FALSE(platform.folders.contains("C:\\Apps\\Trovimo\\Languages")) << "the folder is not created";
}

TEST_F(Run, WritesOnlyTheHeadingWhenNeitherProductWasFound)
{
    EXPECT_EQ(RunLog(), "\r\nInstallation log:\r\n");
    EXPECT_TRUE(platform.writeAttempts.empty());
    EXPECT_EQ(window.progressMax, 0);
    EXPECT_EQ(window.informationBoxes, std::vector<std::string>{"Installation is finished.\r\n\r\nThere were no errors."});
    EXPECT_EQ(window.cancelCaption, "&Close");
}

TEST_F(Run, BreaksOffAtAMissingPayloadWithBothButtonsDisabled)
{
    InstallTrovimo();
    InstallLunesca();
    platform.payloads.erase("TEXT_TV_es");
    installer.DiscoverProducts();

    try {
        installer.RunInstallation();
        ADD_FAILURE() << "the run went on without its payload";
    } catch (const PlatformError& error) {
        EXPECT_STREQ(error.what(), "Resource text_tv_es not found");
        EXPECT_EQ(ErrorBoxText(error.what()), "Resource text_tv_es not found.");
    }
    EXPECT_EQ(platform.writeAttempts.size(), 4u) << "AR and DK only";
    EXPECT_FALSE(window.installEnabled);
    EXPECT_FALSE(window.cancelEnabled);
    EXPECT_EQ(window.cancelCaption, "&Cancel");
    EXPECT_TRUE(window.informationBoxes.empty());
    EXPECT_TRUE(window.log.ends_with("\\DK.bmp\" - OK\r\n"));
}

TEST_F(Run, KeepsTheBarStillWhenLunescasValueFailedAtStartUp)
{
    // Trovimo's folder was kept; the range stayed 0, so the bar does not move.
    InstallTrovimo();
    platform.SetValue("Software\\Vexlo\\Lunesca", "Path", {RegType::Dword, std::string("\1\0\0\0", 4)});
    EXPECT_THROW(installer.DiscoverProducts(), PlatformError);
    const std::size_t reportEnd = window.log.size();

    installer.RunInstallation();

    EXPECT_EQ(window.log.substr(reportEnd), "\r\nInstallation log:\r\n" + Lines(kTrovimo, "tv", "OK"));
    EXPECT_EQ(window.progressMax, 0);
    EXPECT_EQ(window.highestPosition, 0);
    EXPECT_FALSE(window.positionPassedMax);
}

TEST_F(Run, NeverMovesTheBarPastItsMaximum)
{
    InstallTrovimo();
    installer.DiscoverProducts();
    window.SetProgressMax(installer.State().progressRange);
    for (int i = 0; i < 40; ++i)
        installer.ExtractFileFromExe("icon_se", std::string(kTrovimo) + "Languages\\SE.bmp");

    EXPECT_EQ(window.progressPosition, 16);
    EXPECT_FALSE(window.positionPassedMax);
}

TEST(Messages, SummaryCountsTheErrors)
{
    EXPECT_EQ(InstallationSummary(0), "Installation is finished.\r\n\r\nThere were no errors.");
    EXPECT_EQ(InstallationSummary(1), "Installation is finished.\r\n\r\nThere was one error.");
    EXPECT_EQ(InstallationSummary(2), "Installation is finished.\r\n\r\nThere were 2 errors.");
    EXPECT_EQ(InstallationSummary(30), "Installation is finished.\r\n\r\nThere were 30 errors.");
}

TEST(Messages, ErrorBoxAddsAFullStopAfterCharactersAboveIt)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Resource icon_se not found", "Resource icon_se not found."},
        {"Invalid data type for 'Path'", "Invalid data type for 'Path'"},
        {"Error 5", "Error 5."},
        {"Failed:", "Failed:."},
        {"Done.", "Done."},
        {"Really?", "Really?."},  // "?" comes after "." in the code table
        {"Stop!", "Stop!"},
        {"(none)", "(none)"},
        {"trailing ", "trailing "},
        {"", ""},
        {"Path \xc3\xa9", "Path \xc3\xa9."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

TEST(WorkLists, NameEachPayloadInLowerCaseAndEachTargetWithTheCodeInUpperCase)
{
    const std::vector<WorkItem> trovimo = WorkList(kProducts[::kTrovimo]);
    const std::vector<WorkItem> lunesca = WorkList(kProducts[::kLunesca]);
    ASSERT_EQ(trovimo.size(), 16u);
    ASSERT_EQ(lunesca.size(), 14u);
    EXPECT_EQ(trovimo[0].payloadName, "text_tv_ar");
    EXPECT_EQ(trovimo[0].targetName, "Languages\\AR.lng");
    EXPECT_EQ(trovimo[1].payloadName, "icon_ar");
    EXPECT_EQ(trovimo[1].targetName, "Languages\\AR.bmp");
    EXPECT_EQ(trovimo[15].payloadName, "icon_se");
    EXPECT_EQ(lunesca[0].payloadName, "text_ln_dk");
    EXPECT_EQ(lunesca[0].targetName, "Languages\\DK.lng");
    EXPECT_EQ(lunesca[13].targetName, "Languages\\SE.bmp");
}

}  // namespace
