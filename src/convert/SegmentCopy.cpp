#include "convert/SegmentCopy.h"

namespace quillet {

int RowProgress::Advance(int64_t& done, int64_t total, int64_t positions) {
    done += positions;
    if (done > total) done = total;
    return MulDiv(Low32(done), 100, Low32(total));
}

int OverallProgress::Advance(int64_t& done, int64_t, int64_t positions) {
    done += positions;
    overall_ += positions;
    if (overall_ > grandTotal_) overall_ = grandTotal_;
    return MulDiv(Low32(overall_), 100, Low32(grandTotal_));
}

}  // namespace quillet
