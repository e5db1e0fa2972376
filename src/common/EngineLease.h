#pragma once

#include <functional>

namespace quillet {

// An object of the window's (an engine file object) handed to worker threads for as long as the
// lease lives. The window keeps its hands off it meanwhile; what must touch it anyway (the
// application's error handler, closing the files of a conversion) first reclaims it: the
// workers' use of it ends, and from then on the holder works on it from the window's thread.
// Leases are taken, reclaimed and ended on the window's thread only.
class EngineLease {
  public:
    EngineLease(const void* object, std::function<void()> recall);
    ~EngineLease();
    EngineLease(const EngineLease&) = delete;
    EngineLease& operator=(const EngineLease&) = delete;

    // Runs the recall of the lease on object, if there is one.
    static void Reclaim(const void* object);

  private:
    const void* object_;
    std::function<void()> recall_;
};

}  // namespace quillet
