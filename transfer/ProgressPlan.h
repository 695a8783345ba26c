#pragma once
// One progress figure over a whole run made of consecutive phases (backup read, write, verify):
// each phase is a share sized by its number of requests, so the bar runs once from 0 to 100 %
// instead of starting again with every phase. A share planned before its phase starts holds an
// estimate; the exact count replaces it when the phase begins. The percentage never goes back.

#include <vector>

namespace vm {

class ProgressPlan {
public:
    // Forgets every share; the figure starts again at 0.
    void Reset();
    // A share of count requests after the others; its index.
    int Add(int count);
    // The phase of that share begins with its exact count. Earlier shares count as done with what
    // they did; shares passed over (never begun) drop out of the total.
    void Begin(int share, int count);
    // Requests of the current share done (one, or the parameters of a block read).
    void Step(int requests = 1);
    // The run is over: 100 %.
    void Finish();

    int Done() const;
    int Total() const;
    int Percent() const { return percent_; }

private:
    void Update();

    std::vector<int> counts_;
    int current_ = -1;
    int doneInCurrent_ = 0;
    int percent_ = 0;
};

}  // namespace vm
