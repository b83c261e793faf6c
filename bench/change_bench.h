// The loop both windows' benches time: attempts of a change back and forth
// between IDs 17 and 1, so that each is a real one, each from the press to
// the verdict, and what they cost the processor.
#pragma once

#include "fakes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

// set_ids(old, new) types the IDs, press() presses 更改ID and returns when
// the verdict is in, succeeded() reads it off the log box; cpu_ms() is the
// processor time the program has used.
inline int time_changes(int attempts, const qrv::test::MessageRecorder& messages,
                        const std::function<void(const char*, const char*)>& set_ids,
                        const std::function<void()>& press, const std::function<bool()>& succeeded,
                        const std::function<double()>& cpu_ms)
{
    double wall_total = 0, cpu_total = 0, wall_max = 0;
    int successes = 0;
    for (int i = 0; i < attempts; ++i) {
        set_ids(i % 2 ? "1" : "17", i % 2 ? "17" : "1");
        const double cpu_before = cpu_ms();
        const auto start = std::chrono::steady_clock::now();
        press();
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        cpu_total += cpu_ms() - cpu_before;
        wall_total += took;
        wall_max = std::max(wall_max, took);
        successes += succeeded();
    }
    std::printf("attempts            %d (%d successful, %zu messages)\n", attempts, successes,
                messages.messages.size());
    std::printf("press to verdict    mean %.1f ms, max %.1f ms\n", wall_total / attempts, wall_max);
    std::printf("processor time      mean %.2f ms per attempt = %.2f%% of one core\n",
                cpu_total / attempts, 100.0 * cpu_total / wall_total);
    return successes == attempts ? 0 : 1;
}
