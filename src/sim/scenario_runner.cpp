// Runs a parsed scenario on a fresh simulated PC and writes the transcript: each step as
// written, then what it did and the simulated PC's journal of what happened (the modals
// the user saw and how they were answered, registry, files, messages to other programs). The first
// failed expectation ends the run with the step's line and what was on screen.
#include "scenario.h"

#include "Collaborators.h"
#include "Debug.h"
#include "Globals.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "text.h"

#include <algorithm>
#include <deque>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <utility>

namespace scn {

namespace {

void printIndented(std::ostream& out, const std::string& text, const char* prefix) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        out << prefix << line << "\n";
}

std::string stepLabel(int line) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%5d  ", line);
    return buf;
}

} // namespace

// The log's capture hook is a plain function, so the run it writes into is process-wide;
// one session runs at a time, as one SimPc is installed at a time.
struct Session::LogCapture {
    std::mutex mutex;
    std::deque<std::string> lines;
    std::size_t limit = 0; // 0: every line

    static inline std::mutex currentMutex;
    static inline LogCapture* current = nullptr;

    static void capture(const plat::String& text) {
        std::lock_guard guard(currentMutex);
        if (!current)
            return;
        std::lock_guard lock(current->mutex);
        current->lines.push_back(plat::toUtf8(text));
        if (current->limit && current->lines.size() > current->limit)
            current->lines.pop_front();
    }
};

Session::Session(const Scenario& scenario, std::ostream& out, RunOptions options)
    : scenario_(scenario), out_(out), options_(std::move(options)),
      log_(std::make_unique<LogCapture>()), pc_(std::make_unique<sim::SimPc>()) {
    if (!options_.entry)
        options_.entry = [] { return runProgram(); };
    pc_->install();
    {
        std::lock_guard guard(LogCapture::currentMutex);
        LogCapture::current = log_.get();
    }
    setLogCapture(&LogCapture::capture);
}

Session::~Session() {
    // The program and its threads end before the state that script actions and the log
    // write into; then the run's process-wide objects go, as they would with the process.
    // The link and the forwarder, which the program leaves to the end of its process, go
    // while the ports that opened their handles are still there.
    pc_->endProcess();
    if (Globals* g = started_ ? currentGlobals() : nullptr) {
        delete std::exchange(g->vendorLink, nullptr);
        delete std::exchange(g->keyForwarder, nullptr);
    }
    pc_.reset();
    if (started_)
        endProcessObjects();
    setLogCapture(nullptr);
    std::lock_guard guard(LogCapture::currentMutex);
    LogCapture::current = nullptr;
}

std::vector<std::string> Session::logLines() const {
    std::lock_guard lock(log_->mutex);
    return {log_->lines.begin(), log_->lines.end()};
}

void Session::limitLog(std::size_t lines) {
    std::lock_guard lock(log_->mutex);
    log_->limit = lines;
    while (lines && log_->lines.size() > lines)
        log_->lines.pop_front();
}

void Session::say(std::string text) {
    std::lock_guard lock(notesMutex_);
    notes_.push_back(std::move(text));
}

void Session::fail(std::string why) {
    if (result_.outcome != Outcome::Passed)
        return; // the first problem is the one to fix
    result_ = {Outcome::Failed, line_, std::move(why)};
}

void Session::misuse(std::string why) {
    if (result_.outcome != Outcome::Passed)
        return;
    result_ = {Outcome::Malformed, line_, std::move(why)};
}

void Session::startProgram() {
    pc_->startProgram(options_.entry);
    started_ = true;
    settle();
}

bool Session::settle() {
    if (pc_->waitIdle(options_.bound))
        return true;
    fail("the simulated PC did not become idle within " + std::to_string(options_.bound.count()) +
         " ms");
    return false;
}

plat::String Session::loadString(std::uint32_t id) {
    const plat::Platform ports = pc_->bundle();
    plat::String text;
    if (!ports.resources->loadString(ports.resources->programModule(), id, text)) {
        fail("string " + std::to_string(id) + " is missing from the program's string table");
    }
    return text;
}

void Session::atEnd(std::function<void(Session&)> check) {
    endChecks_.emplace_back(line_, std::move(check));
}

void Session::flushNotes(std::vector<std::string>& into) {
    std::lock_guard lock(notesMutex_);
    into.insert(into.end(), std::make_move_iterator(notes_.begin()),
                std::make_move_iterator(notes_.end()));
    notes_.clear();
}

void Session::runStep(const Step& step, const char* indent) {
    if (!*indent)
        line_ = step.line;
    if (!options_.quiet)
        out_ << (*indent ? std::string(indent) : stepLabel(step.line)) << step.source << "\n";
    if (step.def->when == When::BeforeStart && pc_->programRunning()) {
        misuse("'" + step.def->name + "' sets up the machine and must come before 'start'");
        return;
    }
    try {
        step.def->run(*this, step.args);
    } catch (const std::exception& e) {
        fail(std::string("internal error in step '") + step.def->name + "': " + e.what());
    }
}

// Prints what happened since the last report and turns problems the simulated PC saw into
// a failure of the current step.
void Session::takeNews(bool quiet, const char* indent) {
    std::vector<std::string> notes;
    flushNotes(notes);
    // The journal already tells which modals opened, with their texts and buttons, and how
    // they were answered.
    const auto journal = pc_->takeJournal();
    const auto failures = pc_->failures();
    if (!quiet) {
        for (const auto& n : notes)
            out_ << "         " << indent << n << "\n";
        for (const auto& j : journal)
            out_ << "         " << indent << "| " << j << "\n";
    }
    for (std::size_t i = failuresSeen_; i < failures.size(); ++i) {
        fail("the simulated PC reported: " + failures[i]);
    }
    failuresSeen_ = failures.size();
}

void Session::runRepeated(const std::vector<Step>& steps, std::uint32_t rounds) {
    constexpr const char* kIndent = "       > ";
    const bool quiet = options_.quiet;
    for (std::uint32_t round = 1; round <= rounds; ++round) {
        for (const auto& step : steps) {
            runStep(step, kIndent);
            takeNews(options_.quiet, "  ");
            if (stopped()) {
                result_.message = "round " + std::to_string(round) + " of " +
                                  std::to_string(rounds) + ", at " + quoted(step.source) + ": " +
                                  result_.message;
                options_.quiet = quiet;
                return;
            }
        }
        // The first round shows what one round does; the rest only whether they pass.
        options_.quiet = true;
    }
    options_.quiet = quiet;
}

void Session::report(const Step* step) {
    takeNews(options_.quiet, "");

    if (result_.outcome == Outcome::Passed)
        return;
    const char* verdict = result_.outcome == Outcome::Failed ? "FAILED" : "MALFORMED";
    out_ << verdict << " " << scenario_.name << " line " << result_.line;
    if (step)
        out_ << ": " << step->source;
    out_ << "\n";
    printIndented(out_, result_.message, "  ");
    if (result_.outcome == Outcome::Failed) {
        out_ << "  screen:\n";
        printIndented(out_, pc_->screen(), "    ");
    }
}

RunResult Session::run() {
    if (!options_.quiet)
        out_ << "== " << scenario_.name << "\n";
    pc_->takeJournal(); // the machine as it was built is not news
    for (const auto& step : scenario_.steps) {
        runStep(step);
        report(&step);
        if (stopped())
            return result_;
    }
    for (std::size_t i = 0; i < endChecks_.size(); ++i) { // a check may add checks
        line_ = endChecks_[i].first;
        const auto check = endChecks_[i].second;
        check(*this);
        report(nullptr);
        if (stopped())
            return result_;
    }
    out_ << "PASSED " << scenario_.name << " (" << scenario_.steps.size() << " steps)\n";
    return result_;
}

RunResult runScenario(const Scenario& scenario, std::ostream& out, RunOptions options) {
    Session session(scenario, out, std::move(options));
    return session.run();
}

RunResult runScenarioText(std::string_view text, const std::string& name, std::ostream& out,
                          RunOptions options, const StepTable& table) {
    const ParseResult parsed = table.parse(text, name);
    if (!parsed.errors.empty()) {
        for (const auto& e : parsed.errors) {
            out << "MALFORMED " << name << " line " << e.line << ": " << e.message << "\n";
        }
        return {Outcome::Malformed, parsed.errors.front().line, parsed.errors.front().message};
    }
    return runScenario(parsed.scenario, out, std::move(options));
}

namespace {

constexpr const char* usageText =
    "usage: qa_simulator [--quiet] SCENARIO...\n"
    "       qa_simulator --list-steps\n"
    "Runs each scenario on a fresh simulated PC and prints its transcript.\n"
    "Exit status: 0 all passed, 1 an expectation failed, 2 a scenario is malformed.\n";

int statusOf(Outcome o) {
    switch (o) {
    case Outcome::Passed:
        return 0;
    case Outcome::Failed:
        return 1;
    case Outcome::Malformed:
        return 2;
    }
    return 2;
}

} // namespace

int simulatorMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RunOptions options;
    std::vector<std::string> files;
    for (const auto& a : args) {
        if (a == "--list-steps") {
            StepTable::standard().list(out);
            return 0;
        }
        if (a == "--help" || a == "-h") {
            out << usageText;
            return 0;
        }
        if (a == "--quiet") {
            options.quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "qa_simulator: unknown option " << a << "\n" << usageText;
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        err << usageText;
        return 2;
    }

    int worst = 0;
    int counts[3] = {0, 0, 0};
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            out << "MALFORMED " << file << ": cannot read the file\n";
            worst = 2;
            ++counts[2];
            continue;
        }
        std::string text;
        text.resize(maxScenarioBytes + 1); // one more, to notice a file that is too large
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        const RunResult r = runScenarioText(text, file, out, options);
        const int status = statusOf(r.outcome);
        ++counts[status];
        worst = std::max(worst, status);
        if (!options.quiet)
            out << "\n";
    }
    if (files.size() > 1) {
        out << files.size() << " scenarios: " << counts[0] << " passed, " << counts[1]
            << " failed, " << counts[2] << " malformed\n";
    }
    return worst;
}

} // namespace scn
