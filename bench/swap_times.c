// Preloaded into the window (LD_PRELOAD) by bench/first_frame_time.sh: prints, for each of the
// first frames the program shows, how long after the process started its buffers were swapped.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

// Seconds since the process started: the clock since boot less the start time /proc gives.
static double secondsSinceStart(void) {
    unsigned long long startTicks = 0;
    FILE* stat = fopen("/proc/self/stat", "r");
    char line[1024];
    if (stat != NULL && fgets(line, sizeof line, stat) != NULL) {
        const char* at = strrchr(line, ')');  // the fields after the program's name
        for (int field = 2; at != NULL && *at != '\0' && field < 22; ++at)
            if (*at == ' ') ++field;
        if (at != NULL) sscanf(at, "%llu", &startTicks);
    }
    if (stat != NULL) fclose(stat);
    struct timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9 - (double)startTicks / 100.0;
}

// The display is a pointer and the drawable an X id, as the GL library takes them: declared so
// rather than with the window system's headers, which only the shell and platform layers use.
void glXSwapBuffers(void* display, unsigned long drawable) {
    static void (*real)(void*, unsigned long);
    static int frames;
    if (real == NULL) real = (void (*)(void*, unsigned long))dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (frames++ < 8) fprintf(stderr, "orvo swap %d at %.3f s\n", frames, secondsSinceStart());
    real(display, drawable);
}
