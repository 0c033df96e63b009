/* The C interface from C: settings, open, properties by name with their types, methods with
 * scalar arguments, events with a handler that stops the run, errors with their texts, and a
 * close that writes the settings back. */
#define _POSIX_C_SOURCE 200809L
#include "morvand/morvand_c.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static int failures = 0;
#define CHECK(cond)                                                                         \
  do {                                                                                      \
    if (!(cond)) {                                                                          \
      fprintf(stderr, "%s:%d: %s (%s)\n", __FILE__, __LINE__, #cond, morvand_last_error()); \
      ++failures;                                                                           \
    }                                                                                       \
  } while (0)

struct watch {
  morvand_laser* laser;
  int passes;
  int stopped_at;
  int messages;
  char last_message[256];
};

static void on_event(void* user, const char* event, morvand_value* values, int count) {
  struct watch* w = (struct watch*)user;
  if (strcmp(event, "Warmingup") == 0 && count == 2) values[1].integer = -1; /* cancel */
  if (strcmp(event, "LaserMessenger") == 0 && count == 1) {
    ++w->messages;
    snprintf(w->last_message, sizeof w->last_message, "%s", values[0].text);
  }
  if (strcmp(event, "LaserRunning") == 0 && count == 2) {
    ++w->passes;
    if (values[0].type == MORVAND_INT32 && values[0].integer >= 100 && w->stopped_at < 0) {
      w->stopped_at = w->passes;
      CHECK(morvand_call(w->laser, "LaserStop", NULL, 0, NULL) == MORVAND_OK);
    }
  }
}

static void read_file(const char* dir, const char* name, char* out, size_t size) {
  char path[512];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* f = fopen(path, "rb");
  out[0] = '\0';
  if (f == NULL) return;
  size_t n = fread(out, 1, size - 1, f);
  out[n] = '\0';
  fclose(f);
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : "c_interface";
  mkdir(dir, 0755);
  char path[512];
  snprintf(path, sizeof path, "%s/Counter", dir);
  remove(path);

  CHECK(morvand_write_settings(dir, "LM-99", "KrF") == MORVAND_SETTINGS_ERROR);
  CHECK(strstr(morvand_last_error(), "LM-99") != NULL);
  CHECK(morvand_write_settings(dir, "LM-10", "KrF") == MORVAND_OK);
  CHECK(strcmp(morvand_last_error(), "") == 0);

  morvand_laser* laser = NULL;
  CHECK(morvand_open("nocard:0", dir, 0.0, &laser) == MORVAND_BACKEND_ERROR);
  CHECK(laser == NULL);
  CHECK(morvand_open("sim:1711", dir, 0.0, &laser) == MORVAND_OK);
  if (laser == NULL) return 1;

  struct watch w = {laser, 0, -1, 0, ""};
  CHECK(morvand_set_event_callback(laser, on_event, &w) == MORVAND_OK);

  morvand_value result;
  CHECK(morvand_call(laser, "StandardCard", NULL, 0, &result) == MORVAND_OK);
  CHECK(result.type == MORVAND_BOOLEAN && result.integer == -1);
  morvand_value no = {MORVAND_BOOLEAN, 0, 0.0, NULL};
  CHECK(morvand_call(laser, "MorvandStatus", &no, 1, NULL) == MORVAND_OK);

  /* Properties with their types. */
  morvand_type type;
  CHECK(morvand_property_type("RepRate", &type) == MORVAND_OK && type == MORVAND_INT32);
  CHECK(morvand_set_integer(laser, "RepRate", 50) == MORVAND_OK);
  int64_t i = 0;
  CHECK(morvand_get_integer(laser, "RepRate", &i) == MORVAND_OK && i == 50);
  CHECK(morvand_set_text(laser, "PopupMessage", "False") == MORVAND_OK);
  CHECK(morvand_get_integer(laser, "PopupMessage", &i) == MORVAND_OK && i == 0);
  CHECK(morvand_set_integer(laser, "MaxNum", 50000000) == MORVAND_OK);
  double d = 0.0;
  CHECK(morvand_set_floating(laser, "TempSet", 26.5) == MORVAND_OK);
  CHECK(morvand_get_floating(laser, "TempSet", &d) == MORVAND_OK && d == 26.5);
  char text[8];
  size_t length = 0;
  CHECK(morvand_get_text(laser, "TempSet", text, sizeof text, &length) == MORVAND_OK);
  CHECK(strcmp(text, "26.5") == 0 && length == 4);

  /* Errors: unknown names, wrong types, ranges. */
  CHECK(morvand_get_integer(laser, "RepRat", &i) == MORVAND_BAD_NAME);
  CHECK(strstr(morvand_last_error(), "RepRat") != NULL);
  CHECK(morvand_get_integer(laser, "TempSet", &i) == MORVAND_BAD_TYPE);
  CHECK(morvand_set_floating(laser, "RepRate", 1.5) == MORVAND_BAD_TYPE);
  CHECK(morvand_set_integer(laser, "LaserStatus", 70000) == MORVAND_OVERFLOW_ERROR);
  CHECK(morvand_call(laser, "LaserGo", NULL, 0, NULL) == MORVAND_BAD_NAME);
  CHECK(morvand_call(laser, "CounterRead", NULL, 0, NULL) == MORVAND_BAD_TYPE);
  morvand_value counter = {MORVAND_INT16, 7, 0.0, NULL};
  CHECK(morvand_call(laser, "CounterRead", &counter, 1, NULL) == MORVAND_INDEX_ERROR);

  /* A run stopped from its own event handler. */
  morvand_value internal = {MORVAND_INT16, 0, 0.0, NULL};
  CHECK(morvand_call(laser, "LaserRun", &internal, 1, NULL) == MORVAND_OK);
  CHECK(w.stopped_at > 0 && w.passes - w.stopped_at <= 1);
  CHECK(strcmp(w.last_message, "Laser Operation Stopped") == 0);
  int64_t pulses = 0;
  CHECK(morvand_get_integer(laser, "CumTotalPulses", &pulses) == MORVAND_OK && pulses >= 100);

  CHECK(morvand_inject(laser, "no-such-fault", 1) == MORVAND_BAD_NAME);
  CHECK(strstr(morvand_last_error(), "premix-empty") != NULL);
  CHECK(morvand_inject(laser, "premix-empty", 1) == MORVAND_OK);

  CHECK(morvand_close(laser) == MORVAND_OK);
  char counter_file[64];
  read_file(dir, "Counter", counter_file, sizeof counter_file);
  CHECK(atoll(counter_file) == pulses);

  if (failures != 0) fprintf(stderr, "%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
