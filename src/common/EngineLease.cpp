#include "common/EngineLease.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace quillet {

namespace {

std::vector<EngineLease*>& Held() {
    static std::vector<EngineLease*> leases;
    return leases;
}

}  // namespace

EngineLease::EngineLease(const void* object, std::function<void()> recall)
    : object_(object), recall_(std::move(recall)) {
    Held().push_back(this);
}

EngineLease::~EngineLease() {
    auto& leases = Held();
    leases.erase(std::remove(leases.begin(), leases.end(), this), leases.end());
}

void EngineLease::Reclaim(const void* object) {
    const auto& leases = Held();
    const auto it = std::find_if(leases.begin(), leases.end(), [object](const EngineLease* lease) {
        return lease->object_ == object;
    });
    if (it == leases.end()) return;
    // A copy: the recall may end leases, this one among them.
    const std::function<void()> recall = (*it)->recall_;
    recall();
}

}  // namespace quillet
