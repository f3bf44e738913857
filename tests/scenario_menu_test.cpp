// The scenario language's blocks, and the tray menu and About steps in whole runs: what they
// print and how they fail.
#include "scenario.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using scn::Outcome;
using scn::StepTable;

void nothing(scn::Session&, const scn::Args&) {}

StepTable blockTable() {
    StepTable t;
    t.add({.name = "start", .run = nothing});
    t.add({.name = "expect tree", .forms = {"[<title>]"}, .run = nothing, .block = true});
    return t;
}

TEST(ScenarioBlocks, TheBarLinesBelowAStepAreItsBlockAsWritten) {
    const auto table = blockTable();
    const auto r = table.parse("expect tree\n"
                               "  | (*) Office\r\n"
                               "\t|   Speakers  \n"
                               "|\n"
                               "start\n"
                               "expect tree \"second\"\n"
                               "start\n",
                               "test");
    ASSERT_TRUE(r.errors.empty()) << r.errors.front().message;
    ASSERT_EQ(r.scenario.steps.size(), 4u);
    // One blank after the bar goes; the rest of the line stays, indentation included.
    EXPECT_EQ(r.scenario.steps[0].args.text("block"), "(*) Office\n  Speakers  \n");
    EXPECT_EQ(r.scenario.steps[1].line, 5);
    EXPECT_FALSE(r.scenario.steps[2].args.has("block"));
    EXPECT_EQ(r.scenario.steps[2].args.text("title"), "second");
}

TEST(ScenarioBlocks, ABlockBelongsOnlyRightBelowAStepThatTakesOne) {
    const auto table = blockTable();
    for (const char* text : {"| stray\nstart\n", "start\n| not mine\n", "expect tree\n\n| late\n",
                             "expect tree\n# note\n| late\n"}) {
        const auto r = table.parse(text, "test");
        ASSERT_EQ(r.errors.size(), 1u) << text;
        EXPECT_NE(r.errors[0].message.find("takes a block"), std::string::npos)
            << r.errors[0].message;
    }
    // A step that cannot be read is reported once, not once more for each of its lines.
    const auto r = table.parse("expect tree a b\n| x\n| y\nstart\n", "test");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].line, 1);
}

scn::RunResult run(std::string_view text, std::string& transcript) {
    std::ostringstream out;
    const auto r = scn::runScenarioText(text, "inline.scenario", out);
    transcript = out.str();
    return r;
}

const char* const machine = "audio add \"Speakers\"\n"
                            "transmitter plug devices \"Kitchen\"\n"
                            "start\n"
                            "advance 3s\n"
                            "open tray-menu\n";

TEST(ScenarioMenuSteps, TheMenuPrintsAsATreeAndATreeThatDiffersFailsAtItsFirstLine) {
    std::string transcript;
    auto r = run(std::string(machine) + "show tray-menu\n"
                                        "expect tray-menu\n"
                                        "  | Kitchen\n"
                                        "  | My Computer\n"
                                        "  | ---\n"
                                        "  | Settings (default)\n",
                 transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 7);
    // The sound goes to the computer: the receiver is not checked, "My Computer" is.
    EXPECT_NE(r.message.find("line 2 of the menu is \"(*) My Computer\", not \"My Computer\""),
              std::string::npos)
        << r.message;
    EXPECT_NE(transcript.find("         the menu shows:\n"
                              "           Kitchen\n"
                              "           (*) My Computer\n"
                              "           ---\n"
                              "           Settings (default)\n"
                              "           ---\n"
                              "           Help\n"),
              std::string::npos)
        << transcript;
}

TEST(ScenarioMenuSteps, ChoosingFollowsThePathAndRefusesWhatTheUserCannotChoose) {
    std::string transcript;
    auto r = run(std::string(machine) + "choose menu-item \"Settings > Colours\"\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_NE(r.message.find("\"Settings\" has no submenu"), std::string::npos) << r.message;

    r = run(std::string(machine) + "choose menu-item \"Bedroom\"\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_NE(r.message.find("no item \"Bedroom\" there; it shows \"Kitchen\", \"My Computer\""),
              std::string::npos)
        << r.message;

    r = run("audio add \"Speakers\"\n"
            "transmitter plug\n"
            "start\n"
            "open tray-menu\n"
            "choose menu-item \"<no receivers>\"\n",
            transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_NE(r.message.find("\"<no receivers>\" is grayed"), std::string::npos) << r.message;

    r = run("start\nopen tray-menu\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_NE(r.message.find("no icon to click"), std::string::npos) << r.message;
}

TEST(ScenarioMenuSteps, AboutOpensFromTheMenuAndItsLineIsChecked) {
    std::string transcript;
    const auto r = run("transmitter plug\n"
                       "start\n"
                       "open about\n"
                       "expect about firmware \"Firmware:\\tv1.4.2\\t  06/20/2005\"\n"
                       "expect about firmware \"Firmware:   version not available\"\n",
                       transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 5);
    EXPECT_NE(r.message.find("reads \"Firmware:\\tv1.4.2\\t  06/20/2005\", not \"Firmware:   "
                             "version not available\""),
              std::string::npos)
        << r.message;
}

} // namespace
