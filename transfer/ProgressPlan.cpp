#include "transfer/ProgressPlan.h"

#include <algorithm>
#include <numeric>

namespace vm {

void ProgressPlan::Reset()
{
    counts_.clear();
    current_ = -1;
    doneInCurrent_ = 0;
    percent_ = 0;
}

int ProgressPlan::Add(int count)
{
    counts_.push_back(std::max(count, 0));
    return static_cast<int>(counts_.size()) - 1;
}

void ProgressPlan::Begin(int share, int count)
{
    if (share < 0 || share >= static_cast<int>(counts_.size()) || share <= current_)
        return;
    if (current_ >= 0)
        counts_[current_] = doneInCurrent_;
    for (int i = current_ + 1; i < share; ++i)
        counts_[i] = 0;
    current_ = share;
    doneInCurrent_ = 0;
    counts_[share] = std::max(count, 0);
    Update();
}

void ProgressPlan::Step(int requests)
{
    if (current_ < 0 || requests <= 0 || doneInCurrent_ >= counts_[current_])
        return;
    doneInCurrent_ = std::min(doneInCurrent_ + requests, counts_[current_]);
    Update();
}

void ProgressPlan::Finish()
{
    percent_ = 100;
}

int ProgressPlan::Done() const
{
    if (current_ < 0)
        return 0;
    return std::accumulate(counts_.begin(), counts_.begin() + current_, 0) + doneInCurrent_;
}

int ProgressPlan::Total() const
{
    return std::accumulate(counts_.begin(), counts_.end(), 0);
}

void ProgressPlan::Update()
{
    const int total = Total();
    if (total <= 0)
        return;
    // A share that turned out smaller than planned moves the figure on, never back.
    percent_ = std::max(percent_, static_cast<int>(100LL * Done() / total));
}

}  // namespace vm
