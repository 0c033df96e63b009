"""The latency measurement the Python benchmarks share: a call timed n times, then its p50 and
p99 printed on one line."""
import time


def measure(label, fn, n, width=35):
    us = []
    for _ in range(n):
        t0 = time.perf_counter()
        fn()
        us.append((time.perf_counter() - t0) * 1e6)
    us.sort()
    print(f"{label:<{width}} p50 {us[len(us) // 2]:9.1f} us   p99 {us[len(us) * 99 // 100]:9.1f} us"
          f"   (n={n})")
