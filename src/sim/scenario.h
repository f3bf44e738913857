// The scenario language of the simulator: plain-text scripts that set up a simulated PC,
// run the whole program on it, act as the user and other programs, and check what a user
// would see. One step per line:
//
//     # the controller answers requests from other processes
//     registry set HKCU "Control Panel\Mouse" "DoubleClickSpeed" string "500"
//     start
//     expect window "QuorvaneAuravoSystemTrayApplication" hidden
//     answer messagebox "Exiting Auravo" press "Yes"
//     post "QuorvaneAuravoSystemTrayApplication" WM_USER 20
//     advance 1500ms
//
// A line is a step name (one or more bare words) followed by its arguments. Arguments are
// bare words or "quoted text" with the escapes \n \r \t \" and \\. A '#' at the start of a
// word begins a comment; blank lines are ignored.
//
// A step that takes a block (a menu tree, for one) is followed by its lines, each beginning
// with '|' (after any indentation); the text after the '|' and one blank, as written, is
// the block's line:
//
//     expect tray-menu
//       | (*) Kitchen
//       | My Computer
//
// Steps are not known to the parser: each file of src/sim that contributes steps registers
// them in a StepTable with an argument pattern, help text and handler (see step_modules.h).
#pragma once

#include "sim_pc.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

namespace scn {

// ---------------------------------------------------------------- words and values

struct Token {
    std::string text; // UTF-8, escapes resolved
    bool quoted = false;
    int column = 0; // 1-based byte column where the word starts
};

// Outside input is bounded: longer lines, more words or bigger files are refused.
inline constexpr std::size_t maxLineBytes = 4096;
inline constexpr std::size_t maxTokensPerLine = 64;
inline constexpr std::size_t maxScenarioBytes = 1024 * 1024;
inline constexpr std::uint32_t maxDurationMs = 24u * 60 * 60 * 1000;

// Splits one line (without its line break) into words. False with `error` on malformed input.
bool lexLine(std::string_view line, std::vector<Token>& tokens, std::string& error);

// "1500ms", "30s", "2min" in milliseconds, at most one day. Nothing for anything else.
std::optional<std::uint32_t> parseDuration(std::string_view text);
// Decimal (optionally negative) or 0x hexadecimal, within 64 bits.
std::optional<std::int64_t> parseInteger(std::string_view text);
// A window message: a name (WM_CLOSE), a name plus an offset (WM_USER+20) or a number.
std::optional<std::uint32_t> parseMessage(std::string_view text);
// HKCU / HKEY_CURRENT_USER, HKLM / HKEY_LOCAL_MACHINE.
std::optional<plat::HKey> parseRoot(std::string_view text);
// The readable name of a message, for transcripts ("WM_USER", "WM_USER+1", "0x1234").
std::string messageName(std::uint32_t msg);
// Quotes a text for a transcript the way a scenario would write it.
std::string quoted(std::string_view text);

// ---------------------------------------------------------------- steps

// The arguments of one step, by the names its pattern gives them. Bare keywords of the
// pattern that matched (such as `hidden`) are present too: has() finds them by their own
// word, so `[tip <tip>]` reads as has("tip") and text("tip").
class Args {
public:
    bool has(std::string_view name) const; // a placeholder's value or a keyword
    const std::string& text(std::string_view name) const;
    plat::String wide(std::string_view name) const;
    std::int64_t number(std::string_view name) const; // int, uint, duration, root, message
    std::uint32_t ms(std::string_view name) const {
        return static_cast<std::uint32_t>(number(name));
    }

    void set(std::string name, std::string text, std::int64_t number = 0);
    void erase(const std::string& name);
    void setKeyword(const std::string& word);
    void eraseKeyword(const std::string& word);

private:
    struct Value {
        std::string text;
        std::int64_t number = 0;
    };
    const Value& get(std::string_view name) const;
    std::map<std::string, Value, std::less<>> values_;
    std::map<std::string, int, std::less<>> keywords_; // how often each matched
};

class Session;
using StepHandler = std::function<void(Session&, const Args&)>;

enum class When {
    Anytime,
    BeforeStart, // changes the machine the program starts on; refused while it runs
};

// One step of the language. `forms` are argument patterns, tried in order:
//   word        a bare keyword            a|b       one of these keywords
//   <name>      any word or quoted text   <name:T>  typed: int, uint, duration, root,
//                                                   message, or a choice such as a|b|c
//   [ ... ]     optional, may nest
// An empty form takes no arguments.
struct StepDef {
    std::string name = {}; // one or more bare words: "expect window"
    std::vector<std::string> forms = {""};
    std::string help = {};
    StepHandler run = {};
    When when = When::Anytime;
    // Takes the '|' lines that follow it, as the argument "block" (lines joined by '\n').
    bool block = false;
};

struct Step {
    int line = 0;
    std::string source; // the line as written, trimmed
    const StepDef* def = nullptr;
    Args args;
};

struct Scenario {
    std::string name;
    std::vector<Step> steps;
};

struct ParseError {
    int line = 0;
    std::string message;
};

struct ParseResult {
    Scenario scenario;
    std::vector<ParseError> errors; // empty when the scenario is well formed
};

class StepTable {
public:
    StepTable();
    ~StepTable();
    StepTable(StepTable&&) noexcept;
    StepTable& operator=(StepTable&&) noexcept;

    // Throws std::logic_error for a malformed pattern or a name already taken: both are
    // mistakes in the simulator's own code, found the first time the table is built.
    void add(StepDef def);
    // Steps registered from here on are listed under this heading.
    void beginGroup(std::string heading);

    const StepDef* find(std::string_view name) const;
    std::vector<const StepDef*> steps() const;
    void list(std::ostream& out) const; // --list-steps
    std::string usage(const StepDef& def) const;

    // Reports at most this many malformed lines per scenario.
    static constexpr std::size_t maxErrors = 20;
    ParseResult parse(std::string_view text, std::string name) const;

    // Every step the simulator knows (built once, from step_modules.h).
    static const StepTable& standard();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- running

enum class Outcome { Passed, Failed, Malformed };

struct RunOptions {
    bool quiet = false;         // only verdicts and failures
    std::function<int()> entry; // the program's entry; runProgram when empty
    std::chrono::milliseconds bound = std::chrono::seconds(20); // real-time bound of every wait
};

struct RunResult {
    Outcome outcome = Outcome::Passed;
    int line = 0; // the step that failed or could not run
    std::string message;
};

// One run of one scenario on a fresh simulated PC. Step handlers act through it.
class Session {
public:
    Session(const Scenario& scenario, std::ostream& out, RunOptions options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    RunResult run();

    // ---- for step handlers
    sim::SimPc& pc() { return *pc_; }
    int line() const { return line_; }
    std::chrono::milliseconds bound() const { return options_.bound; }
    // A line of the transcript under the current step; callable from any thread.
    void say(std::string text);
    // The current step's expectation does not hold: the run stops after this step.
    void fail(std::string why);
    // The scenario asks for something that cannot be done as written (exit status 2).
    void misuse(std::string why);
    bool stopped() const { return result_.outcome != Outcome::Passed; }

    void startProgram();
    bool programStarted() const { return started_; }
    // Waits until the simulated world is quiet; a time-out fails the step.
    bool settle();
    // A string of the program's string table, as the program would load it.
    plat::String loadString(std::uint32_t id);
    // A check to run after the last step (for example: a queued answer was used). It runs
    // with the line of the step that registered it.
    void atEnd(std::function<void(Session&)> check);

    // Every line the program's diagnostic log wrote during this run, the banner first.
    std::vector<std::string> logLines() const;
    // Runs `steps` `rounds` times as part of the current step ('repeat'): the first round
    // with its transcript, indented, the others without; the first failure ends it, naming
    // the round and the step.
    void runRepeated(const std::vector<Step>& steps, std::uint32_t rounds);
    // The diagnostic log keeps at most this many lines (the oldest go first), so that a long
    // run stays within bounds; 0: all of them.
    void limitLog(std::size_t lines);

    // Per-run state of a step module, created on first use.
    template <class T> T& state() {
        auto& slot = states_[std::type_index(typeid(T))];
        if (!slot)
            slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

private:
    void runStep(const Step& step, const char* indent = "");
    void report(const Step* step);
    // Prints (unless `quiet`) what happened since the last look, and turns problems the
    // simulated PC saw into a failure of the current step.
    void takeNews(bool quiet, const char* indent);
    void flushNotes(std::vector<std::string>& into);

    const Scenario& scenario_;
    std::ostream& out_;
    RunOptions options_;
    RunResult result_;
    int line_ = 0;
    bool started_ = false;
    std::size_t failuresSeen_ = 0;
    std::mutex notesMutex_;
    std::vector<std::string> notes_;
    std::vector<std::pair<int, std::function<void(Session&)>>> endChecks_;
    std::map<std::type_index, std::shared_ptr<void>> states_;
    struct LogCapture;
    std::unique_ptr<LogCapture> log_;
    std::unique_ptr<sim::SimPc> pc_; // last: destroyed first, ending the program
};

RunResult runScenario(const Scenario& scenario, std::ostream& out, RunOptions options = {});
// Parses and runs scenario text; a malformed text is reported and not run.
RunResult runScenarioText(std::string_view text, const std::string& name, std::ostream& out,
                          RunOptions options = {}, const StepTable& table = StepTable::standard());

// The simulator's command line: qa_simulator [--quiet] SCENARIO... | --list-steps.
// Returns the exit status: 0 all passed, 1 an expectation failed, 2 malformed input.
int simulatorMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace scn
