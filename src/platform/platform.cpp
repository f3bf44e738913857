#include "ports.h"

namespace plat {

namespace {
Platform installed;
}

void install(const Platform& bundle) { installed = bundle; }
const Platform& current() { return installed; }

} // namespace plat
