// The scenario language: words, values, the parser's error reports, and whole runs of small
// scenarios through the same runner the simulator uses.
#include "scenario.h"

#include "constants.h"
#include "ports.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace {

using scn::Args;
using scn::Outcome;
using scn::Session;
using scn::StepDef;
using scn::StepTable;
using scn::Token;

std::vector<Token> lex(std::string_view line) {
    std::vector<Token> tokens;
    std::string error;
    EXPECT_TRUE(scn::lexLine(line, tokens, error)) << error;
    return tokens;
}

std::string lexError(std::string_view line) {
    std::vector<Token> tokens;
    std::string error;
    EXPECT_FALSE(scn::lexLine(line, tokens, error)) << "accepted: " << line;
    return error;
}

// ---------------------------------------------------------------- words and values

TEST(ScenarioWords, SplitsBareWordsAndQuotedTextWithBlanks) {
    const auto t = lex("post \"Quorvane Auravo Settings\"\tWM_USER 20");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].text, "post");
    EXPECT_FALSE(t[0].quoted);
    EXPECT_EQ(t[1].text, "Quorvane Auravo Settings");
    EXPECT_TRUE(t[1].quoted);
    EXPECT_EQ(t[1].column, 6);
    EXPECT_EQ(t[2].text, "WM_USER");
    EXPECT_EQ(t[3].text, "20");
    EXPECT_EQ(t[3].column, 41);
}

TEST(ScenarioWords, ResolvesEscapesAndKeepsEmptyQuotedText) {
    const auto t = lex(R"(x "a\r\nb\tc \"q\" back\\slash" "")");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1].text, "a\r\nb\tc \"q\" back\\slash");
    EXPECT_EQ(scn::quoted(t[1].text), R"("a\r\nb\tc \"q\" back\\slash")");
    EXPECT_EQ(t[2].text, "");
    EXPECT_TRUE(t[2].quoted);
}

TEST(ScenarioWords, CommentsBeginOnlyAtTheStartOfAWord) {
    EXPECT_TRUE(lex("   # the whole line").empty());
    EXPECT_TRUE(lex("").empty());
    EXPECT_TRUE(lex(" \t ").empty());
    const auto t = lex("window \"#32770\" a#b # trailing \"unterminated");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1].text, "#32770");
    EXPECT_EQ(t[2].text, "a#b");
}

TEST(ScenarioWords, RefusesMalformedQuotingWithTheColumn) {
    EXPECT_NE(lexError(R"(post "Quorvane)").find("opened at column 6 is not closed"),
              std::string::npos);
    EXPECT_NE(lexError(R"(post "ends in a backslash\)").find("not closed"), std::string::npos);
    EXPECT_NE(lexError(R"(post "a\qb")").find("unknown escape \\q at column 8"), std::string::npos);
    EXPECT_NE(lexError(R"(post ab"cd")").find("quote inside a word at column 8"),
              std::string::npos);
    EXPECT_NE(lexError(R"(post "ab"cd)").find("right after the closing quote"), std::string::npos);
    EXPECT_NE(lexError("post a\x01"
                       "b")
                  .find("control character 0x01"),
              std::string::npos);
    EXPECT_NE(lexError("post \"a\x1b\"").find("control character 0x1B"), std::string::npos);
}

TEST(ScenarioWords, BoundsLineLengthAndWordCount) {
    EXPECT_EQ(lex(std::string(scn::maxLineBytes, 'a')).size(), 1u);
    EXPECT_NE(lexError(std::string(scn::maxLineBytes + 1, 'a')).find("longer than"),
              std::string::npos);
    std::string words;
    for (std::size_t i = 0; i < scn::maxTokensPerLine; ++i)
        words += "w ";
    EXPECT_EQ(lex(words).size(), scn::maxTokensPerLine);
    EXPECT_NE(lexError(words + "one-too-many").find("more than"), std::string::npos);
}

TEST(ScenarioWords, ReadsDurationsInMillisecondsSecondsAndMinutes) {
    EXPECT_EQ(scn::parseDuration("1500ms"), 1500u);
    EXPECT_EQ(scn::parseDuration("30s"), 30000u);
    EXPECT_EQ(scn::parseDuration("3min"), 180000u);
    EXPECT_EQ(scn::parseDuration("0ms"), 0u);
    EXPECT_EQ(scn::parseDuration("86400s"), scn::maxDurationMs);
    for (const char* bad : {"86401s", "30", "s", "ms", "1.5s", "-1s", "+1s", "30 s", "30S", "30sec",
                            "1h", "999999999999min", "99999999999999999999ms", ""}) {
        EXPECT_FALSE(scn::parseDuration(bad).has_value()) << bad;
    }
}

TEST(ScenarioWords, ReadsNumbersWithinSixtyFourBits) {
    EXPECT_EQ(scn::parseInteger("20"), 20);
    EXPECT_EQ(scn::parseInteger("-5"), -5);
    EXPECT_EQ(scn::parseInteger("0x401"), 0x401);
    EXPECT_EQ(scn::parseInteger("0xFFFFFFFFFFFFFFFF"), -1); // a bit pattern, e.g. an lParam
    EXPECT_EQ(scn::parseInteger("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(scn::parseInteger("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"9223372036854775808", "-9223372036854775809", "0x10000000000000000",
                            "12a", "", "-", "0x", "-0x1", "1e3", " 1"}) {
        EXPECT_FALSE(scn::parseInteger(bad).has_value()) << bad;
    }
}

TEST(ScenarioWords, ReadsWindowMessagesByNameOffsetOrNumber) {
    EXPECT_EQ(scn::parseMessage("WM_CLOSE"), 0x0010u);
    EXPECT_EQ(scn::parseMessage("WM_USER"), 0x0400u);
    EXPECT_EQ(scn::parseMessage("WM_USER+1"), 0x0401u);
    EXPECT_EQ(scn::parseMessage("WM_DEVICECHANGE"), 0x0219u);
    EXPECT_EQ(scn::parseMessage("16"), 16u);
    EXPECT_EQ(scn::parseMessage("0x0206"), 0x0206u);
    for (const char* bad : {"WM_NOPE", "wm_close", "WM_USER+", "WM_USER+-1", "WM_USER+70000", "5+1",
                            "-1", "0x100000000", ""}) {
        EXPECT_FALSE(scn::parseMessage(bad).has_value()) << bad;
    }
    // Transcripts name messages the way a scenario writes them.
    for (const char* name : {"WM_CLOSE", "WM_USER", "WM_USER+1", "WM_USER+20", "WM_ENDSESSION"}) {
        EXPECT_EQ(scn::messageName(*scn::parseMessage(name)), name);
    }
    EXPECT_EQ(scn::messageName(0x7FFF), "WM_USER+31743");
    EXPECT_EQ(scn::messageName(0x8000), "0x8000"); // WM_APP and registered messages: numbers
    EXPECT_EQ(scn::messageName(0xC0DE), "0xC0DE");
}

TEST(ScenarioWords, ReadsRegistryRootsAndQuotesForTranscripts) {
    EXPECT_EQ(scn::parseRoot("HKCU"), plat::HKCU);
    EXPECT_EQ(scn::parseRoot("HKEY_LOCAL_MACHINE"), plat::HKLM);
    EXPECT_FALSE(scn::parseRoot("hkcu").has_value());
    EXPECT_FALSE(scn::parseRoot("HKCR").has_value());
    // quoted() writes what lexLine reads back.
    const std::string original = "line\none \"two\"\ttab back\\slash";
    const auto t = lex("x " + scn::quoted(original));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1].text, original);
}

// ---------------------------------------------------------------- the parser

void nothing(Session&, const Args&) {}

StepTable miniTable() {
    StepTable t;
    t.add({.name = "start", .run = nothing});
    t.add({.name = "expect", .forms = {"<what>"}, .run = nothing});
    t.add({.name = "expect window", .forms = {"<title> [hidden|visible]"}, .run = nothing});
    t.add({.name = "post",
           .forms = {"<title> <message:message> [<wparam:int> [<lparam:int>]]"},
           .run = nothing});
    t.add({.name = "answer messagebox",
           .forms = {"<caption> [text <message>] press <button>"},
           .run = nothing});
    t.add({.name = "advance", .forms = {"<time:duration>"}, .run = nothing});
    t.add({.name = "registry set",
           .forms = {"<root:root> <path> <name> string <value>",
                     "<root:root> <path> <name> dword <number:uint>"},
           .run = nothing});
    t.add({.name = "user", .forms = {"<kind:admin|not-admin>"}, .run = nothing});
    t.add({.name = "icon", .forms = {"[tip <tip>]"}, .run = nothing});
    return t;
}

scn::Scenario parseOk(const StepTable& table, std::string_view text) {
    auto r = table.parse(text, "test");
    EXPECT_TRUE(r.errors.empty()) << "line " << r.errors.front().line << ": "
                                  << r.errors.front().message;
    return std::move(r.scenario);
}

scn::ParseError parseBad(const StepTable& table, std::string_view text) {
    auto r = table.parse(text, "test");
    EXPECT_EQ(r.errors.size(), 1u);
    return r.errors.empty() ? scn::ParseError{} : r.errors.front();
}

TEST(ScenarioParser, NumbersStepsByTheirLineSkippingCommentsAndBlanks) {
    const auto table = miniTable();
    const auto s = parseOk(table, "# set-up\r\n\r\n  start   # go\r\n\n\tadvance 30s\n# end");
    ASSERT_EQ(s.steps.size(), 2u);
    EXPECT_EQ(s.steps[0].line, 3);
    EXPECT_EQ(s.steps[0].def, table.find("start"));
    EXPECT_EQ(s.steps[0].source, "start   # go");
    EXPECT_EQ(s.steps[1].line, 5);
    EXPECT_EQ(s.steps[1].args.ms("time"), 30000u);
}

TEST(ScenarioParser, TakesTheLongestStepNameAmongTheLeadingBareWords) {
    const auto table = miniTable();
    const auto s = parseOk(table, "expect window \"A\"\nexpect \"window\"\nexpect windows");
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].def, table.find("expect window"));
    EXPECT_EQ(s.steps[0].args.text("title"), "A");
    // Quoted text is never part of a name, and a bare word can be an argument.
    EXPECT_EQ(s.steps[1].def, table.find("expect"));
    EXPECT_EQ(s.steps[1].args.text("what"), "window");
    EXPECT_EQ(s.steps[2].def, table.find("expect"));
    EXPECT_EQ(s.steps[2].args.text("what"), "windows");
    // The longest name wins even when its arguments are wrong: no silent second reading.
    const auto e = parseBad(table, "expect window\n");
    EXPECT_NE(e.message.find("expect window: expected <title>"), std::string::npos) << e.message;
}

TEST(ScenarioParser, BindsOptionalArgumentsAndKeywordFlags) {
    const auto table = miniTable();
    const auto s =
        parseOk(table, "post \"T\" WM_USER\n"
                       "post \"T\" WM_USER 20\n"
                       "post T WM_USER+1 0\n"
                       "post T 0x10 3 -4\n"
                       "expect window \"T\" hidden\n"
                       "answer messagebox \"Exiting Auravo\" text \"Are you sure?\" press \"Yes\"\n"
                       "answer messagebox \"press\" press press\n");
    ASSERT_EQ(s.steps.size(), 7u);
    EXPECT_EQ(s.steps[0].args.number("message"), 0x400);
    EXPECT_FALSE(s.steps[0].args.has("wparam"));
    EXPECT_EQ(s.steps[1].args.number("wparam"), 20);
    EXPECT_FALSE(s.steps[1].args.has("lparam"));
    EXPECT_EQ(s.steps[2].args.number("message"), 0x401);
    EXPECT_EQ(s.steps[2].args.number("wparam"), 0);
    EXPECT_FALSE(s.steps[2].args.has("lparam"));
    EXPECT_EQ(s.steps[3].args.number("message"), 0x10);
    EXPECT_EQ(s.steps[3].args.number("lparam"), -4);
    EXPECT_TRUE(s.steps[4].args.has("hidden"));
    EXPECT_FALSE(s.steps[4].args.has("visible"));
    EXPECT_EQ(s.steps[5].args.text("caption"), "Exiting Auravo");
    EXPECT_EQ(s.steps[5].args.text("message"), "Are you sure?");
    EXPECT_EQ(s.steps[5].args.text("button"), "Yes");
    // A keyword only matches bare; quoted text equal to a keyword is an ordinary argument.
    EXPECT_EQ(s.steps[6].args.text("caption"), "press");
    EXPECT_EQ(s.steps[6].args.text("button"), "press");
    EXPECT_FALSE(s.steps[6].args.has("message"));

    // A keyword may introduce a placeholder of its own name.
    const auto icon = parseOk(table, "icon tip \"Quorvane Auravo\"\nicon\n");
    ASSERT_EQ(icon.steps.size(), 2u);
    EXPECT_EQ(icon.steps[0].args.text("tip"), "Quorvane Auravo");
    EXPECT_FALSE(icon.steps[1].args.has("tip"));
}

TEST(ScenarioParser, TriesEachFormOfAStep) {
    const auto table = miniTable();
    const auto s = parseOk(
        table, "registry set HKCU \"Control Panel\\\\Mouse\" DoubleClickSpeed string \"500\"\n"
               "registry set HKEY_LOCAL_MACHINE \"Software\\\\X\" \"\" dword 0xFFFFFFFF\n");
    ASSERT_EQ(s.steps.size(), 2u);
    EXPECT_TRUE(s.steps[0].args.has("string"));
    EXPECT_EQ(s.steps[0].args.text("path"), "Control Panel\\Mouse");
    EXPECT_EQ(s.steps[0].args.text("value"), "500");
    EXPECT_EQ(static_cast<plat::HKey>(s.steps[0].args.number("root")), plat::HKCU);
    EXPECT_TRUE(s.steps[1].args.has("dword"));
    EXPECT_EQ(s.steps[1].args.text("name"), "");
    EXPECT_EQ(s.steps[1].args.number("number"), 0xFFFFFFFFLL);
    EXPECT_EQ(static_cast<plat::HKey>(s.steps[1].args.number("root")), plat::HKLM);
}

TEST(ScenarioParser, NamesUnknownStepsWithTheirLine) {
    const auto table = miniTable();
    auto e = parseBad(table, "start\n\nfrobnicate \"x\"\n");
    EXPECT_EQ(e.line, 3);
    EXPECT_NE(e.message.find("unknown step 'frobnicate'"), std::string::npos) << e.message;
    EXPECT_NE(e.message.find("--list-steps"), std::string::npos) << e.message;

    e = parseBad(table, "expect\n");
    EXPECT_EQ(e.line, 1);
    EXPECT_NE(e.message.find("expected <what>"), std::string::npos) << e.message;

    e = parseBad(table, "start\nanswer msgbox \"c\" press OK\n");
    EXPECT_EQ(e.line, 2);
    EXPECT_NE(e.message.find("steps beginning with 'answer': answer messagebox"), std::string::npos)
        << e.message;

    e = parseBad(table, "\"start\"\n");
    EXPECT_NE(e.message.find("begins with its name"), std::string::npos) << e.message;
}

TEST(ScenarioParser, ExplainsBadArgumentsWithTheLineAndTheUsage) {
    const auto table = miniTable();
    struct Case {
        const char* line;
        const char* says;
    };
    const Case cases[] = {
        {"advance 30", "expected <time>, a duration such as 1500ms, 30s or 2min, found '30'"},
        {"advance", "found end of line"},
        {"advance 1.5s", "found '1.5s'"},
        {"expect window", "expected <title>, found end of line"},
        {"expect window \"a\" sideways",
         "expected 'hidden' or 'visible' or end of line, found 'sideways'"},
        {"start now", "expected end of line, found 'now'"},
        {"post \"T\" WM_NOPE", "<message>, a message such as WM_CLOSE"},
        {"post \"T\" WM_USER 1 2 3", "expected end of line, found '3'"},
        {"post T WM_USER+1 0 -0x1", "found '-0x1'"},
        {"answer messagebox \"c\" \"press\" \"OK\"", "expected 'press' or 'text', found \"press\""},
        {"answer messagebox \"c\" text press \"OK\"", "found \"OK\""},
        {"registry set HKCR \"k\" \"n\" string \"v\"", "<root>, HKCU or HKLM, found 'HKCR'"},
        {"registry set HKCU \"k\" \"n\" dword -1", "number from 0 to 4294967295, found '-1'"},
        {"registry set HKCU \"k\" \"n\" qword 1", "expected 'dword' or 'string', found 'qword'"},
        {"user root", "<kind>, one of admin or not-admin, found 'root'"},
    };
    for (const auto& c : cases) {
        const auto e = parseBad(table, std::string("start\n") + c.line + "\n");
        EXPECT_EQ(e.line, 2) << c.line;
        EXPECT_NE(e.message.find(c.says), std::string::npos) << c.line << "\n  gave: " << e.message;
        EXPECT_NE(e.message.find("(usage: "), std::string::npos) << e.message;
    }
    // A step with several forms shows all of them.
    const auto e = parseBad(table, "registry set HKCU\n");
    EXPECT_NE(e.message.find("<name> string <value>|registry set <root:root>"), std::string::npos)
        << e.message;
}

TEST(ScenarioParser, ReportsEveryMalformedLineUpToALimit) {
    const auto table = miniTable();
    auto r = table.parse("start\n\"unclosed\nstart\nnope\nadvance soon\n", "test");
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(r.errors[0].line, 2);
    EXPECT_EQ(r.errors[1].line, 4);
    EXPECT_EQ(r.errors[2].line, 5);

    std::string many;
    for (int i = 0; i < 50; ++i)
        many += "nope\n";
    r = table.parse(many, "test");
    EXPECT_EQ(r.errors.size(), StepTable::maxErrors);
    EXPECT_EQ(r.errors.back().line, static_cast<int>(StepTable::maxErrors));
}

TEST(ScenarioParser, RefusesBinaryAndOversizedInput) {
    const auto table = miniTable();
    using namespace std::string_literals;
    auto e = parseBad(table, "start\nstart\nsta\0rt\n"s);
    EXPECT_EQ(e.line, 3);
    EXPECT_NE(e.message.find("NUL"), std::string::npos);

    std::string big;
    while (big.size() <= scn::maxScenarioBytes)
        big += "start\n";
    e = parseBad(table, big);
    EXPECT_NE(e.message.find("larger than"), std::string::npos);
}

TEST(ScenarioParser, RefusesBrokenStepDefinitions) {
    const auto add = [](StepDef def) {
        StepTable t;
        t.add({.name = "start", .run = nothing});
        t.add(std::move(def));
    };
    EXPECT_THROW(add({.name = "start", .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x", .forms = {"[<a>"}, .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x", .forms = {"<a>]"}, .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x", .forms = {"[]"}, .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x", .forms = {"<a:float>"}, .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x", .forms = {"<a"}, .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x", .forms = {"Upper"}, .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "Expect window", .run = nothing}), std::logic_error);
    EXPECT_THROW(add({.name = "x"}), std::logic_error);
}

TEST(ScenarioParser, TheSimulatorsStepsReadTheExamplesOfTheirHelp) {
    const auto& table = StepTable::standard();
    const auto s = parseOk(
        table, "registry set HKCU \"Software\\\\Q\" \"Show Tray Icon\" dword 1\n"
               "resource-library absent\n"
               "user not-admin\n"
               "another-copy running\n"
               "window \"Winamp v1.x\" \"Winamp\"\n"
               "answer messagebox \"Exiting Auravo\" text \"Are you sure you want to exit?\" press "
               "\"Yes\"\n"
               "hold messagebox \"No USB Transmitter found\"\n"
               "start\n"
               "post \"QuorvaneAuravoSystemTrayApplication\" WM_USER 20\n"
               "press \"OK\"\n"
               "advance 1500ms\n"
               "wait idle\n"
               "expect window \"QuorvaneAuravoSystemTrayApplication\" hidden\n"
               "expect no-window \"Quorvane Auravo Settings\"\n"
               "expect messagebox \"No USB Transmitter found\" style 0x2040 buttons \"OK\"\n"
               "expect messagebox \"No USB Transmitter found\" times 1\n"
               "expect no-messagebox \"Exiting Auravo\"\n"
               "expect received \"Winamp\" WM_CLOSE\n"
               "expect received \"Winamp\" nothing\n"
               "expect registry HKCU \"Software\\\\Q\" \"Show Tray Icon\" 1\n"
               "expect no-registry HKLM \"Software\\\\Q\"\n"
               "expect running\n"
               "stop\n"
               "expect exited code 0\n");
    ASSERT_EQ(s.steps.size(), 24u);
    for (const auto& step : s.steps)
        EXPECT_TRUE(step.def->run) << step.source;
    EXPECT_EQ(s.steps[1].def->when, scn::When::BeforeStart);
    EXPECT_EQ(s.steps[14].args.number("flags"), 0x2040);
    EXPECT_EQ(s.steps[14].args.text("labels"), "OK");
    EXPECT_TRUE(s.steps[18].args.has("nothing"));
    std::ostringstream listing;
    table.list(listing);
    for (const auto* def : table.steps()) {
        EXPECT_NE(listing.str().find("\n" + def->name), std::string::npos) << def->name;
        EXPECT_FALSE(def->help.empty()) << def->name;
    }
}

// ---------------------------------------------------------------- whole runs

scn::RunResult run(std::string_view text, std::string& transcript,
                   const StepTable& table = StepTable::standard()) {
    std::ostringstream out;
    const auto r = scn::runScenarioText(text, "inline.scenario", out, {}, table);
    transcript = out.str();
    return r;
}

TEST(ScenarioRun, StartsTheProgramAndStopsItLikeAnotherProcess) {
    std::string transcript;
    const auto r = run("start\n"
                       "expect running\n"
                       "expect window \"QuorvaneAuravoSystemTrayApplication\" hidden\n"
                       "expect no-messagebox\n"
                       "expect no-tray-icon\n"
                       "stop\n"
                       "expect exited code 0\n"
                       "expect no-window \"QuorvaneAuravoSystemTrayApplication\"\n",
                       transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << transcript;
    EXPECT_NE(
        transcript.find("    3  expect window \"QuorvaneAuravoSystemTrayApplication\" hidden\n"
                        "         ok: window \"QuorvaneAuravoSystemTrayApplication\" is hidden"),
        std::string::npos)
        << transcript;
    EXPECT_NE(transcript.find("PASSED inline.scenario (8 steps)"), std::string::npos) << transcript;
}

TEST(ScenarioRun, AFailedExpectationStopsTheRunAtItsLineAndShowsTheScreen) {
    std::string transcript;
    const auto r = run("start\n"
                       "# the controller is hidden, never titled like this\n"
                       "expect window \"Quorvane Auravo Settings\"\n"
                       "expect running\n",
                       transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.line, 3);
    EXPECT_NE(r.message.find("no top-level window is titled \"Quorvane Auravo Settings\""),
              std::string::npos)
        << r.message;
    EXPECT_NE(transcript.find(
                  "FAILED inline.scenario line 3: expect window \"Quorvane Auravo Settings\"\n"),
              std::string::npos)
        << transcript;
    EXPECT_NE(transcript.find("  screen:\n"), std::string::npos) << transcript;
    EXPECT_EQ(transcript.find("expect running"), std::string::npos) << "ran past the failure:\n"
                                                                    << transcript;
    EXPECT_EQ(transcript.find("PASSED"), std::string::npos) << transcript;
}

TEST(ScenarioRun, ASecondCopyEndsAtOnceAndAFirstCopyKeepsRunning) {
    std::string transcript;
    auto r = run("another-copy running\nstart\nexpect exited code 0\nexpect no-window "
                 "\"QuorvaneAuravoSystemTrayApplication\"\n",
                 transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << transcript;

    // The mutex gone, but a window with the controller's title still open.
    r = run("window \"#32770\" \"QuorvaneAuravoSystemTrayApplication\"\nstart\nexpect exited\n",
            transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << transcript;

    r = run("start\nexpect exited\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.line, 2);
    EXPECT_NE(r.message.find("still runs"), std::string::npos) << r.message;
}

TEST(ScenarioRun, AnAnswerNoMessageBoxUsedFailsAtItsLine) {
    std::string transcript;
    const auto r = run("start\n"
                       "answer messagebox \"Exiting Auravo\" press \"Yes\"\n"
                       "stop\n",
                       transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 2);
    EXPECT_NE(r.message.find("\"Exiting Auravo\" never opened"), std::string::npos) << r.message;
}

// A stand-in program that asks two questions and stores the answers where a scenario can
// see them, so the scripted-user steps are checked independently of the program's menus.
int askingProgram() {
    const int first =
        plat::ui().messageBox(0, u"Go on?", u"Question", MB_YESNO | MB_ICONQUESTION, nullptr);
    const int second = plat::ui().messageBox(0, u"Done.", u"Notice", MB_ICONINFORMATION, nullptr);
    plat::HKey key = 0;
    if (plat::registry().createKey(plat::HKCU, u"Software\\Test", key) != ERROR_SUCCESS)
        return 1;
    const std::uint32_t answers = static_cast<std::uint32_t>(first * 100 + second);
    plat::registry().setValue(key, u"answers", REG_DWORD, &answers, sizeof answers);
    plat::registry().closeKey(key);
    return 0;
}

scn::RunResult runAsking(std::string_view text, std::string& transcript) {
    std::ostringstream out;
    scn::RunOptions options;
    options.entry = askingProgram;
    const auto r = scn::runScenarioText(text, "inline.scenario", out, options);
    transcript = out.str();
    return r;
}

TEST(ScenarioRun, TheScriptedUserAnswersHoldsAndChecksMessageBoxes) {
    std::string transcript;
    auto r =
        runAsking("answer messagebox \"Question\" text \"Go on?\" press \"No\"\n"
                  "hold messagebox \"Notice\"\n"
                  "start\n"
                  "expect running\n" // held in the notice
                  "press \"OK\"\n"
                  "expect exited code 0\n"
                  "expect messagebox \"Question\" text \"Go on?\" style 0x24 buttons \"Yes,No\"\n"
                  "expect messagebox \"Notice\" style 0x40 buttons \"OK\"\n"
                  "expect messagebox \"Question\" times 1\n"
                  "expect no-messagebox \"Exiting Auravo\"\n"
                  "expect registry HKCU \"Software\\\\Test\" \"answers\" 701\n",
                  transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;

    // Each plain 'expect messagebox' takes one box: a second one for the same box fails.
    r = runAsking("answer messagebox \"Question\" press \"Yes\"\n"
                  "answer messagebox \"Notice\" press \"OK\"\n"
                  "start\n"
                  "expect messagebox \"Question\"\n"
                  "expect messagebox \"Question\"\n",
                  transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 5);
    EXPECT_NE(r.message.find("has not opened (besides those matched before)"), std::string::npos)
        << r.message;

    // A box nobody answers fails at once, with what was on screen.
    r = runAsking("answer messagebox \"Question\" press \"Yes\"\nstart\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 2);
    EXPECT_NE(r.message.find("\"Notice\""), std::string::npos) << r.message;

    // A button the box does not have.
    r = runAsking("hold messagebox \"Question\"\nstart\npress \"Maybe\"\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 3);
    EXPECT_NE(r.message.find("has no button \"Maybe\" (buttons: Yes,No)"), std::string::npos)
        << r.message;

    // The wrong style or text is named.
    r = runAsking("answer messagebox \"Question\" press \"Yes\"\n"
                  "answer messagebox \"Notice\" press \"OK\"\n"
                  "start\n"
                  "expect messagebox \"Notice\" style 0x2040\n",
                  transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_NE(r.message.find("its style is 0x40, not 0x2040"), std::string::npos) << r.message;
    r = runAsking("answer messagebox \"Question\" text \"Go on!\" press \"Yes\"\nstart\n",
                  transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
}

// A stand-in program that shows a tray icon while its message box is open (the icon
// needs a window of the program: the box's own).
int trayProgram() {
    struct AddIcon : plat::MessageBoxHook {
        plat::NotifyIconData icon;
        void onInit(plat::Hwnd box) override {
            icon.window = box;
            icon.id = 114;
            icon.flags = NIF_ICON | NIF_TIP;
            icon.icon = plat::resources().loadIcon(plat::resources().programModule(), 114);
            icon.tip = u"Quorvane Auravo";
            plat::ui().shellNotifyIcon(NIM_ADD, icon);
        }
    } hook;
    plat::ui().messageBox(0, u"Waiting.", u"Wait", MB_OK, &hook);
    plat::ui().shellNotifyIcon(NIM_DELETE, hook.icon);
    return 0;
}

TEST(ScenarioRun, TheNotificationAreaIsCheckedByImageAndTip) {
    const auto runTray = [](std::string_view text, std::string& transcript) {
        std::ostringstream out;
        scn::RunOptions options;
        options.entry = trayProgram;
        const auto r = scn::runScenarioText(text, "inline.scenario", out, options);
        transcript = out.str();
        return r;
    };
    std::string transcript;
    auto r = runTray("hold messagebox \"Wait\"\n"
                     "start\n"
                     "expect tray-icon\n"
                     "expect tray-icon image 114 tip \"Quorvane Auravo\"\n"
                     "press \"OK\"\n"
                     "expect exited\n"
                     "expect no-tray-icon\n",
                     transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;

    r = runTray("hold messagebox \"Wait\"\nstart\nexpect tray-icon image 115\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_NE(r.message.find("shows no icon from icon resource 115; it shows:\n  icon 114 with tip "
                             "\"Quorvane Auravo\""),
              std::string::npos)
        << r.message;

    r = runTray("hold messagebox \"Wait\"\nstart\nexpect no-tray-icon\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.line, 3);
}

TEST(ScenarioRun, MachineSetUpAfterStartIsAMistakeInTheScenario) {
    std::string transcript;
    const auto r = run("start\nuser not-admin\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Malformed);
    EXPECT_EQ(r.line, 2);
    EXPECT_NE(r.message.find("must come before 'start'"), std::string::npos) << r.message;
}

TEST(ScenarioRun, StepsFromAnotherTableRunInOrderWithEndChecks) {
    // What a later piece of work does: its own steps, registered in its own table.
    std::vector<std::string> ran;
    StepTable table;
    table.add({.name = "mark", .forms = {"<label>"}, .run = [&](Session& s, const Args& a) {
                   ran.push_back(a.text("label"));
                   s.say("marked " + a.text("label"));
               }});
    table.add({.name = "check later",
               .forms = {"<verdict:pass|fail>"},
               .run = [&](Session& s, const Args& a) {
                   const bool pass = a.text("verdict") == "pass";
                   s.atEnd([&ran, pass](Session& session) {
                       ran.push_back("end check");
                       if (!pass)
                           session.fail("the end check failed");
                   });
               }});
    table.add(
        {.name = "fail now", .run = [&](Session& s, const Args&) { s.fail("told to fail"); }});

    std::string transcript;
    auto r = run("mark one\ncheck later pass\nmark two\n", transcript, table);
    EXPECT_EQ(r.outcome, Outcome::Passed) << transcript;
    EXPECT_EQ(ran, (std::vector<std::string>{"one", "two", "end check"}));
    EXPECT_NE(transcript.find("    1  mark one\n         marked one\n"), std::string::npos)
        << transcript;

    ran.clear();
    r = run("mark one\ncheck later fail\nmark two\n", transcript, table);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.line, 2); // reported at the step that asked for the check
    EXPECT_EQ(ran, (std::vector<std::string>{"one", "two", "end check"}));

    ran.clear();
    r = run("mark one\ncheck later pass\nfail now\nmark two\n", transcript, table);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(ran, (std::vector<std::string>{"one"})); // neither later steps nor end checks run

    ran.clear();
    r = run("mark one\nmark\n", transcript, table);
    EXPECT_EQ(r.outcome, Outcome::Malformed);
    EXPECT_TRUE(ran.empty()) << "a malformed scenario must not run at all";
    EXPECT_NE(transcript.find("MALFORMED inline.scenario line 2: mark: expected <label>"),
              std::string::npos)
        << transcript;
}

// ---------------------------------------------------------------- the tray icon and devices

// What reached the stand-in listener's window: tray icon callbacks and device changes.
struct Heard {
    std::uint32_t msg = 0;
    plat::WParam wParam = 0;
    plat::LParam lParam = 0;      // icon callbacks: the mouse message
    std::uint32_t deviceType = 0; // device changes
    plat::String path = {};       // device changes
    bool operator==(const Heard&) const = default;
};

std::mutex heardMutex;
std::vector<Heard> heardSoFar;

std::vector<Heard> heard() {
    std::lock_guard lock(heardMutex);
    return heardSoFar;
}

constexpr std::uint32_t listenerIconMessage = 0x0401;

// A stand-in program that listens as the controller does, with a hidden window that shows a
// tray icon and registers for device-interface notifications, and records what reaches it:
// the click and device steps are checked by what arrives, not by what the controller makes
// of it.
class Listener : public plat::DialogTarget {
public:
    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override {
        switch (msg) {
        case WM_INITDIALOG: {
            plat::NotifyIconData icon;
            icon.window = window;
            icon.id = 114;
            icon.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
            icon.callbackMessage = listenerIconMessage;
            icon.icon = plat::resources().loadIcon(plat::resources().programModule(), 114);
            icon.tip = u"Listener";
            plat::ui().shellNotifyIcon(NIM_ADD, icon);
            plat::desktop().registerDeviceNotification(window, plat::hid().getHidGuid());
            result = TRUE;
            return true;
        }
        case listenerIconMessage: {
            std::lock_guard lock(heardMutex);
            heardSoFar.push_back({.msg = msg, .wParam = wParam, .lParam = lParam});
            result = 0;
            return true;
        }
        case WM_DEVICECHANGE: {
            Heard h{.msg = msg, .wParam = wParam};
            if (lParam != 0) {
                const auto* info = reinterpret_cast<const plat::DeviceChangeInfo*>(lParam);
                h.deviceType = info->deviceType;
                h.path = info->name;
            }
            std::lock_guard lock(heardMutex);
            heardSoFar.push_back(std::move(h));
            result = TRUE;
            return true;
        }
        default:
            return false;
        }
    }
};

int listeningProgram() {
    Listener listener;
    return static_cast<int>(plat::ui().dialogBox(
        plat::resources().programModule(), IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, 0, &listener));
}

scn::RunResult runListening(std::string_view text, std::string& transcript) {
    {
        std::lock_guard lock(heardMutex);
        heardSoFar.clear();
    }
    std::ostringstream out;
    scn::RunOptions options;
    options.entry = listeningProgram;
    const auto r = scn::runScenarioText(text, "inline.scenario", out, options);
    transcript = out.str();
    return r;
}

Heard click(std::uint32_t mouseMessage) {
    return {.msg = listenerIconMessage, .wParam = 114, .lParam = mouseMessage};
}

TEST(ScenarioParser, ReadsClicksAndInterfacePathsAsWritten) {
    const auto& table = StepTable::standard();
    const auto s = parseOk(table, "click tray-icon double\n"
                                  "click tray-icon right if-shown\n"
                                  R"(device arrive \\?\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1)"
                                  "\n"
                                  R"(device remove "\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1")"
                                  "\n");
    ASSERT_EQ(s.steps.size(), 4u);
    EXPECT_EQ(s.steps[0].args.text("button"), "double");
    EXPECT_FALSE(s.steps[0].args.has("if-shown"));
    EXPECT_TRUE(s.steps[1].args.has("if-shown"));
    // Bare, the backslashes are the path's own; quoted, each is doubled.
    EXPECT_EQ(s.steps[2].args.text("path"), R"(\\?\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1)");
    EXPECT_EQ(s.steps[3].args.text("path"), s.steps[2].args.text("path"));

    auto e = parseBad(table, "click tray-icon middle\n");
    EXPECT_NE(e.message.find("found 'middle'"), std::string::npos) << e.message;
    e = parseBad(table, "device arrive\n");
    EXPECT_NE(e.message.find("expected <path>"), std::string::npos) << e.message;
    e = parseBad(table, "click tray-icon\n");
    EXPECT_NE(e.message.find("expected <button>"), std::string::npos) << e.message;
}

TEST(ScenarioRun, ClicksReachTheIconsWindowAsTheShellSendsThem) {
    std::string transcript;
    const auto r = runListening("start\n"
                                "expect tray-icon image 114 tip \"Listener\"\n"
                                "click tray-icon left\n"
                                "click tray-icon double\n"
                                "click tray-icon right\n",
                                transcript);
    ASSERT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;
    const std::vector<Heard> expected = {
        click(WM_LBUTTONDOWN),   click(WM_LBUTTONUP), // left
        click(WM_LBUTTONDOWN),   click(WM_LBUTTONUP), // double:
        click(WM_LBUTTONDBLCLK), click(WM_LBUTTONUP), // 2nd press
        click(WM_RBUTTONDOWN),   click(WM_RBUTTONUP), // right
    };
    EXPECT_EQ(heard(), expected) << transcript;
    EXPECT_NE(transcript.find("the shell posted WM_USER+1 with WM_LBUTTONDBLCLK, WM_LBUTTONUP"),
              std::string::npos)
        << transcript;
}

TEST(ScenarioRun, AClickWithNoIconShownFailsUnlessItMayFindNone) {
    // Without the transmitter the controller shows no icon.
    std::string transcript;
    auto r = run("start\nclick tray-icon right\nexpect running\n", transcript);
    EXPECT_EQ(r.outcome, Outcome::Failed) << transcript;
    EXPECT_EQ(r.line, 2);
    EXPECT_NE(r.message.find("the notification area shows no icon to click right"),
              std::string::npos)
        << r.message;

    r = run("start\nclick tray-icon left if-shown\nexpect running\nexpect no-messagebox\n",
            transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;
    EXPECT_NE(transcript.find("the notification area is empty: nothing to click"),
              std::string::npos)
        << transcript;
}

TEST(ScenarioRun, DeviceStepsDeliverInterfaceNotificationsWithTheirPath) {
    std::string transcript;
    auto r = runListening(
        "start\n"
        R"(device arrive \\?\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1&0&0000#{4d1e55b2})"
        "\n"
        R"(device remove "\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03&Col02#7&1&0&0001#{4d1e55b2}")"
        "\n",
        transcript);
    ASSERT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;
    const std::vector<Heard> expected = {
        {.msg = WM_DEVICECHANGE,
         .wParam = DBT_DEVICEARRIVAL,
         .deviceType = DBT_DEVTYP_DEVICEINTERFACE,
         .path = uR"(\\?\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1&0&0000#{4d1e55b2})"},
        {.msg = WM_DEVICECHANGE,
         .wParam = DBT_DEVICEREMOVECOMPLETE,
         .deviceType = DBT_DEVTYP_DEVICEINTERFACE,
         .path = uR"(\\?\HID#Vid_0b7a&Pid_0100&MI_03&Col02#7&1&0&0001#{4d1e55b2})"},
    };
    EXPECT_EQ(heard(), expected) << transcript;

    // Registration failed: the step says that nobody hears it, and nobody does.
    r = runListening("device-notifications fail\n"
                     "start\n"
                     R"(device arrive \\?\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1)"
                     "\n",
                     transcript);
    ASSERT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;
    EXPECT_TRUE(heard().empty());
    EXPECT_NE(transcript.find("no window is registered for device-interface notifications"),
              std::string::npos)
        << transcript;
}

// A stand-in program that writes three output reports to the transmitter's vendor
// collection: a known command, a code the transmitter does not know, another report id.
int commandWritingProgram() {
    plat::Hid& hid = plat::hid();
    for (const plat::String& path : hid.enumerateInterfaces(hid.getHidGuid())) {
        const plat::Handle h = hid.open(path);
        plat::HidCaps caps;
        if (h && hid.getCaps(h, caps) && caps.usagePage == 0xFF00) {
            for (const auto& [id, code] : {std::pair{2, 0x40}, {2, 0x41}, {3, 0x40}}) {
                std::vector<std::uint8_t> report(caps.outputReportByteLength, 0);
                report[0] = static_cast<std::uint8_t>(id);
                report[1] = static_cast<std::uint8_t>(code);
                std::uint32_t written = 0;
                hid.write(h, report.data(), static_cast<std::uint32_t>(report.size()), written);
            }
        }
        if (h)
            hid.close(h);
    }
    return 0;
}

TEST(ScenarioRun, TheTransmitterNamesWhatItReceivedByItsOwnTable) {
    std::ostringstream out;
    scn::RunOptions options;
    options.entry = commandWritingProgram;
    const auto r = scn::runScenarioText(
        "transmitter plug\nstart\nexpect exited code 0\n"
        "expect transmitter received \"MenuOpening Unknown(0x41) ReportId(3)\"\n",
        "inline.scenario", out, options);
    EXPECT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << out.str();
}

TEST(ScenarioRun, TheControllerChecksForTheTransmitterAfterItsSecondInterfaceNotice) {
    constexpr const char* entry =
        "\"CKTRSystemTrayApplicationDlg::DefWindowProc(WM_DEVICECHANGE) -- Method Entry.\"";
    std::string transcript;
    const auto r = run(std::string("start\n") +
                           // Another device does not count; the transmitter's interfaces
                           // count in any spelling (today's upper case, older mixed case).
                           R"(device arrive \\?\HID#VID_046D&PID_C52B&MI_00#7&2&0&0000#{4d1e})"
                           "\n"
                           R"(device arrive \\?\HID#VID_0B7A&PID_0100&MI_03&COL01#7&1&0&0000)"
                           "\n"
                           "expect no-log " +
                           entry +
                           "\n"
                           R"(device arrive \\?\HID#Vid_0b7a&Pid_0100&MI_03&Col02#7&1&0&0001)"
                           "\n"
                           "expect log " +
                           entry +
                           "\n"
                           // Nothing was found: the program goes on as before, silently.
                           "expect no-tray-icon\n"
                           "expect no-messagebox\n"
                           "expect running\n",
                       transcript);
    EXPECT_EQ(r.outcome, Outcome::Passed) << r.message << "\n" << transcript;
}

// ---------------------------------------------------------------- the command line

class SimulatorCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qa-scenario-test-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string file(const std::string& name, const std::string& text) {
        const auto path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    int simulate(std::vector<std::string> args) {
        std::ostringstream o, e;
        const int status = scn::simulatorMain(args, o, e);
        out_ = o.str();
        err_ = e.str();
        return status;
    }

    std::filesystem::path dir_;
    std::string out_, err_;
};

TEST_F(SimulatorCommandLine, ExitStatusIsTheWorstOutcome) {
    const auto pass = file("pass.scenario", "start\nstop\n");
    const auto fail =
        file("fail.scenario", "start\nexpect no-window \"QuorvaneAuravoSystemTrayApplication\"\n");
    const auto bad = file("bad.scenario", "start\n\nexpect windo \"x\"\n");

    EXPECT_EQ(simulate({pass}), 0) << out_;
    EXPECT_EQ(simulate({"--quiet", pass, fail}), 1) << out_;
    EXPECT_NE(out_.find("FAILED " + fail + " line 2"), std::string::npos) << out_;
    EXPECT_NE(out_.find("2 scenarios: 1 passed, 1 failed, 0 malformed"), std::string::npos) << out_;
    EXPECT_EQ(out_.find("    1  start"), std::string::npos) << "--quiet printed the steps:\n"
                                                            << out_;

    EXPECT_EQ(simulate({bad, fail, pass}), 2) << out_;
    EXPECT_NE(out_.find("MALFORMED " + bad + " line 3: unknown step 'expect windo'"),
              std::string::npos)
        << out_;
}

TEST_F(SimulatorCommandLine, RefusesUnreadableFilesAndUnknownOptions) {
    EXPECT_EQ(simulate({(dir_ / "missing.scenario").string()}), 2);
    EXPECT_NE(out_.find("cannot read the file"), std::string::npos) << out_;
    EXPECT_EQ(simulate({"--fast", file("x.scenario", "start\n")}), 2);
    EXPECT_NE(err_.find("unknown option --fast"), std::string::npos) << err_;
    EXPECT_EQ(simulate({}), 2);
    EXPECT_NE(err_.find("usage: qa_simulator"), std::string::npos) << err_;
    EXPECT_EQ(simulate({"--list-steps"}), 0);
    EXPECT_NE(out_.find("answer messagebox <caption> [text <message>] press <button>"),
              std::string::npos)
        << out_;
}

} // namespace
