/* Latency of a property read and a short method call through the C interface, idle and
 * during a run on the simulated laser in real time (p50, p99).
 *   build/default/bench/bench_c_interface [samples] */
#define _POSIX_C_SOURCE 200809L
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "morvand/morvand_c.h"

static double now_us(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec * 1e-3;
}

static int compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static void measure(morvand_laser* laser, const char* what, int method, int n) {
  double* us = malloc(sizeof(double) * (size_t)n);
  for (int i = 0; i < n; ++i) {
    int64_t v;
    morvand_value r;
    const double t0 = now_us();
    if (method) {
      morvand_call(laser, "myTimer", NULL, 0, &r);
    } else {
      morvand_get_integer(laser, "RepRate", &v);
    }
    us[i] = now_us() - t0;
  }
  qsort(us, (size_t)n, sizeof(double), compare);
  printf("C %-40s p50 %9.1f us   p99 %9.1f us   (n=%d)\n", what, us[n / 2], us[(n * 99) / 100], n);
  free(us);
}

static void on_event(void* user, const char* event, morvand_value* values, int count) {
  (void)user;
  if (count == 2 && event[0] == 'W') values[1].integer = -1; /* Warmingup: cancel */
}

static void* run(void* laser) {
  morvand_value internal = {MORVAND_INT16, 0, 0.0, NULL};
  morvand_call((morvand_laser*)laser, "LaserRun", &internal, 1, NULL);
  return NULL;
}

int main(int argc, char** argv) {
  const int n = argc > 1 ? atoi(argv[1]) : 2000;
  const char* dir = "/tmp/morvand-bench-c";
  morvand_laser* laser = NULL;
  if (morvand_write_settings(dir, "LM-10", "KrF") != MORVAND_OK ||
      morvand_open("sim:1711", dir, 1.0, &laser) != MORVAND_OK) {
    fprintf(stderr, "%s\n", morvand_last_error());
    return 1;
  }
  morvand_set_event_callback(laser, on_event, NULL);
  morvand_value no = {MORVAND_BOOLEAN, 0, 0.0, NULL};
  morvand_call(laser, "StandardCard", NULL, 0, NULL);
  morvand_call(laser, "MorvandStatus", &no, 1, NULL);
  morvand_set_integer(laser, "RepRate", 100);
  morvand_set_integer(laser, "MaxNum", 50000000);
  measure(laser, "idle: property read (RepRate)", 0, n);
  measure(laser, "idle: short method (myTimer)", 1, n);
  pthread_t runner;
  pthread_create(&runner, NULL, run, laser);
  struct timespec pause = {0, 300000000};
  nanosleep(&pause, NULL);
  measure(laser, "running: property read (RepRate)", 0, n / 4);
  measure(laser, "running: short method (myTimer)", 1, n / 4);
  morvand_call(laser, "LaserStop", NULL, 0, NULL);
  pthread_join(runner, NULL);
  morvand_close(laser);
  return 0;
}
