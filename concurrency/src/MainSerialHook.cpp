#include "concurrency/MainSerialHook.hpp"

#include <atomic>

namespace zirudeze::concurrency {

namespace {
std::atomic<bool> hookInstalled{false};
}

bool mainSerialHookInstalled() { return hookInstalled.load(); }

void setMainSerialHookInstalled(bool installed) { hookInstalled.store(installed); }

}  // namespace zirudeze::concurrency
