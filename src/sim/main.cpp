// qa_simulator: runs scenario files against the whole program on a simulated PC.
#include "scenario.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(true);
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        const int status = scn::simulatorMain(args, std::cout, std::cerr);
        std::cout.flush();
        return status;
    } catch (const std::exception& e) {
        // A mistake in the simulator itself (a step table that does not build, say).
        std::cout.flush();
        std::cerr << "qa_simulator: internal error: " << e.what() << "\n";
        return 2;
    }
}
