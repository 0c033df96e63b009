/* Warm the laser up, fire 1000 pulses at constant energy and print a summary, through the C
 * interface (libmorvand_c).
 *
 *   build/default/examples/constant_energy_c [DIR]
 */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "morvand/morvand_c.h"

struct stats {
  long passes;
  double sum, sum2, low, high;
};

static void on_event(void* user, const char* event, morvand_value* values, int count) {
  struct stats* s = (struct stats*)user;
  if (strcmp(event, "LaserRunning") == 0 && count == 2) {
    const double e = values[1].number;
    if (s->passes == 0 || e < s->low) s->low = e;
    if (s->passes == 0 || e > s->high) s->high = e;
    s->sum += e;
    s->sum2 += e * e;
    ++s->passes;
  } else if (strcmp(event, "LaserMessenger") == 0 && count == 1) {
    printf("%s\n", values[0].text);
  }
}

static int check(morvand_status status, const char* what) {
  if (status != MORVAND_OK) fprintf(stderr, "%s: %s\n", what, morvand_last_error());
  return status == MORVAND_OK;
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : "example-laser";
  morvand_laser* laser = NULL;
  struct stats s = {0, 0.0, 0.0, 0.0, 0.0};
  if (!check(morvand_write_settings(dir, "LM-10", "KrF"), "settings") ||
      !check(morvand_open("sim:1711", dir, 0.0, &laser), "open")) {
    return 1;
  }
  morvand_set_event_callback(laser, on_event, &s);
  morvand_value found, no = {MORVAND_BOOLEAN, 0, 0.0, NULL};
  int ok = check(morvand_call(laser, "StandardCard", NULL, 0, &found), "StandardCard") &&
           found.integer != 0 &&
           check(morvand_call(laser, "MorvandStatus", &no, 1, NULL), "warm-up");
  double max_energy = 0.0;
  ok = ok && check(morvand_get_floating(laser, "MaxEnergyVal", &max_energy), "MaxEnergyVal") &&
       check(morvand_set_integer(laser, "RepRate", 100), "RepRate") &&
       check(morvand_set_integer(laser, "mode", 1), "mode") &&
       check(morvand_set_floating(laser, "SetEnergy", max_energy / 2), "SetEnergy") &&
       check(morvand_set_integer(laser, "MaxNum", 1000), "MaxNum");
  morvand_value internal = {MORVAND_INT16, 0, 0.0, NULL};
  ok = ok && check(morvand_call(laser, "LaserRun", &internal, 1, NULL), "LaserRun");
  int64_t fired = 0;
  ok = ok && check(morvand_get_integer(laser, "PulseNum", &fired), "PulseNum");
  if (ok && s.passes > 0) {
    const double mean = s.sum / (double)s.passes;
    const double sd = sqrt(fmax(0.0, s.sum2 / (double)s.passes - mean * mean));
    printf("fired %lld pulses in %ld passes; energy set %.2f, mean %.2f, sd %.2f, range %.2f-%.2f\n",
           (long long)fired, s.passes, max_energy / 2, mean, sd, s.low, s.high);
  }
  morvand_close(laser); /* the settings are written back */
  return ok ? 0 : 1;
}
