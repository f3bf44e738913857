#include "Debug.h"

#include "Globals.h"
#include "ports.h"
#include "text.h"

#include <atomic>
#include <new>

#ifdef QA_LOG_FILE
#include <cstdio>
#include <mutex>
#endif

namespace {

std::atomic<LogCapture> capture{nullptr};

constexpr std::u16string_view stars =
    u"********************************************************************";
static_assert(stars.size() == 68);

void appendTwoDigits(plat::String& out, int value) {
    if (value < 0 || value > 99)
        value = 0;
    out += static_cast<char16_t>(u'0' + value / 10);
    out += static_cast<char16_t>(u'0' + value % 10);
}

// "\n****\nApplication Started on %B %d %Y at %H:%M:%S\n****", with English month names as
// the C locale gives them.
plat::String buildBanner() {
    static constexpr const char16_t* months[] = {
        u"January", u"February", u"March",     u"April",   u"May",      u"June",
        u"July",    u"August",   u"September", u"October", u"November", u"December"};
    const plat::LocalTime t = plat::threads().localTime();

    plat::String banner;
    banner.reserve(180);
    banner += u'\n';
    banner += stars;
    banner += u"\nApplication Started on ";
    if (t.month >= 1 && t.month <= 12)
        banner += months[t.month - 1];
    banner += u' ';
    appendTwoDigits(banner, t.day);
    banner += u' ';
    banner += plat::formatText(u"%d", {t.year});
    banner += u" at ";
    appendTwoDigits(banner, t.hour);
    banner += u':';
    appendTwoDigits(banner, t.minute);
    banner += u':';
    appendTwoDigits(banner, t.second);
    banner += u'\n';
    banner += stars;
    return banner;
}

std::u16string_view prefixOf(std::int32_t level) {
    switch (level) {
    case LogLevel::Error:
        return u" ERROR :";
    case LogLevel::Trace:
        return u" TRACE :";
    case LogLevel::Log:
        return u"  LOG  :";
    default:
        return {};
    }
}

// "%ld:" of time(): decimal digits, a minus sign if before 1970, then a colon.
void appendTimeField(plat::String& out, std::int64_t seconds) {
    char16_t digits[24];
    std::size_t n = 0;
    std::uint64_t magnitude =
        seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (seconds < 0)
        out += u'-';
    while (n > 0)
        out += digits[--n];
    out += u':';
}

#ifdef QA_LOG_FILE
// Developer builds only: the lines also go to a file in the working directory.
void writeToFile(const plat::String& text) {
    static std::mutex lock;
    static std::FILE* file = std::fopen("QuorvaneAuravo.log", "ab");
    std::lock_guard<std::mutex> guard(lock);
    if (!file)
        return;
    const std::string bytes = plat::toUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fputc('\n', file); // the log's own lines carry no terminator
    std::fflush(file);
}
#endif

} // namespace

void Debug::write(plat::String text) {
    if (const LogCapture sink = capture.load(std::memory_order_acquire))
        sink(text);
#ifdef QA_LOG_FILE
    writeToFile(text);
#endif
}

void setLogCapture(LogCapture sink) {
    capture.store(sink, std::memory_order_release);
}

void WriteLog(plat::String message, std::int32_t level) {
    // If the sink cannot be allocated the lines are still built; they just go nowhere.
    Debug* sink = new (std::nothrow) Debug;

    std::atomic<bool>& bannerWritten = globals().bannerWritten;
    if (!bannerWritten.load(std::memory_order_acquire) &&
        !bannerWritten.exchange(true, std::memory_order_acq_rel)) {
        plat::String banner = buildBanner();
        if (sink)
            sink->write(std::move(banner));
    }

    const std::u16string_view prefix = prefixOf(level);
    plat::String line;
    line.reserve(24 + prefix.size() + message.size());
    appendTimeField(line, plat::threads().timeNow());
    line += prefix;
    line += message;
    if (sink)
        sink->write(std::move(line));

    delete sink;
}

void traceEntry(std::u16string_view name) {
    plat::String message(name);
    message += u" -- Method Entry.";
    WriteLog(std::move(message), LogLevel::Trace);
}

void traceExit(std::u16string_view name) {
    plat::String message(name);
    message += u" -- Method Exit.";
    WriteLog(std::move(message), LogLevel::Trace);
}

void traceExit(std::u16string_view name, std::u16string_view reason) {
    plat::String message(name);
    message += u" -- Method Exit(";
    message += reason;
    message += u").";
    WriteLog(std::move(message), LogLevel::Trace);
}
