/* Updates the current folder from a control file on disk through the C
 * interface, answering its question Yes, and prints the library's version and
 * each status message. Exits with the run's status.
 *     c_host CONTROL-FILE */
#include <kavrel.h>
#include <stdio.h>

static void on_status(void* context, int id, const char* text, int status, int error) {
  (void)context;
  printf("[%d] %s (Status:%d) (Error:%d)\n", id, text, status, error);
}

static int on_box(void* context, const char* text, const char* caption, int kind, int buttons) {
  (void)context;
  (void)kind;
  printf("[box] %s: %s\n", caption, text);
  return buttons == KAVREL_BUTTONS_YES_NO ? KAVREL_ANSWER_YES : KAVREL_ANSWER_OK;
}

int main(int argc, char** argv) {
  kavrel_t* engine;
  int status;
  if (argc != 2) {
    fputs("usage: c_host CONTROL-FILE\n", stderr);
    return 2;
  }
  printf("version %s\n", kavrel_version());
  engine = kavrel_new();
  if (kavrel_set(engine, "URL", argv[1]) != KAVREL_OK ||
      kavrel_set(engine, "UpdateType", "fileUpdate") != KAVREL_OK ||
      kavrel_set(engine, "UpdateUpdate", "kvuSilent") != KAVREL_OK ||
      kavrel_set(engine, "UseWinTempDir", "False") != KAVREL_OK) {
    fprintf(stderr, "c_host: %s\n", kavrel_last_error(engine));
    kavrel_free(engine);
    return 2;
  }
  kavrel_on_status(engine, on_status, NULL);
  kavrel_on_message_box(engine, on_box, NULL);
  status = kavrel_run(engine);
  kavrel_free(engine);
  return status;
}
