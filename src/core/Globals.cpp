#include "Globals.h"

#include <mutex>

namespace {

std::recursive_mutex holderLock; // recursive: a constructor below may reach globals()
std::unique_ptr<Globals> holder; // freed by the next start or endProcessObjects (see Globals.h)
std::atomic<Globals*> current{nullptr};
std::atomic<ProcessObjectsBuilder> builder{nullptr};

} // namespace

Globals::MakeCurrent::MakeCurrent(Globals* g) : self(g) {
    current.store(g, std::memory_order_release);
}

Globals::MakeCurrent::~MakeCurrent() {
    Globals* expected = self;
    current.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

// Members are constructed in declaration order, which is the program's start-up order; the
// objects of higher layers are built into the set afterwards, in the same order
// (startProcessObjects).
Globals::Globals() = default;

Globals::~Globals() = default;

Globals* currentGlobals() {
    return current.load(std::memory_order_acquire);
}

Globals& globals() {
    if (Globals* g = currentGlobals())
        return *g;
    // Code exercised outside a run (a unit test of one class, a benchmark) gets a set of
    // its own.
    std::lock_guard<std::recursive_mutex> lock(holderLock);
    if (!holder) {
        holder = std::make_unique<Globals>();
        if (const ProcessObjectsBuilder build = builder.load(std::memory_order_acquire))
            build(*holder);
    }
    return *holder;
}

Globals& startProcessValues() {
    std::lock_guard<std::recursive_mutex> lock(holderLock);
    holder.reset();
    // A new process starts with its own resources until it chooses the library.
    fw::setResourceModule(0);
    holder = std::make_unique<Globals>();
    return *holder;
}

void setProcessObjectsBuilder(ProcessObjectsBuilder build) {
    builder.store(build, std::memory_order_release);
}

void endProcessObjects() {
    std::lock_guard<std::recursive_mutex> lock(holderLock);
    holder.reset();
}

plat::String helpFilePath() {
    const plat::String& name = globals().helpFileName;
    const plat::String program = plat::resources().programFile();
    const std::size_t slash = program.find_last_of(u"\\/");
    if (slash == plat::String::npos)
        return name;
    return program.substr(0, slash + 1) + name;
}

plat::String formatPlaceholderList(std::size_t count, std::u16string_view text,
                                   std::span<const plat::String> args) {
    const std::size_t usable = count < args.size() ? count : args.size();
    plat::String result;
    result.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t percent = text.find(u'%', at);
        if (percent == std::u16string_view::npos) {
            result.append(text.substr(at));
            break;
        }
        result.append(text.substr(at, percent - at));

        std::size_t end = percent + 1;
        std::size_t number = 0;
        const bool startsWithDigit = end < text.size() && text[end] >= u'1' && text[end] <= u'9';
        while (startsWithDigit && end < text.size() && text[end] >= u'0' && text[end] <= u'9') {
            // Past `usable` the number can only be out of range; stop growing it so that a long
            // run of digits cannot overflow.
            if (number <= usable)
                number = number * 10 + static_cast<std::size_t>(text[end] - u'0');
            ++end;
        }
        if (startsWithDigit && number >= 1 && number <= usable) {
            result += args[number - 1];
            at = end;
        } else {
            result += u'%';
            at = percent + 1;
        }
    }
    return result;
}
