/* The controller for hosts that load plain C (LabVIEW, MATLAB, C#, C). Every call goes
 * through the controller's own thread, so any thread may call any function. Properties and
 * methods are reached by their names as the controller has them ("RepRate", "LaserRun").
 * Every function returns a status; after a failure morvand_last_error() gives the reason
 * (kept per calling thread). Booleans are 16-bit: -1 True, 0 False. */
#ifndef MORVAND_C_H
#define MORVAND_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvand_laser morvand_laser;

typedef enum morvand_status {
  MORVAND_OK = 0,
  MORVAND_ERROR = 1,          /* any other error of the controller */
  MORVAND_BAD_NAME = 2,       /* no property, method, event or fault of that name */
  MORVAND_BAD_TYPE = 3,       /* a value of the wrong type or a wrong number of arguments */
  MORVAND_INDEX_ERROR = 4,    /* an index outside its bounds */
  MORVAND_OVERFLOW_ERROR = 5, /* a value outside its integer or floating range */
  MORVAND_FLOAT_ERROR = 6,    /* a floating-point fault (division by zero) */
  MORVAND_LIST_ERROR = 7,     /* an invalid list index */
  MORVAND_SETTINGS_ERROR = 8, /* a settings file missing, short or out of range */
  MORVAND_BACKEND_ERROR = 9,  /* the card address cannot be opened */
  MORVAND_CLOSED = 10,        /* the laser is closed */
  MORVAND_BAD_ARGUMENT = 11,  /* a null pointer or a buffer too small */
  MORVAND_HOST_ERROR = 12     /* an error outside the controller */
} morvand_status;

/* Value types, as the property and method tables name them. */
typedef enum morvand_type {
  MORVAND_VOID = 0,
  MORVAND_BOOLEAN = 1,
  MORVAND_INT16 = 2,
  MORVAND_INT32 = 3,
  MORVAND_SINGLE = 4,
  MORVAND_DOUBLE = 5,
  MORVAND_STRING = 6,
  MORVAND_OBJECT = 7 /* a host list: not available through this interface */
} morvand_type;

/* A scalar: an argument, a result or an event value. Integer types (and Boolean: -1/0) use
 * integer, Single and Double use number, String uses text (UTF-8). */
typedef struct morvand_value {
  morvand_type type;
  int64_t integer;
  double number;
  const char* text;
} morvand_value;

/* The reason of the last failure on the calling thread ("" after success). */
const char* morvand_last_error(void);

/* Opens the card at address card ("sim:1711") and creates the controller from the settings
 * files of directory (NULL or "": the current directory). speed: simulated cards only,
 * simulated seconds per wall second, 0 as fast as possible. No card is selected yet: call the
 * method "StandardCard". */
morvand_status morvand_open(const char* card, const char* directory, double speed,
                            morvand_laser** laser);
/* Stops a running operation, runs the controller's destruction sequence (the settings files
 * are written) and frees the laser. From inside one of its own callbacks the close happens
 * once the running operation has returned. */
morvand_status morvand_close(morvand_laser* laser);

/* Writes the settings files of a new installation into directory: model ("LM-10") and gas
 * ("KrF") always, the other files only when missing. */
morvand_status morvand_write_settings(const char* directory, const char* model, const char* gas);

/* Type of a property. */
morvand_status morvand_property_type(const char* name, morvand_type* type);
/* Properties by name. Integers read Boolean, Int16 and Int32 properties; floating reads any
 * number; text reads any property as text (buffer of size bytes, NUL-terminated; length, when
 * not NULL, receives the full length). */
morvand_status morvand_get_integer(morvand_laser* laser, const char* name, int64_t* value);
morvand_status morvand_get_floating(morvand_laser* laser, const char* name, double* value);
morvand_status morvand_get_text(morvand_laser* laser, const char* name, char* buffer, size_t size,
                                size_t* length);
/* Integers set Boolean (non-zero is True), Int16, Int32 and floating properties; floating sets
 * Single and Double; text sets String properties and any other from its text ("True", "50"). */
morvand_status morvand_set_integer(morvand_laser* laser, const char* name, int64_t value);
morvand_status morvand_set_floating(morvand_laser* laser, const char* name, double value);
morvand_status morvand_set_text(morvand_laser* laser, const char* name, const char* value);

/* Calls a method. args[0..count) in the method's order; omitting LaserRun's last argument is
 * allowed. A by-reference argument receives the value the method left in it. result (may be
 * NULL) receives the result; a text result stays valid until the next call on this thread. */
morvand_status morvand_call(morvand_laser* laser, const char* method, morvand_value* args,
                            int count, morvand_value* result);

/* An event: its name ("LaserRunning") and its values in order. A handler may change the
 * by-reference values (Warmingup's Cancel, non-zero to cancel). Runs on the controller thread;
 * it may call into the laser (the call runs at once). */
typedef void (*morvand_event_fn)(void* user, const char* event, morvand_value* values, int count);
morvand_status morvand_set_event_callback(morvand_laser* laser, morvand_event_fn fn, void* user);

/* Questions. A message box returns 1 OK, 2 Cancel, 6 Yes or 7 No; a prompt writes the entered
 * text into answer (size bytes, NUL-terminated), "" for cancelled. Both run on the controller
 * thread and may wait for another thread. Without them a box gets No (or Cancel, or OK when it
 * has only that button) and a prompt is cancelled. */
typedef int (*morvand_message_box_fn)(void* user, const char* text, int style, const char* title);
typedef void (*morvand_input_box_fn)(void* user, const char* prompt, const char* title,
                                     const char* default_text, char* answer, size_t size);
morvand_status morvand_set_question_callbacks(morvand_laser* laser, morvand_message_box_fn box,
                                              morvand_input_box_fn prompt, void* user);

/* Simulated cards: switches a fault of the simulated laser on or off ("premix-empty"). */
morvand_status morvand_inject(morvand_laser* laser, const char* fault, int on);

#ifdef __cplusplus
}
#endif

#endif /* MORVAND_C_H */
