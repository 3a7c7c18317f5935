/* recognize: one recognition through the flat interface.
   usage: recognize [--xml] PARAMETER_FILE [RAW_PCM_FILE]
   Prints "connected", interim and final texts (their XML with --xml), "sentence end" and
   the completion: "completed", or the error's number, type and message. Exits 0 after a
   normal end, 1 after an error, 2 on bad usage. */
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include "quor_helper.h"

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t ended = PTHREAD_COND_INITIALIZER;
static int done = 0;
static int failed = 0;
static int show_xml = 0;

static quor_helper_result interim;
static quor_helper_result final_result;
static quor_helper_error completion;
/* The library never destroys a helper; the handle is kept for the life of the process. */
static struct _quor_helper* helper = NULL;

static void on_connected(struct _quor_helper* handle, void* data)
{
    (void)handle;
    (void)data;
    printf("connected\n");
    fflush(stdout);
}

static void print_result(const char* label, const quor_helper_result* result)
{
    printf("%s: %s\n", label, result->text);
    if (show_xml) {
        printf("%s\n", result->xml);
    }
    fflush(stdout);
}

static void on_interim(struct _quor_helper* handle, void* data)
{
    (void)handle;
    print_result("interim", (const quor_helper_result*)data);
}

static void on_final(struct _quor_helper* handle, void* data)
{
    (void)handle;
    print_result("final", (const quor_helper_result*)data);
}

static void on_sentence_end(struct _quor_helper* handle, void* data)
{
    (void)handle;
    (void)data;
    printf("sentence end\n");
    fflush(stdout);
}

static void on_completed(struct _quor_helper* handle, void* data)
{
    (void)handle;
    pthread_mutex_lock(&lock);
    if (data == NULL) {
        printf("completed\n");
    } else {
        const quor_helper_error* error = (const quor_helper_error*)data;
        printf("error %d %s: %s\n", error->number, error->type, error->message);
        failed = 1;
    }
    fflush(stdout);
    done = 1;
    pthread_cond_signal(&ended);
    pthread_mutex_unlock(&lock);
}

static int report(const char* step, const quor_helper_error* error)
{
    fprintf(stderr, "%s failed: error %d %s: %s\n", step, error->number, error->type, error->message);
    return 1;
}

int main(int argc, char** argv)
{
    int first = 1;
    if (argc > 1 && strcmp(argv[1], "--xml") == 0) {
        show_xml = 1;
        first = 2;
    }
    if (argc - first < 1 || argc - first > 2) {
        fprintf(stderr, "usage: recognize [--xml] PARAMETER_FILE [RAW_PCM_FILE]\n");
        return 2;
    }
    const char* parameters = argv[first];
    const char* audio = argc - first == 2 ? argv[first + 1] : NULL;

    quor_helper_error error;
    helper = quor_helper_create(&error);
    if (helper == NULL) {
        return report("create", &error);
    }
    if (quor_helper_regist_callback(helper, QUOR_HELPER_CONNECTED, on_connected, NULL, &error) != 0 ||
        quor_helper_regist_callback(helper, QUOR_HELPER_SENTENCE_END, on_sentence_end, NULL, &error) != 0 ||
        quor_helper_regist_callback(helper, QUOR_HELPER_TEMP_RESULT, on_interim, &interim, &error) != 0 ||
        quor_helper_regist_callback(helper, QUOR_HELPER_RECOGNIZE, on_final, &final_result, &error) != 0 ||
        quor_helper_regist_callback(helper, QUOR_HELPER_COMPLETED, on_completed, &completion, &error) != 0) {
        return report("regist_callback", &error);
    }
    if (quor_helper_initialize(helper, parameters, &error) != 0) {
        return report("initialize", &error);
    }
    if (audio != NULL && quor_helper_set_option(helper, "recognition_target", audio, &error) != 0) {
        return report("set_option", &error);
    }
    if (quor_helper_start(helper, &error) != 0) {
        return report("start", &error);
    }
    pthread_mutex_lock(&lock);
    while (!done) {
        pthread_cond_wait(&ended, &lock);
    }
    pthread_mutex_unlock(&lock);
    if (quor_helper_release(helper, &error) != 0) {
        return report("release", &error);
    }
    return failed ? 1 : 0;
}
