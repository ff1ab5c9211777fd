#pragma once
// The median wall time of a piece of work run several times, for the benchmark programs.
#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

inline double MedianSeconds(int runs, const std::function<void()>& work) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}
