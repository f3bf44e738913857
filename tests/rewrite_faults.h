// The failures a rewrite of "winamp.ini" can meet, as the simulated PC injects them, and
// which contents the file must hold after each: never anything but its complete old or its
// complete new contents, with no scratch or backup file left beside it.
#pragma once

#include "sim_pc.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace faulttest {

using sim::FileFault;

struct FaultCase {
    const char* name;
    std::vector<FileFault> faults;
    bool duringCopy = false;  // a read fault spares the pass that reads before the copy
    bool newContents = false; // the new contents end up in place (else the old ones stay)
    // A read fault spares the rewrite's own reads too and hits the next file read once: the
    // copy that stands in for a refused move.
    bool inFallback = false;
};

inline const FaultCase kFaultCases[] = {
    {"ScratchCannotBeCreated", {FileFault::OpenForWrite}},
    {"ReadFailsMidFile", {FileFault::Read}, true},
    {"WriteFails", {FileFault::Write}},
    {"FlushFails", {FileFault::Flush}},
    {"Replace1175", {FileFault::ReplaceUnableToRemove}},
    {"Replace1176", {FileFault::ReplaceUnableToMove}},
    // The original was moved aside: the complete copy goes in its place ...
    {"Replace1177", {FileFault::ReplaceUnableToMove2}, false, true},
    // ... by a copy of its bytes when moving it is refused.
    {"Replace1177MoveRefused", {FileFault::ReplaceUnableToMove2, FileFault::Move}, false, true},
    // ... and when that copy cannot read the new contents, the original comes back whole.
    {"Replace1177MoveRefusedCopyReadFails",
     {FileFault::ReplaceUnableToMove2, FileFault::Move, FileFault::Read}, false, false, true},
};

inline std::string caseName(const testing::TestParamInfo<FaultCase>& info) {
    return info.param.name;
}

// Arms the case's faults on `pc`; `passesBeforeCopy` is how many files the rewrite reads
// before it copies "winamp.ini" (its own earlier pass, and paths.ini).
inline void arm(sim::SimPc& pc, const FaultCase& c, int passesBeforeCopy) {
    pc.setFileFault(FileFault::None);
    for (const FileFault f : c.faults)
        pc.addFileFault(f);
    pc.spareReads(c.duringCopy ? passesBeforeCopy : c.inFallback ? passesBeforeCopy + 1 : 0);
    if (c.inFallback)
        pc.limitReadFaults(1);
}

inline void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

// The file holds these contents, the folder holds what it held before (no scratch or
// backup file beside the file), and nothing written was left unflushed when it took the
// file's place.
inline void expectOnly(sim::SimPc& pc, const plat::String& folder, const plat::String& file,
                       const std::string& contents, const std::vector<plat::String>& before,
                       const std::vector<std::string>& journal) {
    EXPECT_EQ(pc.fileContents(folder + u"\\" + file), contents);
    const auto left = pc.folderFiles(folder);
    EXPECT_EQ(left, before) << "left in the folder: " << left.size() << " file(s)";
    for (const auto& line : journal)
        EXPECT_EQ(line.find("not flushed"), std::string::npos) << line;
}

} // namespace faulttest
