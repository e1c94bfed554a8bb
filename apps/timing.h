// Timing for the demo and the codec benchmarks: the best of a few runs,
// since the machines are noisy.
#pragma once

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace zebimg {

template <class F>
double bestSeconds(F&& f, int runs = 3) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// The process's processor time (all its threads), best of several runs: on
// a loaded machine single-threaded comparisons stay meaningful.  Process
// time, since a peer library may do its work in a pool thread even when
// asked for one thread.
template <class F>
double bestCpuSeconds(F&& f, int runs = 3) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        timespec t0, t1;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
        f();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
        best = std::min(best, (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) * 1e-9);
    }
    return best;
}

// Two competitors timed in turns (a b, b a, a b, ...), best of several runs
// each, by elapsed or by the process's processor time: a slow spell of the
// machine then falls on both instead of on whichever ran during it.
template <class FA, class FB>
std::pair<double, double> bestInTurns(FA&& a, FB&& b, int runs, bool cpu) {
    const auto seconds = [cpu](auto&& f) { return cpu ? bestCpuSeconds(f, 1) : bestSeconds(f, 1); };
    double bestA = 1e30, bestB = 1e30;
    for (int i = 0; i < runs; ++i) {
        if (i & 1) {
            bestB = std::min(bestB, seconds(b));
            bestA = std::min(bestA, seconds(a));
        } else {
            bestA = std::min(bestA, seconds(a));
            bestB = std::min(bestB, seconds(b));
        }
    }
    return {bestA, bestB};
}

// Processor time (user and system) of the child processes that f runs,
// best of several runs.
template <class F>
double bestChildCpuSeconds(F&& f, int runs = 3) {
    const auto total = [] {
        rusage u;
        getrusage(RUSAGE_CHILDREN, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
    };
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double t0 = total();
        f();
        best = std::min(best, total() - t0);
    }
    return best;
}

}  // namespace zebimg
