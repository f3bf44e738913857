// Shared by the fuzz targets: failing a check, reading text as whole lines, and a simulated PC
// kept across inputs.
#pragma once

#include "Globals.h"
#include "sim_pc.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace fuzzing {

inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// Whole lines, each with its line ending.
inline std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t take = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, take));
        text.remove_prefix(take);
    }
    return lines;
}

inline std::string_view endingOf(std::string_view line) {
    if (line.ends_with("\r\n"))
        return "\r\n";
    return line.ends_with('\n') ? "\n" : "";
}

// A simulated PC with the run's process-wide objects.
struct SimWorld {
    SimWorld() {
        pc.install();
        startProcessObjects();
    }
    ~SimWorld() {
        pc.endProcess();
        plat::install({});
        endProcessObjects();
    }
    sim::SimPc pc;
};

// One World for many inputs, made anew every `every` inputs: the simulated PC keeps a journal
// of everything done to it, which would grow without end.
template <class World> World& renewed(int every) {
    static World* world = nullptr;
    static int runs = 0;
    if (world && ++runs % every == 0) {
        delete world;
        world = nullptr;
    }
    if (!world)
        world = new World;
    return *world;
}

} // namespace fuzzing
